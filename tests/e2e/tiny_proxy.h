// A real HTTP proxy for the whole-update tests: Debian's tinyproxy, run in the
// foreground on 127.0.0.9 with a configuration and a log of its own, and
// stopped with the object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "temp_dir.h"

namespace e2e {

class TinyProxy {
public:
    static constexpr const char* kHost = "127.0.0.9";

    // Starts the proxy on a free port; with a user name it asks every request
    // for these Basic credentials. Port() is 0 (with a test failure) when it
    // could not be started.
    explicit TinyProxy(const std::string& user = "", const std::string& password = "");
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    int Port() const { return port_; }
    // "127.0.0.9:<port>".
    std::string Address() const;
    // The requests it passed on to a server and relayed the answer of, as
    // "METHOD URL" ("GET http://127.0.0.1:8080/a.bin"), sorted; waits up to
    // 30 s for at least count of them, since the proxy notes a relay's end
    // after its client may have gone on.
    std::vector<std::string> Forwarded(size_t count) const;

private:
    // Starts tinyproxy on port; false when it ended or did not listen in time.
    bool StartOn(int port, const std::string& user, const std::string& password);
    void Stop();

    ScopedTempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace e2e
