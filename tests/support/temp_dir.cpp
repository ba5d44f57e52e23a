#include "temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "zmtest-" << stamp << "-" << counter++;
    path_ = fs::temp_directory_path() / name.str();
    fs::create_directories(path_);
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::wstring ScopedTempDir::WinPath() const {
    std::wstring p = path_.wstring();
    for (auto& c : p) {
        if (c == L'/') c = L'\\';
    }
    if (p.empty() || p.back() != L'\\') p += L'\\';
    return p;
}

fs::path ScopedTempDir::Write(const std::string& relative, const std::string& bytes) const {
    fs::path target = path_ / fs::u8path(relative);
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return target;
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
