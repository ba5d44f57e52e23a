// Helpers of the trace log tests: taking the written lines apart.
#pragma once

// GCC 12 reports a false "may be used uninitialized" inside <regex> when
// optimising; it is not about this code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

struct ParsedLine {
    std::string level;
    std::string module;
    unsigned long threadId = 0;
    std::string message;  // everything after the prefix, '\n' included
};

// False when the line does not begin with "[date time.ms][LVL][module:thread] ".
inline bool ParseLine(const std::string& line, ParsedLine& parsed) {
    static const std::regex prefix(
        R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]\[(DBG|INF|WAR|ERR)\]\[([^\]:]*):(\d+)\] )");
    std::smatch m;
    if (!std::regex_search(line, m, prefix, std::regex_constants::match_continuous)) return false;
    parsed = {m[1], m[2], std::stoul(m[3]), line.substr(static_cast<size_t>(m.length(0)))};
    return true;
}

// Splits text into lines that keep their '\n'.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size() - 1);
        lines.push_back(text.substr(start, end - start + 1));
    }
    return lines;
}

// The message parts of the lines; a line without a well-formed prefix is
// kept whole behind "?", which no expected message matches.
inline std::vector<std::string> Messages(const std::string& text) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(text)) {
        ParsedLine parsed;
        messages.push_back(ParseLine(line, parsed) ? parsed.message : "?" + line);
    }
    return messages;
}

// Polls until the condition holds; false if it still does not after a minute
// (the code under test is then stuck, not slow).
template <class Condition>
bool WaitUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
