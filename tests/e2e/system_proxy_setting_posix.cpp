#include "system_proxy_setting.h"

#include <gtest/gtest.h>

#include <vector>

#include "e2e_support.h"

namespace e2e {

namespace {

const char kSettingsKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Runs Wine's reg with the arguments; true when it succeeded.
bool Reg(const std::vector<std::string>& args) { return WaitForWine(StartUnderWine("reg", args, {}), 120) == 0; }

}  // namespace

ScopedSystemProxy::ScopedSystemProxy(const std::string& server) {
    const std::string saved = WinePath(dir_.path() / "saved.reg");
    saved_ = Reg({"export", kSettingsKey, saved, "/y"});
    EXPECT_TRUE(Reg({"add", kSettingsKey, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f"}));
    EXPECT_TRUE(Reg({"add", kSettingsKey, "/v", "ProxyServer", "/t", "REG_SZ", "/d", server, "/f"}));
}

ScopedSystemProxy::~ScopedSystemProxy() {
    // Whichever of the two values the saved key held comes back with it.
    Reg({"delete", kSettingsKey, "/v", "ProxyEnable", "/f"});
    Reg({"delete", kSettingsKey, "/v", "ProxyServer", "/f"});
    if (saved_) {
        EXPECT_TRUE(Reg({"import", WinePath(dir_.path() / "saved.reg")}));
    }
}

}  // namespace e2e
