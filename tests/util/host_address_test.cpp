#include "util/host_address.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// True for four decimal numbers of 0 to 255 joined by dots.
bool IsDottedIPv4(const std::string& text) {
    size_t at = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0 && (at >= text.size() || text[at++] != '.')) return false;
        const size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
        if (at == start || at - start > 3 || std::atoi(text.substr(start, at - start).c_str()) > 255) return false;
    }
    return at == text.size();
}

}  // namespace

// Every machine that builds and tests this resolves its own host name (a
// loopback address at least).
TEST(HostAddress, FirstIPv4AddressIsDottedAndStable) {
    const std::string address = FirstIPv4Address();
    EXPECT_TRUE(IsDottedIPv4(address)) << address;
    EXPECT_EQ(FirstIPv4Address(), address);
}
