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

// The request header that answers a Basic challenge with user and password
// (their bytes as stored).
std::wstring BasicProxyAuthorization(const std::string& user, const std::string& password);

// Answers the 407 that request received, for the strongest scheme its proxy
// offers: Basic is left to the caller, who sends a request with the header
// above (Wine's WinHTTP sends proxy credentials it holds only when it sends
// a request again by itself, and then without a body written with
// WinHttpWriteData); the other schemes get the credentials through
// WinHttpSetCredentials, which leaves their handshake to WinHTTP when the
// request is sent again. Sets scheme to the one picked. Returns 0, or the
// failing call's error (ERROR_NOT_SUPPORTED when the challenge offers no
// usable scheme or does not come from the proxy).
DWORD AnswerProxyChallenge(QK_WinHttpRequest& request, const std::string& user, const std::string& password,
                           DWORD* scheme);
