#include "net/proxy_access_win.h"

#include "util/base64.h"
#include "util/code_page.h"

std::wstring SessionProxyName(const std::string& host, uint16_t port) {
    if (host.empty()) return std::wstring();
    return AnsiToWide(host + ":" + std::to_string(port));
}

std::wstring NamedProxyList(const std::string& host, uint16_t port) {
    if (host.empty()) return std::wstring();
    return L"http=" + SessionProxyName(host, port);
}

DWORD PickAuthScheme(DWORD supported) {
    for (DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
                         WINHTTP_AUTH_SCHEME_BASIC}) {
        if (supported & scheme) return scheme;
    }
    return 0;
}

std::wstring BasicProxyAuthorization(const std::string& user, const std::string& password) {
    return L"Proxy-Authorization: Basic " + AnsiToWide(Base64Encode(user + ":" + password));
}

DWORD AnswerProxyChallenge(QK_WinHttpRequest& request, const std::string& user, const std::string& password,
                           DWORD* scheme) {
    DWORD supported = 0;
    DWORD first = 0;
    DWORD target = 0;
    const DWORD error = request.QueryAuthSchemes(&supported, &first, &target);
    if (error) return error;
    *scheme = PickAuthScheme(supported);
    if (*scheme == 0 || target != WINHTTP_AUTH_TARGET_PROXY) return ERROR_NOT_SUPPORTED;
    if (*scheme == WINHTTP_AUTH_SCHEME_BASIC) return 0;
    return request.SetCredentials(WINHTTP_AUTH_TARGET_PROXY, *scheme, AnsiToWide(user), AnsiToWide(password));
}
