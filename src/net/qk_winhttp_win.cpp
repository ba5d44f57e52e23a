// The handle base, the session and the connection of the WinHTTP layer.
#include "net/qk_winhttp.h"

QK_WinHttpHandle::~QK_WinHttpHandle() { QK_WinHttpHandle::Close(); }

BOOL QK_WinHttpHandle::Close() {
    if (!handle_) return TRUE;
    const BOOL closed = WinHttpCloseHandle(handle_);
    handle_ = nullptr;
    return closed;
}

void QK_WinHttpHandle::Adopt(HINTERNET handle) {
    Close();
    handle_ = handle;
}

DWORD QK_WinHttpSession::Open(const wchar_t* userAgent, bool async, const std::wstring& namedProxy) {
    async_ = async;
    HINTERNET session = namedProxy.empty()
                            ? WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                          WINHTTP_NO_PROXY_BYPASS, async ? WINHTTP_FLAG_ASYNC : 0)
                            : WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, namedProxy.c_str(),
                                          WINHTTP_NO_PROXY_BYPASS, async ? WINHTTP_FLAG_ASYNC : 0);
    const DWORD error = session ? 0 : GetLastError();
    Adopt(session);
    return error;
}

DWORD QK_WinHttpConnection::Connect(const wchar_t* serverName, uint16_t port, QK_WinHttpSession* session) {
    if (!session) return ERROR_INVALID_PARAMETER;
    HINTERNET connection = WinHttpConnect(session->GetHandle(), serverName, port, 0);
    const DWORD error = connection ? 0 : GetLastError();
    Adopt(connection);
    session_ = session;
    return error;
}
