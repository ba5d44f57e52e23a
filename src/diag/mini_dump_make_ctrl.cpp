#include "diag/mini_dump_make_ctrl.h"

#include <cinttypes>
#include <cstdio>

#include "util/code_page.h"

void CMiniDumpMakeCtrl::GetDumpComment(std::wstring& text) { text.clear(); }

std::string BuildDumpTrailer(uint32_t exceptionCode, uint64_t faultAddress, const std::wstring& comment) {
    char head[96];
    std::snprintf(head, sizeof head, "\nException code:0x%" PRIX32 "\nFault address:0x%" PRIX64 "\n", exceptionCode,
                  faultAddress);
    std::string trailer = head + WideToAnsi(comment);
    trailer.push_back('\0');
    const uint32_t length = static_cast<uint32_t>(trailer.size()) + 4;
    for (int shift = 0; shift < 32; shift += 8) trailer.push_back(static_cast<char>((length >> shift) & 0xFF));
    return trailer;
}
