// Stand-ins and helpers for the update worker's tests: an environment that
// records the programs the worker runs and serves its downloads from a
// scripted network, an installation folder, and releases made by the release
// tool and put on the network's mirrors.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fake_http_connection.h"
#include "manifest/ini_file.h"
#include "percent_bands.h"
#include "publish/release_builder.h"
#include "temp_dir.h"
#include "update/headless_update_handle.h"
#include "update/update_environment.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_separators.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"
#include "vocabulary/term_table.h"

// One program start the worker asked for.
struct RecordedRun {
    std::wstring commandLine;
    bool asAdmin = false;
    std::wstring waitMode;
};

// What a program does when the worker runs it.
struct ProgramOutcome {
    int startError = 0;  // a system error: the program did not start
    uint32_t exitCode = 0;
    std::function<void()> action;  // runs in place of the program, on the worker's thread
};

// The worker's surroundings in a test: the updater lives at modulePath, its
// downloads come from network, and the programs it runs are recorded and
// answered from a table of outcomes keyed by a part of the command line.
class RecordingUpdateEnvironment : public CUpdateEnvironment {
public:
    RecordingUpdateEnvironment(std::wstring modulePath, FakeNetwork& network)
        : modulePath_(std::move(modulePath)), factory_(network) {}

    std::wstring ModulePath() override { return modulePath_; }
    std::wstring OemId() override { return L"ZOLTA"; }
    std::wstring StartParameters() override { return startParameters; }
    std::vector<std::string> ReleaseKeys() override { return releaseKeys; }
    CHttpConnectionFactory* ConnectionFactory() override { return &factory_; }

    int RunProgram(uint32_t& exitCode, const std::wstring& commandLine, int, bool asAdmin,
                   const wchar_t* waitMode) override {
        ProgramOutcome outcome;
        {
            std::lock_guard<std::mutex> guard(lock_);
            runs_.push_back(RecordedRun{commandLine, asAdmin, waitMode != nullptr ? waitMode : L""});
            outcome = OutcomeOf(commandLine);
        }
        exitCode = 0;
        // As the system: an empty command line names no program.
        if (commandLine.empty()) return 2;
        if (outcome.startError != 0) return outcome.startError;
        if (outcome.action) outcome.action();
        exitCode = outcome.exitCode;
        return 0;
    }

    int StartProcess(const std::wstring& commandLine, int, uint32_t& processId) override {
        std::lock_guard<std::mutex> guard(lock_);
        started_.push_back(commandLine);
        if (startProcessError != 0) return startProcessError;
        processId = kNewProcessId;
        return 0;
    }

    // Programs whose command line contains part behave as outcome says;
    // others exit with 0.
    void SetOutcome(const std::wstring& part, ProgramOutcome outcome) {
        std::lock_guard<std::mutex> guard(lock_);
        outcomes_[part] = std::move(outcome);
    }
    std::vector<RecordedRun> Runs() {
        std::lock_guard<std::mutex> guard(lock_);
        return runs_;
    }
    std::vector<std::wstring> RunCommandLines() {
        std::vector<std::wstring> lines;
        for (const RecordedRun& run : Runs()) lines.push_back(run.commandLine);
        return lines;
    }
    std::vector<std::wstring> Started() {
        std::lock_guard<std::mutex> guard(lock_);
        return started_;
    }

    static constexpr uint32_t kNewProcessId = 4242;
    std::wstring startParameters;
    std::vector<std::string> releaseKeys;  // none: manifests are taken unsigned
    int startProcessError = 0;

private:
    ProgramOutcome OutcomeOf(const std::wstring& commandLine) const {
        for (const auto& entry : outcomes_) {
            if (commandLine.find(entry.first) != std::wstring::npos) return entry.second;
        }
        return ProgramOutcome();
    }

    const std::wstring modulePath_;
    FakeConnectionFactory factory_;
    std::mutex lock_;
    std::map<std::wstring, ProgramOutcome> outcomes_;
    std::vector<RecordedRun> runs_;
    std::vector<std::wstring> started_;
};

// A folder of files, addressed by relative names with '\' or '/'.
class FileFolder {
public:
    std::wstring Dir() const { return dir_.WinPath(); }
    std::wstring Path(const std::wstring& relative) const { return Dir() + WithBackslashes(relative); }
    void Write(const std::wstring& relative, const std::string& bytes, int64_t time = 1500000000) const {
        const std::wstring path = Path(relative);
        ASSERT_TRUE(MakeDirs(path.substr(0, path.rfind(L'\\'))));
        ASSERT_TRUE(WriteWholeFile(path, bytes)) << WideToUtf8(relative);
        ASSERT_TRUE(SetFileTimes(path, time)) << WideToUtf8(relative);
    }
    std::string Read(const std::wstring& relative) const {
        std::string bytes;
        ReadWholeFile(Path(relative), bytes);
        return bytes;
    }
    bool Exists(const std::wstring& relative) const { return FileExists(Path(relative)); }
    // Relative names ('\' separators) of every file below the folder, sorted.
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
            if (!entry.is_regular_file()) continue;
            names.push_back(WithBackslashes(std::filesystem::relative(entry.path(), dir_.path()).wstring()));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    ScopedTempDir dir_;
};

// Bytes that differ from file to file and from version to version.
inline std::string ClientFileBytes(int index, int version, size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = static_cast<uint32_t>(index) * 2654435761u + static_cast<uint32_t>(version) * 40503u + 7u;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// Publishes options' source folder with the release tool and returns the
// release's files by their server path ("/UpdateInfo.ini.2.0.0.0",
// "/2.0.0.0/a.dll").
inline std::map<std::string, std::string> PublishRelease(SReleaseOptions options, const FileFolder& out) {
    options.outputDir = out.Dir();
    options.overwrite = true;
    CReleaseBuilder builder;
    SReleaseSummary summary;
    EXPECT_TRUE(builder.Build(options, summary)) << WideToUtf8(builder.GetError());
    std::map<std::string, std::string> files;
    for (const std::wstring& name : out.Files()) {
        std::string path = "/" + WideToUtf8(name);
        for (char& c : path) {
            if (c == '\\') c = '/';
        }
        files[path] = out.Read(name);
    }
    return files;
}

// Puts every file of a release on each host.
inline void PutRelease(FakeNetwork& network, const std::vector<std::string>& hosts,
                       const std::map<std::string, std::string>& files) {
    for (const std::string& host : hosts) {
        for (const auto& file : files) network.PutFile(host, file.first, file.second);
    }
}

// Fills the process's parameter table as the updater application does with
// a command string: prefix "qkmt:" and the given "-KEY=value" lines.
inline void SetUpdaterParameters(const std::wstring& lines) {
    CCmdLineAnalyse& params = CmdLineParams();
    params = CCmdLineAnalyse();
    params.SetPrefix(L"qkmt:");
    params.Parse(lines, L'\n', L'=');
    params.Set(L"-PRODUCT", L"win32_net");
}

// The parameter text of the command string in a file such as "meetinfo".
inline std::wstring DecodedParameters(const std::string& commandString) {
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(AnsiToWide(commandString), prefix, text)) return std::wstring();
    return prefix + L"|" + text;
}

// Runs one update to its end and returns its result.
inline int RunWorker(RecordingUpdateEnvironment& environment, CHeadlessUpdateHandle& handle) {
    CUpdateThread worker(environment);
    worker.SetHandle(&handle);
    EXPECT_TRUE(worker.Start());
    const int result = handle.WaitForResult();
    worker.Join();
    return result;
}

// An installation folder, a client's files to publish, mirrors serving the
// releases, and the worker run against them.
class UpdateWorkerFixture : public ::testing::Test {
protected:
    const std::vector<std::string> kMirrors{"mirror1", "mirror2", "mirror3"};

    void SetUp() override {
        CFingerFile::SetNoUpdateList(L"");
        SelectTermLanguage(L"en_US", L"MEETING=@:Meeting;zh_CN:x");
        for (const std::string& host : kMirrors) network_.AddServer(host);
        UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    }
    void TearDown() override {
        CFingerFile::SetNoUpdateList(L"");
        CmdLineParams() = CCmdLineAnalyse();
    }

    // The updater runs from modulePath; outcomes set before are dropped.
    void UseUpdaterAt(const std::wstring& modulePath) {
        environment_ = std::make_unique<RecordingUpdateEnvironment>(modulePath, network_);
    }
    // count client files "bin\fileN.dll" (every fourth under "res\"), of the version's bytes.
    void WriteClient(int count, int version, size_t size = 3000) {
        for (int i = 0; i < count; ++i) source_.Write(ClientFileName(i), ClientFileBytes(i, version, size + i));
    }
    static std::wstring ClientFileName(int i) {
        return (i % 4 == 3 ? L"res\\file" : L"bin\\file") + std::to_wstring(i) + L".dll";
    }
    // The server path of client file i in a release.
    static std::string ServerPath(const std::string& version, int i) {
        return "/" + version + (i % 4 == 3 ? "/res/file" : "/bin/file") + std::to_string(i) + ".dll";
    }
    // Publishes the source folder as version to every mirror; returns the
    // release's files by server path.
    std::map<std::string, std::string> Publish(const std::wstring& version,
                                               const std::function<void(SReleaseOptions&)>& adjust = nullptr) {
        SReleaseOptions options;
        options.sourceDir = source_.Dir();
        options.version = version;
        options.startCmd = L"%APPDIR%client.exe -start";
        if (adjust) adjust(options);
        FileFolder out;
        std::map<std::string, std::string> files = PublishRelease(options, out);
        PutRelease(network_, kMirrors, files);
        return files;
    }
    // Parameters naming the version and the mirrors, so no web server is asked.
    void SetVersionParameters(const std::wstring& version) {
        SetUpdaterParameters(L"-SPVER=pc-" + version + L"\n-UPURL=mirror1;mirror2;mirror3\n-MEET=8801;x\n");
    }
    int Run() {
        handle_ = std::make_unique<CHeadlessUpdateHandle>();
        return RunWorker(*environment_, *handle_);
    }
    // Requests for a server path, to any mirror.
    int RequestsFor(const std::string& path) {
        int n = 0;
        for (const FakeRequest& request : network_.Requests()) n += request.path == path ? 1 : 0;
        return n;
    }
    // Files below the installation, without "UpdateVer\", "meetinfo" and
    // UserCfg.ini, where an error report records the installation's user id.
    std::vector<std::wstring> InstalledFiles() const {
        std::vector<std::wstring> names;
        for (const std::wstring& name : app_.Files()) {
            if (name.compare(0, 10, L"UpdateVer\\") == 0 || name == L"meetinfo" || name == L"UserCfg.ini") continue;
            names.push_back(name);
        }
        return names;
    }
    // "Ver" of the installed UpdateInfo.ini; empty without one.
    std::wstring InstalledVersion() const {
        CIniFile info;
        info.SetFile(app_.Path(L"UpdateInfo.ini"));
        return info.GetString(L"VER", L"Ver", L"", 32);
    }

    FakeNetwork network_;
    FileFolder app_;
    FileFolder source_;
    std::unique_ptr<RecordingUpdateEnvironment> environment_;
    std::unique_ptr<CHeadlessUpdateHandle> handle_;
};
