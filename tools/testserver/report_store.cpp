#include "report_store.h"

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

bool InflateZlib(const std::string& data, std::string& text, size_t maxBytes) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buffer[16384];
    int status = Z_OK;
    while (status == Z_OK && out.size() <= maxBytes) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    bool whole = status == Z_STREAM_END && stream.avail_in == 0 && out.size() <= maxBytes;
    inflateEnd(&stream);
    if (!whole) return false;
    text = std::move(out);
    return true;
}

ReportStore::ReportStore(std::string dir) : dir_(std::move(dir)) {}

ReportStore::Result ReportStore::Add(const std::string& compressed) {
    std::string text;
    if (!InflateZlib(compressed, text)) return Result::kNotZlib;
    if (dir_.empty()) return Result::kStored;
    std::lock_guard<std::mutex> hold(lock_);
    std::error_code ec;
    fs::create_directories(dir_, ec);
    char name[32];
    std::snprintf(name, sizeof name, "report_%04d.txt", count_ + 1);
    fs::path target = fs::path(dir_) / name;
    // Written aside and renamed, so a reader never finds half a report.
    fs::path partial = target;
    partial += ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) return Result::kWriteFailed;
    }
    fs::rename(partial, target, ec);
    if (ec) return Result::kWriteFailed;
    ++count_;
    return Result::kStored;
}
