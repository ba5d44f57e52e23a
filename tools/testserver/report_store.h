// The log server's side of error reports: each report arrives as one zlib
// stream and is kept inflated, one file per report, numbered in the order of
// arrival ("report_0001.txt", ...), so that tests can read what the client
// sent.
// Thread-safe.
#pragma once

#include <mutex>
#include <string>

// Inflates one complete zlib stream. Returns false when data is not one
// (truncated, corrupt, or followed by other bytes) or inflates past maxBytes.
bool InflateZlib(const std::string& data, std::string& text, size_t maxBytes = 64 << 20);

class ReportStore {
public:
    // dir: the folder for the reports, created when missing; empty keeps no files.
    explicit ReportStore(std::string dir);

    enum class Result { kStored, kNotZlib, kWriteFailed };
    // Inflates a report and writes it to the next file; the file is complete
    // before this returns.
    Result Add(const std::string& compressed);

private:
    std::mutex lock_;
    std::string dir_;
    int count_ = 0;
};
