#include "diag/trace_file.h"

#include <windows.h>

#include <share.h>

std::FILE* OpenTraceFile(const std::string& path, const char* mode) {
    return _fsopen(path.c_str(), mode, _SH_DENYNO);
}

bool RemoveTraceFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool RenameTraceFile(const std::string& from, const std::string& to) {
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}
