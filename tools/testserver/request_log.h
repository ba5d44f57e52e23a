// What the test server was asked: one record per request to a file, query
// or report path (its own control requests are left out), so that tests can
// check what the client sent.
#pragma once

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

struct RequestRecord {
    long long seq = 0;   // 1 for the first request the server recorded
    std::string method;
    std::string path;    // as requested, percent-escapes decoded
    std::string range;   // the Range header as sent; empty when there was none
    int status = 0;      // the status the server answered
    int clientPort = 0;  // requests on one kept-alive connection share it
    std::string body;    // the request body
};

// One line without its line end: seq, method, path, range ("-" when none),
// status, client port, body length and the body in lower-case hex ("-" when
// empty), separated by tabs. Control characters, spaces and bytes above 0x7e
// in the path and range are written as %XX.
std::string FormatRecord(const RequestRecord& record);
// Reads a line written by FormatRecord; returns false when it is malformed.
bool ParseRecord(const std::string& line, RequestRecord& record);

// The server's record of requests, kept in memory and optionally appended to
// a file as it grows, one line per request, flushed at once.
// Thread-safe.
class RequestLog {
public:
    // Starts appending to file; returns false when it cannot be opened.
    bool Open(const std::string& file);
    // Numbers the record and keeps it.
    void Add(RequestRecord record);
    std::vector<RequestRecord> All() const;
    // Forgets the records kept in memory; numbering goes on.
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<RequestRecord> records_;
    long long lastSeq_ = 0;
    std::ofstream file_;
};
