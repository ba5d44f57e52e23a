// The proxy the system uses for plain HTTP, as WinINet reports it.
#pragma once

#include <string>

// Reads the system's proxy setting. When the system uses a proxy, sets inUse
// and takes host and port from its list (see PickHttpProxy); when it connects
// directly, clears inUse and leaves host and port untouched. Returns false
// when the setting cannot be read or, with a proxy in use, its list has no
// usable entry. The native build has no system proxy: inUse false, true.
bool QuerySystemProxy(bool& inUse, std::string& host, std::string& port);

// Picks the proxy for plain HTTP from a proxy list: entries separated by
// spaces, each "host:port" for every protocol or "protocol=host:port". Of the
// entries without '=' and those beginning with "http=" (case-sensitive), the
// last one wins. Returns false, leaving host and port untouched, when none
// qualifies or the winner has no ':' after its first character; host is the
// text before that first ':', port the text after it.
bool PickHttpProxy(const std::string& list, std::string& host, std::string& port);
