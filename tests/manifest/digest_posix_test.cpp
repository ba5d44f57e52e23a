// Compares with md5sum and sha256sum on fresh random files of every size class.
#include "manifest/digest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>

#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

// The digest a coreutils program ("md5sum", "sha256sum") gives for the file,
// upper case; empty when it cannot run.
std::wstring DigestByTool(const std::string& tool, const std::string& path) {
    std::FILE* pipe = popen((tool + " '" + path + "'").c_str(), "r");
    if (pipe == nullptr) return std::wstring();
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    std::wstring digest;
    for (size_t i = 0; got && i < 64 && std::isxdigit(static_cast<unsigned char>(line[i])); ++i) {
        digest += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(line[i])));
    }
    return digest;
}

}  // namespace

TEST(Digest, FileDigestEqualsCoreutilsOnRandomFiles) {
    ScopedTempDir dir;
    const uint32_t seed = std::random_device()();
    SCOPED_TRACE(seed);
    for (size_t size : {0u, 1u, 1023u, 1024u, 1025u, 1u << 20}) {
        SCOPED_TRACE(size);
        const std::string path = dir.Write("random.bin", PatternBytes(size, seed)).string();
        const std::wstring md5 = DigestByTool("md5sum", path);
        ASSERT_EQ(md5.size(), 32u);
        std::wstring hex;
        ASSERT_TRUE(FileDigestText(DIGEST_MD5, dir.WinPath() + L"random.bin", hex));
        EXPECT_EQ(hex, md5);
        const std::wstring sha256 = DigestByTool("sha256sum", path);
        ASSERT_EQ(sha256.size(), 64u);
        ASSERT_TRUE(FileDigestText(DIGEST_SHA256, dir.WinPath() + L"random.bin", hex));
        EXPECT_EQ(hex, sha256);
    }
}
