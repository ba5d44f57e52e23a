#include "publish/publish_command.h"

#include <map>

#include "manifest/check_value.h"
#include "util/text_util.h"

namespace {

const wchar_t kProgram[] = L"publish";

enum OptionId {
    OPT_SRC,
    OPT_OUT,
    OPT_VERSION,
    OPT_INI_VER,
    OPT_JOB_STRING,
    OPT_PACK,
    OPT_LEVEL,
    OPT_CHECK,
    OPT_REMOVE,
    OPT_REMOVE_STRICT,
    OPT_OEM_ID,
    OPT_UPDATE_EXE,
    OPT_APP_EXE,
    OPT_STOP_CMD,
    OPT_CHECK_CMD,
    OPT_SETUP_CMD,
    OPT_START_CMD,
    OPT_SECTION_PER_FOLDER,
    OPT_OVERWRITE,
    OPT_ALLOW_DOWNGRADE,
    OPT_SIGN_KEY,
    OPT_HELP,
};

struct OptionSpec {
    OptionId id;
    bool takesValue;
};

const std::map<std::wstring, OptionSpec>& Options() {
    static const std::map<std::wstring, OptionSpec> options = {
        {L"--src", {OPT_SRC, true}},
        {L"--out", {OPT_OUT, true}},
        {L"--version", {OPT_VERSION, true}},
        {L"--ini-ver", {OPT_INI_VER, true}},
        {L"--job-string", {OPT_JOB_STRING, true}},
        {L"--pack", {OPT_PACK, true}},
        {L"--level", {OPT_LEVEL, true}},
        {L"--check", {OPT_CHECK, true}},
        {L"--remove", {OPT_REMOVE, true}},
        {L"--remove-strict", {OPT_REMOVE_STRICT, true}},
        {L"--oem-id", {OPT_OEM_ID, true}},
        {L"--update-exe", {OPT_UPDATE_EXE, true}},
        {L"--app-exe", {OPT_APP_EXE, true}},
        {L"--stop-cmd", {OPT_STOP_CMD, true}},
        {L"--check-cmd", {OPT_CHECK_CMD, true}},
        {L"--setup-cmd", {OPT_SETUP_CMD, true}},
        {L"--start-cmd", {OPT_START_CMD, true}},
        {L"--section-per-folder", {OPT_SECTION_PER_FOLDER, false}},
        {L"--overwrite", {OPT_OVERWRITE, false}},
        {L"--allow-downgrade", {OPT_ALLOW_DOWNGRADE, false}},
        {L"--sign-key", {OPT_SIGN_KEY, true}},
        {L"--help", {OPT_HELP, false}},
        {L"-h", {OPT_HELP, false}},
    };
    return options;
}

// Decimal digits only, at most 9 of them, so the value fits an int.
bool ParseCount(const std::wstring& text, int& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
    value = std::stoi(text);
    return true;
}

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 0x20);
    }
    return text;
}

bool ParseCheckKind(const std::wstring& text, int& kind) {
    if (AsciiLower(text) == L"none") {
        kind = CHECK_KIND_NONE;
        return true;
    }
    // The manifest's own names, in any case.
    const int named = CheckKindFromText(FoldCaseText(text));
    if (named == CHECK_KIND_NONE || named == CHECK_KIND_OTHER) return false;
    kind = named;
    return true;
}

// "all" or "none" alone, or any number of patterns.
bool ResolvePack(const std::vector<std::wstring>& values, SReleaseOptions& options, std::wstring& error) {
    options.pack = PACK_NONE;
    options.packPatterns.clear();
    for (const std::wstring& value : values) {
        const std::wstring lower = AsciiLower(value);
        if (lower == L"all" || lower == L"none") {
            if (values.size() > 1) {
                error = L"--pack " + lower + L" cannot be combined with other --pack values";
                return false;
            }
            options.pack = lower == L"all" ? PACK_ALL : PACK_NONE;
        } else if (value.empty()) {
            error = L"--pack needs a pattern, all or none";
            return false;
        } else {
            options.pack = PACK_MATCHING;
            options.packPatterns.push_back(value);
        }
    }
    return true;
}

}  // namespace

PublishArgsResult ParsePublishArgs(const std::vector<std::wstring>& args, SReleaseOptions& options,
                                   std::wstring& error) {
    options = SReleaseOptions();
    std::vector<std::wstring> packValues;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const size_t equals = arg.find(L'=');
        const std::wstring name = arg.substr(0, equals);
        auto found = Options().find(name);
        if (found == Options().end()) {
            error = name.compare(0, 1, L"-") == 0 ? L"unknown option " + name : L"unexpected argument " + arg;
            return PUBLISH_ARGS_ERROR;
        }
        const OptionSpec& spec = found->second;
        std::wstring value;
        if (spec.takesValue) {
            if (equals != std::wstring::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = name + L" needs a value";
                return PUBLISH_ARGS_ERROR;
            }
        } else if (equals != std::wstring::npos) {
            error = name + L" takes no value";
            return PUBLISH_ARGS_ERROR;
        }
        switch (spec.id) {
        case OPT_HELP:
            return PUBLISH_ARGS_HELP;
        case OPT_SRC:
            options.sourceDir = value;
            break;
        case OPT_OUT:
            options.outputDir = value;
            break;
        case OPT_VERSION:
            options.version = value;
            break;
        case OPT_INI_VER:
            if (!ParseCount(value, options.iniVer)) {
                error = L"--ini-ver needs a number, not '" + value + L"'";
                return PUBLISH_ARGS_ERROR;
            }
            break;
        case OPT_JOB_STRING:
            if (!ParseCount(value, options.jobString)) {
                error = L"--job-string needs a number, not '" + value + L"'";
                return PUBLISH_ARGS_ERROR;
            }
            break;
        case OPT_LEVEL:
            if (!ParseCount(value, options.packLevel) || options.packLevel > 9) {
                error = L"--level needs a number from 0 to 9, not '" + value + L"'";
                return PUBLISH_ARGS_ERROR;
            }
            break;
        case OPT_PACK:
            packValues.push_back(value);
            break;
        case OPT_CHECK:
            if (!ParseCheckKind(value, options.checkKind)) {
                error = L"--check needs MD5, SHA256, VER, IVER or none, not '" + value + L"'";
                return PUBLISH_ARGS_ERROR;
            }
            break;
        case OPT_REMOVE:
        case OPT_REMOVE_STRICT:
            options.removals.push_back(SRemoval{value, spec.id == OPT_REMOVE_STRICT});
            break;
        case OPT_OEM_ID:
            options.oemId = value;
            break;
        case OPT_UPDATE_EXE:
            options.updateExe = value;
            break;
        case OPT_APP_EXE:
            options.appExe = value;
            break;
        case OPT_STOP_CMD:
            options.stopCmd = value;
            break;
        case OPT_CHECK_CMD:
            options.checkCmd = value;
            break;
        case OPT_SETUP_CMD:
            options.setupCmd = value;
            break;
        case OPT_START_CMD:
            options.startCmd = value;
            break;
        case OPT_SECTION_PER_FOLDER:
            options.sectionPerFolder = true;
            break;
        case OPT_OVERWRITE:
            options.overwrite = true;
            break;
        case OPT_ALLOW_DOWNGRADE:
            options.allowDowngrade = true;
            break;
        case OPT_SIGN_KEY:
            options.signKey = value;
            break;
        }
    }
    if (!ResolvePack(packValues, options, error)) return PUBLISH_ARGS_ERROR;
    const std::pair<const wchar_t*, const std::wstring*> required[] = {
        {L"--src", &options.sourceDir}, {L"--out", &options.outputDir}, {L"--version", &options.version}};
    for (const auto& option : required) {
        if (option.second->empty()) {
            error = std::wstring(option.first) + L" is required";
            return PUBLISH_ARGS_ERROR;
        }
    }
    return PUBLISH_ARGS_RUN;
}

std::wstring PublishUsage() {
    return L"Usage: publish --src DIR --out DIR --version VERSION [options]\n"
           L"\n"
           L"Turns the client files in DIR into a release that file servers serve as it is:\n"
           L"  OUT/UpdateInfo.ini.VERSION       the manifest that updaters download\n"
           L"  OUT/UpdateInfo.ini.VERSION.sig   its signature (with --sign-key)\n"
           L"  OUT/UpdateInfo.ini               the same manifest, the copy an installation keeps\n"
           L"  OUT/VERSION/NAME                 every file, stored as it is or packed as ZF7Z\n"
           L"The manifest is UTF-16LE; files are listed sorted by name. An UpdateInfo.ini at\n"
           L"the top of the source folder is not published.\n"
           L"\n"
           L"Options:\n"
           L"  --src DIR              folder of the client's files, as they are to be installed\n"
           L"  --out DIR              release folder, created when missing\n"
           L"  --version VERSION      client version, 1 to 4 numbers 0-255 joined by dots (2.0.0.0)\n"
           L"  --pack all|none|GLOB   files to pack as ZF7Z; GLOB (repeatable) uses * and ?,\n"
           L"                         matches the file name, or the whole path when it holds\n"
           L"                         a separator, ignoring case; empty files stay stored\n"
           L"                         (default none)\n"
           L"  --level N              LZMA level 0 (fast) to 9 (small) for packing (default 5)\n"
           L"  --check MD5|SHA256|VER|IVER|none\n"
           L"                         check value of every file (default MD5; SHA256 only once\n"
           L"                         every installed updater reads it)\n"
           L"  --remove NAME          a file the update deletes from the installation (repeatable)\n"
           L"  --remove-strict NAME   as --remove, but a failed delete fails the update\n"
           L"  --update-exe NAME      the updater program (default: OEM id + Meeting.exe)\n"
           L"  --oem-id ID            OEM identifier, names the OEM section (default ZOLTA)\n"
           L"  --app-exe NAME         the client's main program, for %APPEXE% in commands\n"
           L"  --stop-cmd TEXT        command run before files are replaced\n"
           L"  --check-cmd TEXT       command run after files are replaced; non-zero runs setup\n"
           L"  --setup-cmd TEXT       command run when the check command fails\n"
           L"  --start-cmd TEXT       command that starts the client after an update\n"
           L"  --ini-ver N            layout version; above 1 the main section is MAIN_VN (default 1)\n"
           L"  --job-string N         status text number shown while updating (default 0)\n"
           L"  --section-per-folder   each top-level folder gets a section of its own (DIR_name)\n"
           L"  --overwrite            replace OUT/VERSION when it exists\n"
           L"  --sign-key FILE        sign the manifest with the release key in FILE (PEM, P-256);\n"
           L"                         updaters with release keys take signed manifests only\n"
           L"  --allow-downgrade      updaters take this version even over a later installed one\n"
           L"  --help, -h             this text\n"
           L"Options also take their value after '=' (--out=DIR).\n"
           L"\n"
           L"Exit codes: 0 done, 1 bad arguments, 2 the release could not be built.\n";
}

int RunPublish(const std::vector<std::wstring>& args, std::wstring& out, std::wstring& err) {
    out.clear();
    err.clear();
    SReleaseOptions options;
    std::wstring error;
    switch (ParsePublishArgs(args, options, error)) {
    case PUBLISH_ARGS_HELP:
        out = PublishUsage();
        return kPublishOk;
    case PUBLISH_ARGS_ERROR:
        err = std::wstring(kProgram) + L": error: " + error + L"\nTry 'publish --help'.\n";
        return kPublishUsageError;
    case PUBLISH_ARGS_RUN:
        break;
    }
    CReleaseBuilder builder;
    SReleaseSummary summary;
    const bool built = builder.Build(options, summary);
    for (const std::wstring& warning : summary.warnings) {
        err += std::wstring(kProgram) + L": warning: " + warning + L'\n';
    }
    if (!built) {
        err += std::wstring(kProgram) + L": error: " + builder.GetError() + L'\n';
        return kPublishFailed;
    }
    out = L"published version " + options.version + L" to " + options.outputDir + L": " +
          std::to_wstring(summary.files) + L" files (" + std::to_wstring(summary.packed) + L" packed), " +
          std::to_wstring(summary.removals) + L" to remove; " + std::to_wstring(summary.sourceBytes) +
          L" bytes installed, " + std::to_wstring(summary.transferBytes) + L" bytes to transfer\n";
    if (!summary.signaturePath.empty()) out += L"signed with " + options.signKey + L": " + summary.signaturePath + L"\n";
    return kPublishOk;
}
