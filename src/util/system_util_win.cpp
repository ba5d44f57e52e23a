#include "util/system_util.h"

#include <windows.h>

#include <rpc.h>

#include <cwchar>

int LastSystemError() { return static_cast<int>(GetLastError()); }

bool IsVistaOrLater() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExW(&info) && info.dwMajorVersion > 5;
}

int NativeArchitecture() {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_UNKNOWN ? 0 : info.wProcessorArchitecture;
}

std::wstring NewUuidText() {
    UUID uuid;
    RPC_STATUS status = UuidCreate(&uuid);
    // A UUID unique to this machine only still serves as an identity.
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return L"0";
    RPC_WSTR text = nullptr;
    if (UuidToStringW(&uuid, &text) != RPC_S_OK || !text) return L"0";
    std::wstring result(reinterpret_cast<const wchar_t*>(text));
    RpcStringFreeW(&text);
    return result;
}

bool GetFileVersionText(const std::wstring& path, std::wstring& text) {
    text.clear();
    // Large enough for the fixed block at the start of every version resource.
    BYTE buffer[2048];
    if (!GetFileVersionInfoW(path.c_str(), 0, sizeof buffer, buffer)) return false;
    void* block = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer, L"\\", &block, &length) || !block || length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
    wchar_t version[64];
    std::swprintf(version, sizeof version / sizeof version[0], L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    text = version;
    return true;
}
