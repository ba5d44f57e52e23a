#include "manifest/md5.h"

#include <gtest/gtest.h>

#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

std::wstring DigestOf(const std::string& bytes) {
    CMd5Hasher hasher;
    Md5Digest digest{};
    EXPECT_TRUE(hasher.Update(bytes.data(), bytes.size()) && hasher.Finish(digest));
    return Md5DigestText(digest);
}

}  // namespace

TEST(Md5, PiecesGiveTheDigestOfTheWhole) {
    const std::string bytes = PatternBytes(5000);
    CMd5Hasher hasher;
    ASSERT_TRUE(hasher.Update(bytes.data(), 0));
    ASSERT_TRUE(hasher.Update(bytes.data(), 63));
    ASSERT_TRUE(hasher.Update(bytes.data() + 63, bytes.size() - 63));
    Md5Digest digest{};
    ASSERT_TRUE(hasher.Finish(digest));
    EXPECT_EQ(Md5DigestText(digest), DigestOf(bytes));
    EXPECT_FALSE(hasher.Update("a", 1));
}

// Expected values from md5sum over the same bytes: the CryptoAPI build must
// give them too.
TEST(Md5, FileDigestsAtPieceBoundaries) {
    ScopedTempDir dir;
    const struct {
        size_t size;
        const wchar_t* md5;
    } cases[] = {
        {0, L"D41D8CD98F00B204E9800998ECF8427E"},    {1, L"6465DAD1D31752BE3F3283E8F70FEEF7"},
        {1023, L"B50F2B443FB52DB6CBA083DE2BC5D67A"}, {1024, L"5AEB64D9F0118F916984BB8CC17BF8B1"},
        {1025, L"18A46A045A3762BD10C004B157B2AFDF"}, {1 << 20, L"6E5AD54B0AAB98A90F408F86BE996481"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        dir.Write("hashed.bin", PatternBytes(c.size));
        std::wstring hex;
        ASSERT_TRUE(FileMd5Text(dir.WinPath() + L"hashed.bin", hex));
        EXPECT_EQ(hex, c.md5);
    }
}

TEST(Md5, MissingFileFails) {
    ScopedTempDir dir;
    std::wstring hex = L"stale";
    EXPECT_FALSE(FileMd5Text(dir.WinPath() + L"missing.bin", hex));
    EXPECT_TRUE(hex.empty());
}
