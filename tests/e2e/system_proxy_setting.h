// The system's proxy as WinINet reads it under Wine: ProxyEnable and
// ProxyServer of the user's Internet Settings in the test prefix's registry.
// The prefix is shared by every Windows test, so a test that sets it runs
// alone (CTest's resource lock "internet_settings").
#pragma once

#include <string>

#include "temp_dir.h"

namespace e2e {

// Turns the system's proxy on with server ("host:port") for one test, and
// puts the key back as it was afterwards.
class ScopedSystemProxy {
public:
    explicit ScopedSystemProxy(const std::string& server);
    ~ScopedSystemProxy();
    ScopedSystemProxy(const ScopedSystemProxy&) = delete;
    ScopedSystemProxy& operator=(const ScopedSystemProxy&) = delete;

private:
    ScopedTempDir dir_;  // the key as it was, exported
    bool saved_ = false;
};

}  // namespace e2e
