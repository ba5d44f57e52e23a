// The launcher's command line as a web page or a shortcut hands it over:
// command-string recognition and decoding, the parameter tables parsed from
// the line and from the decoded text, and the dispatch that acts on them.
#include <cstdint>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "launcher/dispatch.h"
#include "launcher/launcher_host.h"
#include "util/code_page.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"

namespace {

// A launcher host whose actions only count: which modules exist, the
// edition and the entrance table vary between the two hosts below.
class CountingLauncherHost : public CLauncherHost {
public:
    CountingLauncherHost(bool allModules, bool tvEdition, std::wstring entranceTable)
        : allModules_(allModules), tvEdition_(tvEdition), entranceTable_(std::move(entranceTable)) {}

    int actions = 0;

    std::wstring OemId() override { return L"ZOLTA"; }
    bool TvEditionOn() override { return tvEdition_; }
    std::wstring EntranceTable() override { return entranceTable_; }
    std::wstring WebHomeUrl() override { return L"http://meeting.example.com/ClientEntrance"; }
    bool ModuleExists(const std::wstring&) override { return allModules_; }
    bool RunningFromUpdateVer() override { return false; }
    void RecoverUnfinishedApply() override {}
    bool CallClient(const std::wstring&, const std::wstring&, int& result) override {
        ++actions;
        result = 7;
        return allModules_;
    }
    int OpenWebPage(const std::wstring&) override {
        ++actions;
        return 0;
    }
    int DoUpdate(const std::wstring&) override {
        ++actions;
        return 42;
    }

private:
    bool allModules_;
    bool tvEdition_;
    std::wstring entranceTable_;
};

// A table written out and parsed again holds the same entries: keys hold no
// separator and values no entry separator, and Parse takes the first key
// separator, so nothing moves between key and value.
void CheckSerializeRoundTrip(const CmdParamDeal& table, wchar_t entrySeparator, wchar_t keySeparator) {
    const std::wstring text = table.Serialize(entrySeparator, keySeparator);
    CmdParamDeal again;
    again.Parse(text, entrySeparator, keySeparator);
    FUZZ_CHECK(again.Serialize(entrySeparator, keySeparator) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OpenFuzzTraceLog();
    const std::wstring line = AnsiToWide(std::string(reinterpret_cast<const char*>(data), size));

    IsCommandString(line);
    std::wstring prefix = L"unchanged";
    std::wstring text;
    if (DecodeCmdLine(line, prefix, text)) {
        FUZZ_CHECK(!text.empty() && text[0] == L'-');
        FUZZ_CHECK(!prefix.empty() && prefix.back() == L':' && line.compare(0, prefix.size(), prefix) == 0);
        // The updater encodes the text again for the processes it starts.
        if (text.find(L'\0') == std::wstring::npos) {
            std::wstring prefixAgain;
            std::wstring textAgain;
            FUZZ_CHECK(DecodeCmdLine(EncodeCmdLine(prefix, text), prefixAgain, textAgain));
            FUZZ_CHECK(prefixAgain == prefix && textAgain == text);
        }
        CmdParamDeal params;
        params.Parse(text, L'\n', L'=');
        CheckSerializeRoundTrip(params, L'\n', L'=');
        std::wstring value;
        params.Get(L"-MEETTYPE", value);
        params.GetInt(L"-SPVER");
    } else {
        FUZZ_CHECK(text.empty() && prefix == L"unchanged");
    }

    CmdParamDeal switches;
    switches.Parse(line, L' ', L'=');
    CheckSerializeRoundTrip(switches, L' ', L'=');

    CountingLauncherHost bare(false, false, L";");
    Dispatch(bare, line);
    FUZZ_CHECK(bare.actions <= 1);
    CountingLauncherHost full(true, true, L"-fromDesktop=defweb;-fromStartMenu=http://meeting.example.com/menu");
    Dispatch(full, line);
    FUZZ_CHECK(full.actions <= 1);
    return 0;
}
