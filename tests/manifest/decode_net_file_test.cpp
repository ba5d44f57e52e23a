#include "manifest/decode_net_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "manifest/digest.h"
#include "manifest/zf7z_decoder.h"
#include "manifest/zf7z_encoder.h"
#include "pattern_bytes.h"
#include "temp_dir.h"
#include "util/file_util.h"

namespace {

const int32_t kEntryTime = 1500000000;

// One downloaded file "a.dll.tmp" and its manifest entry.
class DecodeNetFileTest : public ::testing::Test {
protected:
    // Writes the download and describes content in the entry: its size, the
    // compression kind, the entry's time and an MD5 check.
    void Download(const std::string& content, int zipType) {
        std::string wireBytes = content;
        if (zipType == kZipZf7z) {
            EXPECT_TRUE(EncodeZf7z(content, wireBytes));
        }
        dir_.Write("a.dll.tmp", wireBytes);
        entry_.size = static_cast<int32_t>(content.size());
        entry_.time = kEntryTime;
        entry_.zipType = zipType;
        entry_.checkKind = CHECK_KIND_MD5;
        DigestBytes digest;
        EXPECT_TRUE(BytesDigest(DIGEST_MD5, content.data(), content.size(), digest));
        entry_.checkValue = DigestText(digest);
    }
    int Decode() { return DecodeNetFile(17, Source(), Destination(), entry_); }
    int CreateError() {
        int error = 0;
        EXPECT_FALSE(CreateLocalFile(entry_, Source(), Destination(), error));
        return error;
    }

    std::wstring Source() const { return dir_.WinPath() + L"a.dll.tmp"; }
    std::wstring Destination() const { return dir_.WinPath() + L"a.dll"; }
    bool SourceExists() const { return std::filesystem::exists(dir_.path() / "a.dll.tmp"); }
    std::string DestinationBytes() const { return ReadFileBytes(dir_.path() / "a.dll"); }
    int64_t DestinationTime() const {
        FileFindData data;
        return FindFile(Destination(), data) ? data.writeTime : -1;
    }

    ScopedTempDir dir_;
    SFileTransItem entry_;
};

}  // namespace

TEST(DecodedPath, DropsTheLastFourCharactersWhateverTheyAre) {
    EXPECT_EQ(DecodedPathOf(L"C:\\App\\UpdateVer\\a.dll.tmp"), L"C:\\App\\UpdateVer\\a.dll");
    EXPECT_EQ(DecodedPathOf(L"C:\\b.exe"), L"C:\\b");
}

TEST_F(DecodeNetFileTest, StoredFileIsCopiedTimedAndChecked) {
    dir_.Write("a.dll", "an old file is replaced");
    const std::string content = PatternBytes(5000);
    Download(content, kZipStored);
    EXPECT_EQ(Decode(), 1);
    EXPECT_EQ(DestinationBytes(), content);
    EXPECT_FALSE(SourceExists());
    EXPECT_EQ(DestinationTime(), kEntryTime);
}

TEST_F(DecodeNetFileTest, PackedFileIsUnpackedTimedAndChecked) {
    const std::string content = CompressibleBytes(200000);
    Download(content, kZipZf7z);
    EXPECT_EQ(Decode(), 1);
    EXPECT_EQ(DestinationBytes(), content);
    EXPECT_FALSE(SourceExists());
    EXPECT_EQ(DestinationTime(), kEntryTime);
}

TEST_F(DecodeNetFileTest, PackedEmptyFileFailsAndKeepsTheSource) {
    Download("", kZipZf7z);
    EXPECT_EQ(CreateError(), 0);
    EXPECT_EQ(Decode(), 0);
    EXPECT_TRUE(SourceExists());
}

TEST_F(DecodeNetFileTest, ZlibAndUnknownKindsAreRefusedWithoutOutput) {
    for (int zipType : {kZipZlib, kZipUnknown}) {
        Download("content", zipType);
        EXPECT_EQ(CreateError(), kErrorUnsupportedZipType);
        EXPECT_EQ(Decode(), 0);
        EXPECT_TRUE(SourceExists());
        EXPECT_FALSE(std::filesystem::exists(dir_.path() / "a.dll"));
    }
}

// A staged file with the entry's size and time counts as sound on the next
// run, so one that fails its check must not stay.
TEST_F(DecodeNetFileTest, CheckMismatchFailsAndRemovesTheDestination) {
    Download("content", kZipStored);
    entry_.checkValue = L"00000000000000000000000000000000";
    EXPECT_EQ(Decode(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "a.dll"));
    Download("content", kZipStored);
    entry_.size = 8;
    EXPECT_EQ(Decode(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "a.dll"));
}

TEST_F(DecodeNetFileTest, CheckKindNonePassesWhateverTheValueText) {
    Download("content", kZipStored);
    entry_.checkKind = CHECK_KIND_NONE;
    entry_.checkValue = L"ANYTHING";
    EXPECT_EQ(Decode(), 1);
}

// A server states the size of the unpacked file in the container: one that
// differs from the signed manifest's is refused before any byte is written.
TEST_F(DecodeNetFileTest, PackedFileStatingAnotherSizeIsRefusedBeforeWriting) {
    dir_.Write("a.dll", "an old file stays as it is");
    Download(CompressibleBytes(5000), kZipZf7z);
    entry_.size = 4999;
    EXPECT_EQ(CreateError(), ZF7Z_ERROR_OTHER_SIZE);
    EXPECT_EQ(Decode(), 0);
    EXPECT_EQ(DestinationBytes(), "an old file stays as it is");
    EXPECT_TRUE(SourceExists());
}

TEST_F(DecodeNetFileTest, Sha256EntriesAreCheckedLikeMd5) {
    const std::string content = PatternBytes(3000);
    Download(content, kZipStored);
    entry_.checkKind = CHECK_KIND_SHA256;
    ASSERT_TRUE(ComputeFileCheckValue(CHECK_KIND_SHA256, Source(), entry_.checkValue));
    EXPECT_EQ(entry_.checkValue.size(), 64u);
    EXPECT_EQ(Decode(), 1);
    EXPECT_EQ(DestinationTime(), kEntryTime);
    Download(content, kZipStored);
    entry_.checkKind = CHECK_KIND_SHA256;
    entry_.checkValue = std::wstring(64, L'0');
    EXPECT_EQ(Decode(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "a.dll"));
}
