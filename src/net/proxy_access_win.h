// How a connection goes through a named proxy: the proxy list WinHTTP takes,
// and the answer to a proxy that asks for credentials (407).
//
// Windows only (through net/qk_winhttp.h).
#pragma once

#include <cstdint>
#include <string>

#include "net/qk_winhttp.h"

// "http=host:port", the list of one named proxy for plain HTTP, as a request
// takes it; empty when host is empty (no proxy).
std::wstring NamedProxyList(const std::string& host, uint16_t port);
// "host:port", the same proxy as a session takes it: Wine's WinHTTP reads a
// session's list as one host and port and cannot parse "http=" in front;
// Windows takes it as the proxy of every scheme, and plain HTTP is the only
// one we speak. Empty when host is empty.
std::wstring SessionProxyName(const std::string& host, uint16_t port);

// The scheme to answer a challenge with among the offered ones
// (WINHTTP_AUTH_SCHEME_* flags): the strongest of Negotiate, NTLM, Digest and
// Basic; 0 when none of them is offered.
DWORD PickAuthScheme(DWORD supported);

// Sets the proxy credentials on a request that received a 407, for the scheme
// its proxy offers, so that sending the request again answers the challenge.
// Returns 0, or the failing call's error (ERROR_NOT_SUPPORTED when the
// challenge offers no usable scheme or does not come from the proxy).
DWORD AnswerProxyChallenge(QK_WinHttpRequest& request, const std::wstring& user, const std::wstring& password);
