#include "manifest/decode_net_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "manifest/md5.h"
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
        CMd5Hasher hasher;
        Md5Digest digest{};
        EXPECT_TRUE(hasher.Update(content.data(), content.size()) && hasher.Finish(digest));
        entry_.checkValue = Md5DigestText(digest);
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
