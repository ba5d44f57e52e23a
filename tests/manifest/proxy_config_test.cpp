#include "manifest/proxy_config.h"

#include <gtest/gtest.h>

#include <string>

#include "manifest/system_proxy.h"
#include "temp_dir.h"

namespace {

// Stands in for the system's proxy setting: unreadable, direct (no host) or
// a proxy on port 3128.
struct FakeSystemProxy {
    bool readable = true;
    std::string host;
    int calls = 0;

    SystemProxyQuery Query() {
        return [this](bool& inUse, std::string& foundHost, std::string& foundPort) {
            ++calls;
            inUse = !host.empty();
            if (inUse) {
                foundHost = host;
                foundPort = "3128";
            }
            return readable;
        };
    }
};

std::string Fields(const SProxyConfig& c) {
    return std::to_string(c.mode) + "|" + c.host + "|" + c.port + "|" + c.user + "|" + c.password;
}

}  // namespace

TEST(ProxyConfig, ParsesEveryFormOfTheStoredValue) {
    const struct {
        const char* value;
        int result;
        const char* fields;
    } cases[] = {
        {"", -1, "0||||"},
        {"0;", 0, "0||||"},
        {"-1;h;80;", 0, "-1||||"},
        {"2", -3, "2||||"},
        {"2;h", -4, "2|h|||"},
        {"2;h;80", -5, "2|h|80||"},
        {"2;h;80;", -6, "2|h|80||"},
        {"2;h;80;dXNlcg==", -6, "2|h|80|user|"},
        {"2;h;80;dXNlcg==;cDtzPXM=", 0, "2|h|80|user|p;s=s"},
        {"3;proxy.local;port;;cDtzPXM=;", 0, "3|proxy.local|port||p;s=s"},
        {"2;h;80;dXNlcg;cDt!PXM=;", 0, "2|h|80||"},
    };
    for (const auto& c : cases) {
        FakeSystemProxy system{true, "sys"};
        SProxyConfig config;
        config.user = "stale";
        EXPECT_EQ(ParseProxyValue(c.value, config, system.Query()), c.result) << c.value;
        EXPECT_EQ(Fields(config), c.fields) << c.value;
        EXPECT_EQ(system.calls, 0) << c.value;
    }
}

TEST(ProxyConfig, SystemModeTakesTheSystemsProxyWithoutCredentials) {
    FakeSystemProxy proxy{true, "sys"};
    SProxyConfig config;
    EXPECT_EQ(ParseProxyValue("1;h;80;dXNlcg==;dXNlcg==;", config, proxy.Query()), 0);
    EXPECT_EQ(Fields(config), "1|sys|3128||");
    EXPECT_EQ(proxy.calls, 1);

    FakeSystemProxy direct{true, ""};
    EXPECT_EQ(ParseProxyValue("1;", config, direct.Query()), 0);
    EXPECT_EQ(Fields(config), "1||||");

    FakeSystemProxy unreadable{false, ""};
    EXPECT_EQ(ParseProxyValue("1;", config, unreadable.Query()), -2);
}

TEST(ProxyConfig, ComposesTheStoredForm) {
    SProxyConfig config;
    config.host = "h";
    config.port = "80";
    config.user = "user";
    EXPECT_EQ(ComposeProxyValue(config), "0;");
    config.mode = kProxySystem;
    EXPECT_EQ(ComposeProxyValue(config), "1;");
    config.mode = kProxyGiven;
    EXPECT_EQ(ComposeProxyValue(config), "2;h;80;dXNlcg==;;");
}

TEST(ProxyConfig, SaveThenLoadThroughUserCfg) {
    ScopedTempDir dir;
    dir.Write("UserCfg.ini", "[CFG]\r\nLanguage=en_US\r\n");
    const std::wstring path = dir.WinPath() + L"UserCfg.ini";
    SProxyConfig saved;
    saved.mode = kProxyGiven;
    saved.host = "proxy.local";
    saved.port = "8080";
    saved.user = "domain\\user";
    saved.password = "p;s=s:";
    ASSERT_TRUE(SaveProxyConfig(saved, path));
    EXPECT_EQ(ReadFileBytes(dir.path() / "UserCfg.ini"),
              "[CFG]\r\nLanguage=en_US\r\ncfgProxy=2;proxy.local;8080;ZG9tYWluXHVzZXI=;cDtzPXM6;\r\n");
    SProxyConfig loaded;
    EXPECT_EQ(LoadProxyConfig(loaded, path), 0);
    EXPECT_EQ(Fields(loaded), Fields(saved));
}

TEST(ProxyConfig, LoadOfNothingOrABrokenValue) {
    ScopedTempDir dir;
    const std::wstring path = dir.WinPath() + L"UserCfg.ini";
    SProxyConfig config;
    config.host = "stale";
    EXPECT_EQ(LoadProxyConfig(config, path), 0);
    EXPECT_EQ(Fields(config), "0||||");
    dir.Write("UserCfg.ini", "[CFG]\r\ncfgProxy=\r\n");
    EXPECT_EQ(LoadProxyConfig(config, path), 0);
    dir.Write("UserCfg.ini", "[CFG]\r\ncfgProxy=2;h;80\r\n");
    EXPECT_EQ(LoadProxyConfig(config, path), -5);
}

TEST(ProxyConfig, PortConversionKeepsSixteenBits) {
    EXPECT_EQ(ProxyPortNumber("8080"), 8080);
    EXPECT_EQ(ProxyPortNumber("80x"), 80);
    EXPECT_EQ(ProxyPortNumber("http"), 0);
    EXPECT_EQ(ProxyPortNumber(""), 0);
    EXPECT_EQ(ProxyPortNumber("65537"), 1);
}

TEST(SystemProxy, PicksThePlainHttpEntry) {
    const char* const lists[][2] = {
        {"http=h1:81 https=h2:82", "h1|81"}, {"h:1", "h|1"},           {"  https=h2:82   h:1  ", "h|1"},
        {"a:1 http=b:2", "b|2"},             {"http=b:2 a:1", "a|1"}, {"h:1:2", "h|1:2"},
    };
    for (const auto& list : lists) {
        std::string host, port;
        EXPECT_TRUE(PickHttpProxy(list[0], host, port)) << list[0];
        EXPECT_EQ(host + "|" + port, list[1]) << list[0];
    }
    for (const char* unusable : {"", "https=h2:82 ftp=h3:83", "HTTP=h:1", ":80", "host", "h:1 http="}) {
        std::string host = "kept", port = "kept";
        EXPECT_FALSE(PickHttpProxy(unusable, host, port)) << unusable;
        EXPECT_EQ(host + port, "keptkept") << unusable;
    }
}
