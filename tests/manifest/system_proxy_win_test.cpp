// The system's proxy as WinINet reports it, set through the user's Internet
// Settings in the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "manifest/proxy_config.h"
#include "manifest/system_proxy.h"
#include "temp_dir.h"

namespace {

const wchar_t kSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Sets the user's proxy for one test and puts the previous values back.
class ScopedUserProxy {
public:
    ScopedUserProxy(DWORD enable, const std::wstring& server) {
        DWORD size = sizeof enable_;
        hadEnable_ = RegGetValueW(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr, &enable_,
                                  &size) == ERROR_SUCCESS;
        wchar_t previous[1024];
        size = sizeof previous;
        hadServer_ = RegGetValueW(HKEY_CURRENT_USER, kSettings, L"ProxyServer", RRF_RT_REG_SZ, nullptr, previous,
                                  &size) == ERROR_SUCCESS;
        if (hadServer_) server_ = previous;
        Put(L"ProxyEnable", true, REG_DWORD, &enable, sizeof enable);
        Put(L"ProxyServer", true, REG_SZ, server.c_str(), (server.size() + 1) * sizeof(wchar_t));
    }
    ~ScopedUserProxy() {
        Put(L"ProxyEnable", hadEnable_, REG_DWORD, &enable_, sizeof enable_);
        Put(L"ProxyServer", hadServer_, REG_SZ, server_.c_str(), (server_.size() + 1) * sizeof(wchar_t));
    }
    ScopedUserProxy(const ScopedUserProxy&) = delete;
    ScopedUserProxy& operator=(const ScopedUserProxy&) = delete;

private:
    // Sets the value, or deletes it when it is not to be present.
    static void Put(const wchar_t* name, bool present, DWORD type, const void* data, size_t size) {
        if (present) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kSettings, name, type, data, static_cast<DWORD>(size));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettings, name);
        }
    }

    bool hadEnable_ = false;
    DWORD enable_ = 0;
    bool hadServer_ = false;
    std::wstring server_;
};

// Returns "ok" or "failed", "proxy" or "direct", and host:port of one query,
// host and port starting as "-".
std::string Query() {
    bool inUse = false;
    std::string host = "-", port = "-";
    const bool ok = QuerySystemProxy(inUse, host, port);
    return std::string(ok ? "ok" : "failed") + (inUse ? " proxy " : " direct ") + host + ":" + port;
}

}  // namespace

// Windows reports the list as configured. Wine drops the "http=" in front of
// it and reports "h1:81 https=h2:82"; the entry picked is the same.
TEST(SystemProxyWin, PerProtocolListGivesThePlainHttpEntry) {
    ScopedUserProxy proxy(1, L"http=h1:81 https=h2:82");
    EXPECT_EQ(Query(), "ok proxy h1:81");
}

TEST(SystemProxyWin, SingleEntryGivesItsHostAndPort) {
    ScopedUserProxy proxy(1, L"h3:83");
    EXPECT_EQ(Query(), "ok proxy h3:83");
}

TEST(SystemProxyWin, DisabledProxyIsNotInUse) {
    ScopedUserProxy proxy(0, L"h3:83");
    EXPECT_EQ(Query(), "ok direct -:-");
}

TEST(SystemProxyWin, SystemModeLoadsTheSystemsProxyOrFails) {
    ScopedTempDir dir;
    dir.Write("UserCfg.ini", "[CFG]\r\ncfgProxy=1;\r\n");
    const std::wstring path = dir.WinPath() + L"UserCfg.ini";
    SProxyConfig config;
    {
        ScopedUserProxy proxy(1, L"http=h1:81 https=h2:82");
        EXPECT_EQ(LoadProxyConfig(config, path), 0);
        EXPECT_EQ(config.host + ":" + config.port, "h1:81");
    }
    ScopedUserProxy proxy(1, L"https=h2:82 ftp=h4:84");
    EXPECT_EQ(Query(), "failed proxy -:-");
    EXPECT_EQ(LoadProxyConfig(config, path), -2);
}
