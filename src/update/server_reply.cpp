#include "update/server_reply.h"

#include "util/text_util.h"
#include "vocabulary/command_string.h"

namespace {

const wchar_t kErrorPrefix[] = L"erro:";
const size_t kErrorPrefixLength = 5;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

bool ParseMeetingError(const std::wstring& reply, int& number, std::wstring& message) {
    if (reply.size() < kErrorPrefixLength) return false;
    if (FoldCaseText(reply.substr(0, kErrorPrefixLength)) != FoldCaseText(kErrorPrefix)) return false;
    const std::wstring rest = reply.substr(kErrorPrefixLength);
    const size_t space = rest.find(L' ');
    if (!rest.empty() && IsDigit(rest[0]) && space != std::wstring::npos) {
        number = ParseLeadingInt(rest.substr(0, space));
        message = rest.substr(space + 1);
    } else {
        number = 0;
        message = rest;
    }
    return true;
}

std::wstring MeetingReplyDomain(const std::wstring& reply) {
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(reply, prefix, text)) return std::wstring();
    CmdParamDeal values;
    values.Parse(text, L'\n', L'=');
    std::wstring domain;
    values.Get(L"-DOMAIN", domain);
    return domain;
}

void ParseVersionReply(const std::wstring& reply, CmdParamDeal& values) { values.Parse(reply, L'\n', L'='); }
