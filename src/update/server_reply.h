// The web server's two reply formats: the meeting information (an error line
// or a command string carrying the domain) and the client version (key=value
// lines). Pure text work; any thread may call these.
#pragma once

#include <string>

#include "vocabulary/cmd_param_deal.h"

// The error number by which the server says the meeting has ended.
const int kMeetingEndedError = 2;

// True when the meeting information reply has the error form: "erro:" in any
// letter case, then optionally a number and one space, then the message. The
// number is taken only when the rest starts with a digit and has a space
// after it; then message is the text after that space. Otherwise number is 0
// and message the whole rest, leading spaces included. False, number and
// message untouched, for any other reply.
bool ParseMeetingError(const std::wstring& reply, int& number, std::wstring& message);

// The "-DOMAIN" of a meeting information reply in the success form, a command
// string. Empty when the reply does not decode (logged by the decoder) or
// names no domain.
std::wstring MeetingReplyDomain(const std::wstring& reply);

// Parses a client version reply: lines separated by '\n', each split at its
// first '=' into key and value (nothing trimmed).
void ParseVersionReply(const std::wstring& reply, CmdParamDeal& values);
