#include "manifest/system_proxy.h"

// Hosts of the native build keep no proxy setting for this program.
bool QuerySystemProxy(bool& inUse, std::string&, std::string&) {
    inUse = false;
    return true;
}
