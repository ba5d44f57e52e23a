// The stored proxy choice ("cfgProxy" of UserCfg.ini) and the system's proxy
// list. Input: the stored value on the first line, the system's list on the
// second. The value is parsed directly, composed and parsed again, and read
// from and saved to a UserCfg.ini in the scratch directory.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "manifest/proxy_config.h"
#include "manifest/system_proxy.h"
#include "util/code_page.h"
#include "util/file_util.h"

namespace {

// The longest value LoadProxyConfig reads whole.
const size_t kStoredValueChars = 255;

bool SameConfig(const SProxyConfig& a, const SProxyConfig& b) {
    return a.mode == b.mode && a.host == b.host && a.port == b.port && a.user == b.user && a.password == b.password;
}

// A composed value that a UserCfg.ini line carries unchanged: one line, no
// NUL, text the ANSI code page holds, short enough to be read whole.
bool FitsOneIniLine(const std::string& value) {
    return value.size() <= kStoredValueChars && value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
           WideToAnsi(AnsiToWide(value)) == value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::string value = input.TakeLine();
    const std::string systemList = input.TakeLine();

    int queries = 0;
    const SystemProxyQuery systemProxy = [&](bool& inUse, std::string& host, std::string& port) {
        ++queries;
        inUse = !systemList.empty();
        return !inUse || PickHttpProxy(systemList, host, port);
    };
    SProxyConfig config;
    const int result = ParseProxyValue(value, config, systemProxy);
    FUZZ_CHECK(result <= 0 && result >= -6);
    FUZZ_CHECK(queries == (config.mode == kProxySystem ? 1 : 0));
    ProxyPortNumber(config.port);
    if (result != 0 || config.mode == kProxySystem) return 0;

    // What is stored is read back as it was.
    const std::string stored = ComposeProxyValue(config);
    SProxyConfig again;
    FUZZ_CHECK(ParseProxyValue(stored, again, systemProxy) == 0);
    FUZZ_CHECK(SameConfig(again, config));

    ClearFuzzScratchDir();
    const std::wstring userCfg = FuzzScratchDir() + L"UserCfg.ini";
    FUZZ_CHECK(WriteWholeFile(userCfg, "[CFG]\r\ncfgProxy=" + value + "\r\nLanguage=en_US\r\n"));
    SProxyConfig loaded;
    LoadProxyConfig(loaded, userCfg);
    FUZZ_CHECK(SaveProxyConfig(config, userCfg));
    if (FitsOneIniLine(stored)) {
        SProxyConfig reloaded;
        FUZZ_CHECK(LoadProxyConfig(reloaded, userCfg) == 0);
        FUZZ_CHECK(SameConfig(reloaded, config));
    }
    return 0;
}
