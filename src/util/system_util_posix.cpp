#include "util/system_util.h"

#include <errno.h>
#include <sys/utsname.h>

#include <cstring>
#include <random>

int LastSystemError() { return errno; }

bool IsVistaOrLater() { return true; }

int NativeArchitecture() {
    utsname name;
    if (uname(&name) != 0) return 0;
    const char* machine = name.machine;
    if (std::strcmp(machine, "x86_64") == 0) return kArchitectureAmd64;
    if (std::strcmp(machine, "aarch64") == 0 || std::strcmp(machine, "arm64") == 0) return kArchitectureArm64;
    if (std::strncmp(machine, "arm", 3) == 0) return kArchitectureArm;
    // 32-bit x86 (kArchitectureIntel) and anything unknown.
    return 0;
}

std::wstring NewUuidText() {
    // A version 4 (random) UUID.
    unsigned char bytes[16];
    try {
        std::random_device random;
        for (auto& b : bytes) b = static_cast<unsigned char>(random());
    } catch (const std::exception&) {
        return L"0";
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += L'-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

bool GetFileVersionText(const std::wstring&, std::wstring& text) {
    text.clear();
    return false;
}
