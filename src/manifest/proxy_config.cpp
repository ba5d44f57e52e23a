#include "manifest/proxy_config.h"

#include <cstdlib>
#include <vector>

#include "manifest/ini_profile.h"
#include "manifest/system_proxy.h"
#include "util/base64.h"
#include "util/code_page.h"
#include "util/path_util.h"

namespace {

const wchar_t kSection[] = L"CFG";
const wchar_t kKey[] = L"cfgProxy";
const int kValueChars = 256;
const char kSeparator = ';';

std::wstring UserCfgPath() { return GetAppDir() + L"UserCfg.ini"; }

// Splits at every separator, keeping empty fields, also the one after a
// final separator; the empty text has no field.
std::vector<std::string> SplitFields(const std::string& value) {
    std::vector<std::string> fields;
    if (value.empty()) return fields;
    size_t start = 0;
    for (;;) {
        const size_t end = value.find(kSeparator, start);
        if (end == std::string::npos) {
            fields.push_back(value.substr(start));
            return fields;
        }
        fields.push_back(value.substr(start, end - start));
        start = end + 1;
    }
}

// Text that is not Base64 stands for an empty credential.
std::string DecodeCredential(const std::string& text) {
    std::string bytes;
    Base64Decode(text, bytes);
    return bytes;
}

}  // namespace

int ParseProxyValue(const std::string& value, SProxyConfig& config, const SystemProxyQuery& querySystemProxy) {
    config = SProxyConfig();
    const std::vector<std::string> fields = SplitFields(value);
    if (fields.empty()) return -1;

    config.mode = std::atoi(fields[0].c_str());
    if (config.mode < kProxySystem) return 0;
    if (config.mode == kProxySystem) {
        bool inUse = false;
        return querySystemProxy(inUse, config.host, config.port) ? 0 : -2;
    }
    if (fields.size() < 2) return -3;
    config.host = fields[1];
    if (fields.size() < 3) return -4;
    config.port = fields[2];
    if (fields.size() < 4) return -5;
    config.user = DecodeCredential(fields[3]);
    if (fields.size() < 5) return -6;
    config.password = DecodeCredential(fields[4]);
    return 0;
}

std::string ComposeProxyValue(const SProxyConfig& config) {
    std::string value = std::to_string(config.mode) + kSeparator;
    if (config.mode < kProxyGiven) return value;
    for (const std::string& field :
         {config.host, config.port, Base64Encode(config.user), Base64Encode(config.password)}) {
        value += field;
        value += kSeparator;
    }
    return value;
}

int LoadProxyConfig(SProxyConfig& config, const std::wstring& userCfgPath) {
    const std::string value = WideToAnsi(ReadProfileString(kSection, kKey, L"", kValueChars, userCfgPath));
    if (value.empty()) {
        config = SProxyConfig();
        return 0;
    }
    return ParseProxyValue(value, config, QuerySystemProxy);
}

int LoadProxyConfig(SProxyConfig& config) { return LoadProxyConfig(config, UserCfgPath()); }

bool SaveProxyConfig(const SProxyConfig& config, const std::wstring& userCfgPath) {
    return WriteProfileValue(kSection, kKey, AnsiToWide(ComposeProxyValue(config)).c_str(), userCfgPath);
}

bool SaveProxyConfig(const SProxyConfig& config) { return SaveProxyConfig(config, UserCfgPath()); }

uint16_t ProxyPortNumber(const std::string& port) { return static_cast<uint16_t>(std::atoi(port.c_str())); }
