#include "diag/trace_file.h"

#include <unistd.h>

namespace {

std::string OsPath(const std::string& path) {
    std::string os = path;
    for (char& c : os) {
        if (c == '\\') c = '/';
    }
    return os;
}

}  // namespace

std::FILE* OpenTraceFile(const std::string& path, const char* mode) {
    return std::fopen(OsPath(path).c_str(), mode);
}

bool RemoveTraceFile(const std::string& path) { return unlink(OsPath(path).c_str()) == 0; }

bool RenameTraceFile(const std::string& from, const std::string& to) {
    std::string target = OsPath(to);
    if (access(target.c_str(), F_OK) == 0) return false;
    return std::rename(OsPath(from).c_str(), target.c_str()) == 0;
}
