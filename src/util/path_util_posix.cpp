#include "util/path_util.h"

#include <limits.h>
#include <unistd.h>

#include "util/path_separators.h"

std::wstring GetModulePath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return std::wstring();
    return FromPosixPath(std::string(path, static_cast<size_t>(length)));
}
