#include "net/file_mgr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "download_test_support.h"
#include "temp_dir.h"
#include "util/code_page.h"

namespace {

// A connection record whose connection counts its aborts.
struct TestConn {
    explicit TestConn(int32_t connNo) : record(connNo, connNo, "http://server", ConnectionPtr(conn)) {}

    AbortCountingConnection* conn = new AbortCountingConnection;
    SConnRecord record;
};

class FileMgrTest : public ::testing::Test {
protected:
    // An opened FileMgr for dir\name.
    std::unique_ptr<FileMgr> Open(bool useHttpRange, const std::string& name = "f.bin") {
        auto file = std::make_unique<FileMgr>(useHttpRange);
        file->locFileName = WideToAnsi(dir_.WinPath()) + name;
        EXPECT_TRUE(file->OpenLocalFile());
        return file;
    }
    std::filesystem::path PathOf(const std::string& name) const { return dir_.path() / name; }
    // Writes length bytes of content at position through record's block.
    static int Write(FileMgr& file, TestConn& conn, const std::string& content, int32_t position, int32_t length) {
        int32_t written = 0;
        return file.WriteBlockData(&conn.record, content.data() + position, position, length, written);
    }

    ScopedTempDir dir_;
};

void ExpectBlock(const SFileBlock* block, int32_t start, int32_t length, int32_t done) {
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->start, start);
    EXPECT_EQ(block->length, length);
    EXPECT_EQ(block->done, done);
}

}  // namespace

TEST_F(FileMgrTest, OpenCreatesMissingDirectoriesAndAnEmptyFile) {
    FileMgr file(true);
    file.locFileName = WideToAnsi(dir_.WinPath()) + "a\\b\\f.bin";
    ASSERT_TRUE(file.OpenLocalFile());
    EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "a" / "b"));
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "a" / "b" / "f.bin"));
    ExpectBlock(file.FirstUnfinishedBlock(), 0, -1, 0);
    EXPECT_EQ(file.GetFileSize(), -1);
}

TEST_F(FileMgrTest, OpenEmptiesAnExistingFile) {
    dir_.Write("f.bin", "old content");
    auto file = Open(false);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), "");
}

TEST_F(FileMgrTest, OpenFailsForABareFileName) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    FileMgr file(true);
    file.locFileName = "f.bin";
    EXPECT_FALSE(file.OpenLocalFile());
    EXPECT_TRUE(log.Contains("[ERR][DownLoad:"));
    EXPECT_TRUE(log.Contains("local path parse fail[localpath=f.bin][path=][name=]"));
    EXPECT_EQ(file.FirstUnfinishedBlock(), nullptr);
}

TEST_F(FileMgrTest, OpenFailsWhenTheDirectoryCannotBeMade) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    dir_.Write("blocker", "a file where a directory should go");
    FileMgr file(true);
    const std::string directory = WideToAnsi(dir_.WinPath()) + "blocker\\sub\\";
    file.locFileName = directory + "f.bin";
    EXPECT_FALSE(file.OpenLocalFile());
    EXPECT_TRUE(log.Contains("local dir create fail[localpath=" + file.locFileName + "][path=" + directory + "]"));
}

TEST_F(FileMgrTest, SplitsAnOpenBlockAtAnOffsetBetweenItsPositionAndItsEnd) {
    const std::string content = MakeContent(100000, 1);
    auto file = Open(true);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    EXPECT_EQ(file->SplitBlock(file->FirstUnfinishedBlock(), 50000), nullptr);  // no known end yet
    file->SetFileSize(100000);
    ASSERT_EQ(Write(*file, main, content, 0, 30000), FileMgr::kWriteOk);
    SFileBlock* first = file->FirstUnfinishedBlock();
    EXPECT_EQ(file->SplitBlock(first, 30000), nullptr);
    EXPECT_EQ(file->SplitBlock(first, 100000), nullptr);
    SFileBlock* tail = file->SplitBlock(first, 70000);
    ExpectBlock(tail, 70000, 30000, 0);
    ExpectBlock(first, 0, 70000, 30000);
    EXPECT_EQ(main.record.curBlock, first);
    EXPECT_EQ(file->Unfinished().back().block, tail);
    EXPECT_TRUE(file->Unfinished().back().conns.empty());
    EXPECT_EQ(file->MissingBytes(), 70000);
}

TEST_F(FileMgrTest, WritesOnlyWhatTheBlockLacksAndNeverPastItsEnd) {
    const std::string content = MakeContent(50000, 2);
    auto file = Open(true);
    TestConn main(0), beside(1);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(50000);
    SFileBlock* first = file->FirstUnfinishedBlock();
    SFileBlock* tail = file->SplitBlock(first, 30000);
    file->AssignTask(first, &beside.record);
    int32_t written = 0;
    // Past the block's end nothing goes: that is the tail's.
    ASSERT_EQ(file->WriteBlockData(&main.record, content.data(), 0, 40000, written), FileMgr::kWriteOk);
    EXPECT_EQ(written, 30000);
    EXPECT_EQ(first->done, 30000);
    ExpectBlock(tail, 30000, 20000, 0);
    // A second connection on the block writes no byte twice; after a gap it writes nothing.
    ASSERT_EQ(file->WriteBlockData(&beside.record, content.data() + 10000, 10000, 5000, written), FileMgr::kWriteOk);
    EXPECT_EQ(written, 0);
    file->AssignTask(tail, &beside.record);
    EXPECT_EQ(Write(*file, beside, content, 31000, 100), FileMgr::kWriteNotOpen);
    ASSERT_EQ(file->WriteBlockData(&beside.record, content.data() + 30000, 30000, 20000, written), FileMgr::kWriteOk);
    EXPECT_EQ(written, 20000);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content);
}

TEST_F(FileMgrTest, DropsWhatAServerSendsPastTheKnownSize) {
    const std::string content = MakeContent(1200, 7);
    auto file = Open(true);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(1000);
    // The last write reaches 200 bytes past the end.
    ASSERT_EQ(Write(*file, main, content, 0, 900), FileMgr::kWriteOk);
    ASSERT_EQ(Write(*file, main, content, 900, 300), FileMgr::kWriteOk);
    EXPECT_EQ(file->FirstUnfinishedBlock()->done, 1000);
    EXPECT_EQ(file->MissingBytes(), 0);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content.substr(0, 1000));
}

TEST_F(FileMgrTest, WritesNothingPastTheSizeLimitAndSaysSo) {
    const std::string content = MakeContent(3000, 9);
    auto file = Open(false);
    file->SetSizeLimit(2500);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 2000), FileMgr::kWriteOk);
    int32_t written = 0;
    EXPECT_EQ(file->WriteBlockData(&main.record, content.data() + 2000, 2000, 1000, written), FileMgr::kWriteOverLimit);
    EXPECT_EQ(written, 500);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content.substr(0, 2500));
}

TEST_F(FileMgrTest, TheSizeOnceKnownCutsWhatWasWrittenPastIt) {
    const std::string content = MakeContent(1500, 8);
    auto file = Open(false);
    TestConn racer(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &racer.record);
    ASSERT_EQ(Write(*file, racer, content, 0, 1500), FileMgr::kWriteOk);
    file->SetFileSize(1000);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content.substr(0, 1000));
}

TEST_F(FileMgrTest, RetiringABlockReleasesEveryConnectionOnItAndRefusesTheirData) {
    const std::string content = MakeContent(30000, 3);
    auto file = Open(true);
    TestConn writer(0), racer(1), stranger(2);
    file->AssignTask(file->FirstUnfinishedBlock(), &writer.record);
    file->AssignTask(file->FirstUnfinishedBlock(), &racer.record);
    file->SetFileSize(30000);
    EXPECT_EQ(Write(*file, stranger, content, 0, 100), FileMgr::kWriteNotOpen);
    SFileBlock* block = file->FirstUnfinishedBlock();
    ASSERT_EQ(Write(*file, writer, content, 0, 30000), FileMgr::kWriteOk);
    const std::list<SConnRecord*> workers = file->RetireBlock(block);
    EXPECT_EQ(workers, (std::list<SConnRecord*>{&writer.record, &racer.record}));
    EXPECT_EQ(writer.record.curBlock, nullptr);
    EXPECT_EQ(racer.record.curBlock, nullptr);
    EXPECT_EQ(writer.conn->aborts + racer.conn->aborts, 0);
    EXPECT_TRUE(file->IsComplete());
    EXPECT_EQ(Write(*file, writer, content, 0, 100), FileMgr::kWriteNotOpen);
}

TEST_F(FileMgrTest, SourcesSayWhichServerWroteWhichBytes) {
    const std::string content = MakeContent(40000, 10);
    auto file = Open(true);
    SConnRecord first(0, 0, "http://a", ConnectionPtr(new AbortCountingConnection));
    SConnRecord second(4, 1, "http://b", ConnectionPtr(new AbortCountingConnection));
    file->AssignTask(file->FirstUnfinishedBlock(), &first);
    file->SetFileSize(40000);
    file->AssignTask(file->SplitBlock(file->FirstUnfinishedBlock(), 25000), &second);
    int32_t written = 0;
    file->WriteBlockData(&first, content.data(), 0, 10000, written);
    file->WriteBlockData(&second, content.data() + 25000, 25000, 15000, written);
    file->WriteBlockData(&first, content.data() + 10000, 10000, 15000, written);
    const std::vector<SServedRange>& sources = file->Sources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0].serverNo, 0);
    EXPECT_EQ(sources[0].start, 0);
    EXPECT_EQ(sources[0].length, 25000);
    EXPECT_EQ(sources[1].serverNo, 1);
    EXPECT_EQ(sources[1].start, 25000);
    EXPECT_EQ(sources[1].length, 15000);
}

TEST_F(FileMgrTest, IsCompleteOnlyOnceTheSizeIsKnown) {
    const std::string content = MakeContent(5000, 6);
    auto file = Open(false);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 5000), FileMgr::kWriteOk);
    EXPECT_FALSE(file->IsComplete());
    EXPECT_EQ(file->MissingBytes(), -1);
    EXPECT_EQ(file->GetTransforedSize(), 5000);
    file->SetFileSize(file->GetTransforedSize());
    EXPECT_TRUE(file->IsComplete());
    EXPECT_EQ(file->MissingBytes(), 0);
}

TEST_F(FileMgrTest, TheSizeGivesTheFullFileBlockItsLength) {
    const std::string content = MakeContent(800, 7);
    auto file = Open(false);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 500), FileMgr::kWriteOk);
    file->SetFileSize(800);
    ExpectBlock(file->FirstUnfinishedBlock(), 0, 800, 500);
    EXPECT_EQ(file->MissingBytes(), 300);
    EXPECT_EQ(file->GetTransforedSize(), 500);
}

TEST_F(FileMgrTest, WideningRetiresAFullFileBlockThatIsAlreadyDone) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    const std::string content = MakeContent(4000, 8);
    auto file = Open(true);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 4000), FileMgr::kWriteOk);
    file->SetFileSize(4000);
    EXPECT_EQ(main.conn->aborts, 1);
    EXPECT_EQ(file->FirstUnfinishedBlock(), nullptr);
    EXPECT_TRUE(file->IsComplete());
    EXPECT_EQ(file->GetTransforedSize(), 4000);
    EXPECT_TRUE(log.Contains("fullFileBlk became to: [0~4000]"));
}

TEST_F(FileMgrTest, ASecondDifferentSizeIsLoggedAsAnError) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    auto file = Open(true);
    file->SetFileSize(4096);
    EXPECT_TRUE(log.Contains("[DBG][DownLoad:"));
    file->SetFileSize(5000);
    const std::string text = log.Text();
    const size_t error = text.find("SetFileSize oldSize=4096, newSize:5000");
    ASSERT_NE(error, std::string::npos);
    EXPECT_NE(text.rfind("[ERR]", error), std::string::npos);
    EXPECT_NE(text.find("SetFileSize oldSize=-1, newSize:4096"), std::string::npos);
    EXPECT_EQ(file->GetFileSize(), 5000);
}

TEST_F(FileMgrTest, DestructionDeletesAnOpenFileButKeepsAClosedOne) {
    Open(true, "open.bin");
    EXPECT_FALSE(std::filesystem::exists(PathOf("open.bin")));
    Open(true, "closed.bin")->CloseLocalFile(false);
    EXPECT_TRUE(std::filesystem::exists(PathOf("closed.bin")));
    auto deleted = Open(true, "deleted.bin");
    deleted->CloseLocalFile(true);
    EXPECT_FALSE(std::filesystem::exists(PathOf("deleted.bin")));
    EXPECT_TRUE(deleted->IsComplete());
}
