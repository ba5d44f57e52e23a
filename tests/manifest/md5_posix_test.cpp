// Compares with md5sum on fresh random files of every size class.
#include "manifest/md5.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>

#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

// md5sum's digest of the file, upper case; empty when it cannot run.
std::wstring Md5sumOf(const std::string& path) {
    std::FILE* pipe = popen(("md5sum '" + path + "'").c_str(), "r");
    if (pipe == nullptr) return std::wstring();
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    std::wstring digest;
    for (size_t i = 0; got && i < 32 && std::isxdigit(static_cast<unsigned char>(line[i])); ++i) {
        digest += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(line[i])));
    }
    return digest;
}

}  // namespace

TEST(Md5, FileDigestEqualsMd5sumOnRandomFiles) {
    ScopedTempDir dir;
    const uint32_t seed = std::random_device()();
    SCOPED_TRACE(seed);
    for (size_t size : {0u, 1u, 1023u, 1024u, 1025u, 1u << 20}) {
        SCOPED_TRACE(size);
        const std::string path = dir.Write("random.bin", PatternBytes(size, seed)).string();
        const std::wstring expected = Md5sumOf(path);
        ASSERT_EQ(expected.size(), 32u);
        std::wstring hex;
        ASSERT_TRUE(FileMd5Text(dir.WinPath() + L"random.bin", hex));
        EXPECT_EQ(hex, expected);
    }
}
