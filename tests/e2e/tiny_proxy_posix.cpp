#include "tiny_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in ProxyAddress(int port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, TinyProxy::kHost, &address.sin_addr);
    return address;
}

// A port on kHost that nothing listens on at the moment.
int FreePort() {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = ProxyAddress(0);
    socklen_t length = sizeof address;
    const bool bound = bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(sock);
    return bound ? ntohs(address.sin_port) : 0;
}

bool Accepts(int port) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = ProxyAddress(port);
    const bool connected = connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(sock);
    return connected;
}

// The number after marker in line; -1 when the line lacks the marker.
int NumberAfter(const std::string& line, const std::string& marker) {
    const size_t at = line.find(marker);
    return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + marker.size());
}

}  // namespace

TinyProxy::TinyProxy(const std::string& user, const std::string& password) {
    // Another program may take the free port before the proxy does: try again.
    for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
        const int port = FreePort();
        if (port != 0 && StartOn(port, user, password)) port_ = port;
    }
    EXPECT_NE(port_, 0) << "tinyproxy did not start (scripts/setup installs it); see "
                        << (dir_.path() / "tinyproxy.out");
}

TinyProxy::~TinyProxy() { Stop(); }

bool TinyProxy::StartOn(int port, const std::string& user, const std::string& password) {
    std::string config = "Port " + std::to_string(port) + "\nListen " + kHost +
                         "\nTimeout 60\nMaxClients 100\nAllow 127.0.0.0/8\nLogLevel Info\nLogFile \"" +
                         (dir_.path() / "tinyproxy.log").string() + "\"\n";
    if (!user.empty()) config += "BasicAuth " + user + " " + password + "\n";
    const std::string configPath = dir_.Write("tinyproxy.conf", config).string();
    const std::string outPath = (dir_.path() / "tinyproxy.out").string();

    pid_ = fork();
    if (pid_ == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execlp("tinyproxy", "tinyproxy", "-d", "-c", configPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        if (Accepts(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return false;
}

void TinyProxy::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
}

std::string TinyProxy::Address() const { return std::string(kHost) + ":" + std::to_string(port_); }

std::vector<std::string> TinyProxy::Forwarded(size_t count) const {
    std::vector<std::string> forwarded;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    do {
        // A request ("... Request (file descriptor 5): GET http://... HTTP/1.1")
        // counts once the proxy has closed the relay between that client's
        // descriptor and a server; a challenged request has none.
        forwarded.clear();
        std::map<int, std::string> pending;
        std::istringstream log(ReadFileBytes(dir_.path() / "tinyproxy.log"));
        for (std::string line; std::getline(log, line);) {
            const int client = NumberAfter(line, "]: Request (file descriptor ");
            const size_t text = line.find("): ");
            if (client >= 0 && text != std::string::npos) {
                pending[client] = line.substr(text + 3, line.rfind(' ') - text - 3);
            }
            const int relayed = NumberAfter(line, "]: Closed connection between local client (fd:");
            if (relayed >= 0 && pending.count(relayed) != 0) {
                forwarded.push_back(pending[relayed]);
                pending.erase(relayed);
            }
        }
        if (forwarded.size() >= count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (Clock::now() < deadline);
    std::sort(forwarded.begin(), forwarded.end());
    return forwarded;
}

}  // namespace e2e
