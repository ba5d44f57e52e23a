#include "manifest/system_proxy.h"

bool PickHttpProxy(const std::string& list, std::string& host, std::string& port) {
    const std::string kHttpEntry = "http=";
    // An empty candidate, whether none was found or "http=" named nothing,
    // fails below for want of a ':'.
    std::string candidate;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(' ', start);
        if (end == std::string::npos) end = list.size();
        const std::string entry = list.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        if (entry.find('=') == std::string::npos) {
            candidate = entry;
        } else if (entry.compare(0, kHttpEntry.size(), kHttpEntry) == 0) {
            candidate = entry.substr(kHttpEntry.size());
        }
    }
    const size_t colon = candidate.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = candidate.substr(0, colon);
    port = candidate.substr(colon + 1);
    return true;
}
