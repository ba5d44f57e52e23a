#include "manifest/digest.h"

#include <gtest/gtest.h>

#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

std::wstring DigestOf(DigestKind kind, const std::string& bytes) {
    CDigestHasher hasher(kind);
    DigestBytes digest;
    EXPECT_TRUE(hasher.Update(bytes.data(), bytes.size()) && hasher.Finish(digest));
    return DigestText(digest);
}

}  // namespace

TEST(Digest, PiecesGiveTheDigestOfTheWhole) {
    const std::string bytes = PatternBytes(5000);
    for (DigestKind kind : {DIGEST_MD5, DIGEST_SHA256}) {
        CDigestHasher hasher(kind);
        ASSERT_TRUE(hasher.Update(bytes.data(), 0));
        ASSERT_TRUE(hasher.Update(bytes.data(), 63));
        ASSERT_TRUE(hasher.Update(bytes.data() + 63, bytes.size() - 63));
        DigestBytes digest;
        ASSERT_TRUE(hasher.Finish(digest));
        EXPECT_EQ(DigestText(digest), DigestOf(kind, bytes));
        EXPECT_FALSE(hasher.Update("a", 1));
        EXPECT_FALSE(hasher.Finish(digest));
    }
}

// The standard's own examples: the Windows build's CNG must give them too.
TEST(Digest, KnownValues) {
    EXPECT_EQ(DigestOf(DIGEST_MD5, "abc"), L"900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(DigestOf(DIGEST_SHA256, "abc"), L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_EQ(DigestOf(DIGEST_SHA256, ""), L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
}

// Expected values from md5sum and sha256sum over the same bytes.
TEST(Digest, FileDigestsAtPieceBoundaries) {
    ScopedTempDir dir;
    const struct {
        size_t size;
        const wchar_t* md5;
        const wchar_t* sha256;
    } cases[] = {
        {0, L"D41D8CD98F00B204E9800998ECF8427E", L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {1023, L"B50F2B443FB52DB6CBA083DE2BC5D67A", nullptr},
        {1024, L"5AEB64D9F0118F916984BB8CC17BF8B1", nullptr},
        {1025, L"18A46A045A3762BD10C004B157B2AFDF", nullptr},
        {1 << 20, L"6E5AD54B0AAB98A90F408F86BE996481", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        dir.Write("hashed.bin", PatternBytes(c.size));
        std::wstring hex;
        ASSERT_TRUE(FileDigestText(DIGEST_MD5, dir.WinPath() + L"hashed.bin", hex));
        EXPECT_EQ(hex, c.md5);
        if (c.sha256 == nullptr) continue;
        ASSERT_TRUE(FileDigestText(DIGEST_SHA256, dir.WinPath() + L"hashed.bin", hex));
        EXPECT_EQ(hex, c.sha256);
    }
}

TEST(Digest, MissingFileFails) {
    ScopedTempDir dir;
    std::wstring hex = L"stale";
    EXPECT_FALSE(FileDigestText(DIGEST_SHA256, dir.WinPath() + L"missing.bin", hex));
    EXPECT_TRUE(hex.empty());
}
