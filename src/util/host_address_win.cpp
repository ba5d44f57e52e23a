#include "util/host_address.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>

namespace {

const WORD kWinsockVersion = MAKEWORD(2, 0);

// The host name's first IPv4 address, with the socket library started.
std::string ResolveOwnName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::string();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return std::string();
    const auto* bytes =
        reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    freeaddrinfo(found);
    return text;
}

}  // namespace

std::string FirstIPv4Address() {
    WSADATA data;
    if (WSAStartup(kWinsockVersion, &data) != 0) return std::string();
    const std::string address = ResolveOwnName();
    WSACleanup();
    return address;
}
