#include "manifest/system_proxy.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "diag/trace_log.h"

namespace {

// INTERNET_PROXY_INFO as the ANSI query fills it; the header's record
// follows the UNICODE setting.
struct ProxyInfoA {
    DWORD accessType;
    LPCSTR proxy;
    LPCSTR proxyBypass;
};

}  // namespace

bool QuerySystemProxy(bool& inUse, std::string& host, std::string& port) {
    // The first call only reports the size the record and its texts need.
    DWORD size = 0;
    InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, nullptr, &size);
    std::vector<BYTE> buffer(size < sizeof(ProxyInfoA) ? sizeof(ProxyInfoA) : size);
    size = static_cast<DWORD>(buffer.size());
    if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, buffer.data(), &size)) {
        DownLogErr("InternetQueryOption(proxy) failed! (err:%d)", static_cast<int>(GetLastError()));
        return false;
    }
    const ProxyInfoA* info = reinterpret_cast<const ProxyInfoA*>(buffer.data());
    if (info->accessType != INTERNET_OPEN_TYPE_PROXY) {
        inUse = false;
        return true;
    }
    inUse = true;
    return PickHttpProxy(info->proxy != nullptr ? info->proxy : "", host, port);
}
