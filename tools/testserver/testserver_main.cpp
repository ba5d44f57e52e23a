// The test server as a process, for tests of the Windows build under Wine,
// the demo and the benchmarks (see test_server.h and kServerUsage).
#include <cstdio>
#include <string>
#include <vector>

#include "server_options.h"
#include "test_server.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kServerUsage, stdout);
        return 0;
    }
    ServerOptions options;
    std::string error;
    if (!ParseServerArgs(args, options, error)) {
        std::fprintf(stderr, "testserver: %s\n%s", error.c_str(), kServerUsage);
        return 2;
    }
    TestServer server(options);
    int port = server.Start(error);
    if (port == 0) {
        std::fprintf(stderr, "testserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening %s:%d\n", options.host.c_str(), port);
    std::fflush(stdout);
    std::string reason = server.Wait();
    server.Stop();
    std::fprintf(stderr, "testserver: ended (%s)\n", reason.c_str());
    return reason == "listen failed" ? 1 : 0;
}
