#include "request_log.h"

#include <cstdlib>
#include <sstream>

namespace {

const char kHex[] = "0123456789abcdef";

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c > 0x7e || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int high = HexDigit(text[i + 1]);
        int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool FromHex(const std::string& text, std::string& out) {
    out.clear();
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
    }
    return true;
}

bool ToNumber(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

}  // namespace

std::string FormatRecord(const RequestRecord& record) {
    std::string body;
    for (unsigned char c : record.body) {
        body += kHex[c >> 4];
        body += kHex[c & 15];
    }
    std::ostringstream line;
    line << record.seq << '\t' << record.method << '\t' << Escape(record.path) << '\t'
         << (record.range.empty() ? "-" : Escape(record.range)) << '\t' << record.status << '\t'
         << record.clientPort << '\t' << record.body.size() << '\t' << (body.empty() ? "-" : body);
    return line.str();
}

bool ParseRecord(const std::string& line, RequestRecord& record) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (fields.size() != 8) return false;
    RequestRecord parsed;
    long long status = 0, port = 0, length = 0;
    if (!ToNumber(fields[0], parsed.seq) || !ToNumber(fields[4], status) ||
        !ToNumber(fields[5], port) || !ToNumber(fields[6], length)) {
        return false;
    }
    parsed.method = fields[1];
    if (!Unescape(fields[2], parsed.path)) return false;
    if (fields[3] != "-" && !Unescape(fields[3], parsed.range)) return false;
    if (fields[7] != "-" && !FromHex(fields[7], parsed.body)) return false;
    if (static_cast<long long>(parsed.body.size()) != length) return false;
    parsed.status = static_cast<int>(status);
    parsed.clientPort = static_cast<int>(port);
    record = parsed;
    return true;
}

bool RequestLog::Open(const std::string& file) {
    std::lock_guard<std::mutex> hold(lock_);
    file_.open(file, std::ios::binary | std::ios::app);
    return file_.is_open();
}

void RequestLog::Add(RequestRecord record) {
    std::lock_guard<std::mutex> hold(lock_);
    record.seq = ++lastSeq_;
    if (file_.is_open()) file_ << FormatRecord(record) << '\n' << std::flush;
    records_.push_back(std::move(record));
}

std::vector<RequestRecord> RequestLog::All() const {
    std::lock_guard<std::mutex> hold(lock_);
    return records_;
}

void RequestLog::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    records_.clear();
}
