// The test server as the Windows tests, the demo and the benchmarks use it:
// a separate process that says its port on stdout.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "temp_dir.h"

extern char** environ;

namespace {

// One run of the test server with its stdout on a pipe.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args) {
        args.insert(args.begin(), TESTSERVER_EXE);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // The first line the server prints, without its end; empty when none
    // comes within 10 s.
    std::string FirstLine() {
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd ready{out_, POLLIN, 0};
            char c;
            if (poll(&ready, 1, 100) <= 0) continue;
            if (read(out_, &c, 1) != 1) break;
            line += c;
        }
        return line.substr(0, line.find('\n'));
    }

    // The exit code, waiting up to 10 s; -1 when it did not end normally.
    int ExitCode() {
        for (int i = 0; i < 1000 && pid_ > 0; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

TEST(TestServerProcess, SaysItsPortServesAndEndsOnShutdown) {
    ScopedTempDir dir;
    dir.Write("root/7.0/a.bin", "release bytes");
    std::string portFile = (dir.path() / "port").string();
    ServerProcess server({"--root", (dir.path() / "root").string(), "--port-file", portFile, "--idle-timeout", "60"});
    std::string line = server.FirstLine();
    ASSERT_EQ(0u, line.find("listening 127.0.0.1:")) << line;
    int port = std::stoi(line.substr(line.rfind(':') + 1));
    EXPECT_EQ(std::to_string(port) + "\n", ReadFileBytes(portFile));

    httplib::Client client("127.0.0.1", port);
    auto result = client.Get("/7.0/a.bin", {{"Range", "bytes=8-12"}});
    ASSERT_TRUE(result);
    EXPECT_EQ("bytes", result->body);
    ASSERT_EQ(200, client.Post("/__shutdown", "", "text/plain")->status);
    EXPECT_EQ(0, server.ExitCode());
}

TEST(TestServerProcess, EndsWithAnErrorForABadCommandLineOrAddress) {
    EXPECT_EQ(2, ServerProcess({"--rate", "fast"}).ExitCode());
    EXPECT_EQ(1, ServerProcess({"--host", "192.0.2.1"}).ExitCode());
}

}  // namespace
