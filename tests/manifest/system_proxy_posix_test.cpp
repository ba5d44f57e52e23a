#include "manifest/system_proxy.h"

#include <gtest/gtest.h>

#include "manifest/proxy_config.h"
#include "temp_dir.h"

TEST(SystemProxy, NativeBuildReportsNoSystemProxy) {
    bool inUse = true;
    std::string host = "kept", port = "kept";
    EXPECT_TRUE(QuerySystemProxy(inUse, host, port));
    EXPECT_FALSE(inUse);
    EXPECT_EQ(host + port, "keptkept");

    ScopedTempDir dir;
    dir.Write("UserCfg.ini", "[CFG]\r\ncfgProxy=1;\r\n");
    SProxyConfig config;
    EXPECT_EQ(LoadProxyConfig(config, dir.WinPath() + L"UserCfg.ini"), 0);
    EXPECT_EQ(config.mode, 1);
    EXPECT_EQ(config.host, "");
}
