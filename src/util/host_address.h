// The computer's own network address, which reports carry to tell one
// installation's machine from another.
#pragma once

#include <string>

// The first IPv4 address that the computer's host name resolves to, in
// dotted form ("192.0.2.7"); empty when the host name cannot be had or
// resolved. Any thread may call it; on Windows it starts and ends its own use
// of the socket library.
std::string FirstIPv4Address();
