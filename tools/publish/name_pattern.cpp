#include "publish/name_pattern.h"

#include "manifest/install_name.h"
#include "util/path_separators.h"

namespace {

// Wildcard match with one backtrack point: on a mismatch the last '*' takes
// one more character. Linear in practice, never exponential.
bool MatchFolded(const std::wstring& pattern, const std::wstring& text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::wstring::npos;
    size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            starText = t;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesNamePattern(const std::wstring& pattern, const std::wstring& name) {
    const std::wstring folded = FoldFileName(WithBackslashes(pattern));
    std::wstring subject = FoldFileName(WithBackslashes(name));
    if (folded.find(L'\\') == std::wstring::npos) {
        const size_t separator = subject.rfind(L'\\');
        if (separator != std::wstring::npos) subject.erase(0, separator + 1);
    }
    return MatchFolded(folded, subject);
}
