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
    explicit TestConn(int32_t connNo) : record(connNo, "http://server", ConnectionPtr(conn)) {}

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
        return file.WriteBlockData(&conn.record, content.data() + position, position, length);
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

TEST_F(FileMgrTest, GivesTheWholeFileFirstAndNothingMoreWhileTheSizeIsUnknown) {
    auto file = Open(true);
    TestConn conn(0);
    SFileBlock* whole = file->NextTask();
    ExpectBlock(whole, 0, -1, 0);
    file->AssignTask(whole, &conn.record);
    EXPECT_EQ(conn.record.curBlock, whole);
    EXPECT_EQ(file->NextTask(), nullptr);
}

TEST_F(FileMgrTest, ProbesTheLastHundredBytesOnceTheSizeIsKnown) {
    auto file = Open(true);
    TestConn conn(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &conn.record);
    file->SetFileSize(100000, false);
    ExpectBlock(file->NextTask(), 99900, 100, 0);
    ExpectBlock(file->FirstUnfinishedBlock(), 0, -1, 0);
}

TEST_F(FileMgrTest, ProbesAFileShorterThanTheProbeWhole) {
    auto file = Open(true);
    TestConn conn(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &conn.record);
    file->SetFileSize(60, false);
    ExpectBlock(file->NextTask(), 0, 60, 0);
}

TEST_F(FileMgrTest, DoesNotProbeWithoutRangesOrAnEmptyFile) {
    auto noRanges = Open(false, "a.bin");
    TestConn conn(0);
    noRanges->AssignTask(noRanges->FirstUnfinishedBlock(), &conn.record);
    noRanges->SetFileSize(100000, false);
    EXPECT_EQ(noRanges->NextTask(), nullptr);

    auto empty = Open(true, "b.bin");
    TestConn other(1);
    empty->AssignTask(empty->FirstUnfinishedBlock(), &other.record);
    empty->SetFileSize(0, false);
    EXPECT_EQ(empty->NextTask(), nullptr);
}

TEST_F(FileMgrTest, CutsPiecesOffTheTailOfTheFirstLongBlock) {
    const std::string content = MakeContent(100000, 1);
    auto file = Open(true);
    TestConn main(0), second(1);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 30000), FileMgr::kWriteOk);
    file->SetFileSize(100000, true);
    ExpectBlock(file->FirstUnfinishedBlock(), 0, 100000, 30000);

    SFileBlock* piece = file->NextTask();
    ExpectBlock(piece, 79520, 20480, 0);
    ExpectBlock(file->FirstUnfinishedBlock(), 0, 79520, 30000);
    file->AssignTask(piece, &second.record);
    ExpectBlock(file->NextTask(), 59040, 20480, 0);
    ExpectBlock(file->FirstUnfinishedBlock(), 0, 59040, 30000);
}

TEST_F(FileMgrTest, HandsTheFirstShortBlockOutAgainInsteadOfSplittingIt) {
    auto file = Open(true);
    TestConn main(0), second(1);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(20480, true);
    SFileBlock* first = file->FirstUnfinishedBlock();
    ExpectBlock(first, 0, 20480, 0);
    EXPECT_EQ(file->NextTask(), first);
    file->AssignTask(first, &second.record);
    EXPECT_EQ(file->NextTask(), first);
    ExpectBlock(first, 0, 20480, 0);
}

TEST_F(FileMgrTest, WritesAtTheAbsolutePositionAlsoBeyondTheOwnBlock) {
    const std::string content = MakeContent(50000, 2);
    auto file = Open(true);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(50000, true);
    SFileBlock* first = file->FirstUnfinishedBlock();
    TestConn idle(1);
    file->AssignTask(file->NextTask(), &idle.record);  // {29520, 20480}
    ExpectBlock(first, 0, 29520, 0);
    ASSERT_EQ(Write(*file, main, content, 20000, 20000), FileMgr::kWriteOk);
    EXPECT_EQ(first->done, 40000);
    ASSERT_EQ(Write(*file, main, content, 0, 20000), FileMgr::kWriteOk);
    EXPECT_EQ(first->done, 40000);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content.substr(0, 40000));
}

TEST_F(FileMgrTest, DropsWhatAServerSendsPastTheKnownSize) {
    const std::string content = MakeContent(1200, 7);
    auto file = Open(true);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(1000, true);
    // The last write reaches 200 bytes past the end; the next lies wholly past it.
    ASSERT_EQ(Write(*file, main, content, 0, 900), FileMgr::kWriteOk);
    ASSERT_EQ(Write(*file, main, content, 900, 300), FileMgr::kWriteOk);
    EXPECT_EQ(file->FirstUnfinishedBlock()->done, 1000);
    EXPECT_EQ(file->MissingBytes(), 0);
    EXPECT_EQ(Write(*file, main, content, 1000, 100), FileMgr::kWriteNotOpen);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content.substr(0, 1000));
}

TEST_F(FileMgrTest, TheSizeOnceKnownCutsWhatWasWrittenPastIt) {
    const std::string content = MakeContent(1500, 8);
    auto file = Open(false);
    TestConn racer(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &racer.record);
    ASSERT_EQ(Write(*file, racer, content, 0, 1500), FileMgr::kWriteOk);
    file->SetFileSize(1000, false);
    file->CloseLocalFile(false);
    EXPECT_EQ(ReadFileBytes(PathOf("f.bin")), content.substr(0, 1000));
}

TEST_F(FileMgrTest, RefusesDataForABlockThatIsNoLongerOpen) {
    const std::string content = MakeContent(30000, 3);
    auto file = Open(true);
    TestConn writer(0), stranger(1);
    file->AssignTask(file->FirstUnfinishedBlock(), &writer.record);
    file->SetFileSize(30000, true);
    EXPECT_EQ(Write(*file, stranger, content, 0, 100), FileMgr::kWriteNotOpen);
    ASSERT_EQ(Write(*file, writer, content, 0, 30000), FileMgr::kWriteOk);
    file->CompleteCoveredBlocks(0, 30000);
    EXPECT_EQ(Write(*file, writer, content, 0, 100), FileMgr::kWriteNotOpen);
}

TEST_F(FileMgrTest, ACompletingWriteRetiresTheBlockAndAbortsEveryConnectionOnIt) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    const std::string content = MakeContent(51200, 4);
    auto file = Open(true);
    TestConn main(0), writer(1), racer(2);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(51200, true);
    SFileBlock* piece = file->NextTask();
    ExpectBlock(piece, 30720, 20480, 0);
    file->AssignTask(piece, &writer.record);
    file->AssignTask(piece, &racer.record);

    ASSERT_EQ(Write(*file, writer, content, 30720, 20480), FileMgr::kWriteOk);
    file->CompleteCoveredBlocks(30720, 20480);
    EXPECT_EQ(writer.conn->aborts, 1);
    EXPECT_EQ(racer.conn->aborts, 1);
    EXPECT_EQ(main.conn->aborts, 0);
    EXPECT_EQ(piece->done, 20480);
    EXPECT_EQ(file->MissingBytes(), 30720);
    EXPECT_TRUE(log.Contains("[conn2] abort by range(30720~20480), curRange:(30720~20480, done:20480)"));
    file->ReleaseTask(&writer.record);
    EXPECT_EQ(writer.record.curBlock, nullptr);
}

TEST_F(FileMgrTest, AWriteThatStopsShortOfTheEndCompletesNothing) {
    const std::string content = MakeContent(51200, 5);
    auto file = Open(true);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    file->SetFileSize(51200, true);
    ASSERT_EQ(Write(*file, main, content, 0, 51199), FileMgr::kWriteOk);
    file->CompleteCoveredBlocks(0, 51199);
    EXPECT_EQ(main.conn->aborts, 0);
    EXPECT_EQ(file->MissingBytes(), 1);
    EXPECT_FALSE(file->IsComplete());
}

TEST_F(FileMgrTest, IsCompleteOnlyOnceTheSizeIsKnown) {
    const std::string content = MakeContent(5000, 6);
    auto file = Open(false);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 5000), FileMgr::kWriteOk);
    file->CompleteCoveredBlocks(0, 5000);
    EXPECT_FALSE(file->IsComplete());
    EXPECT_EQ(file->MissingBytes(), -1);
    EXPECT_EQ(file->GetTransforedSize(), 5000);
    file->SetFileSize(file->GetTransforedSize(), false);
    EXPECT_TRUE(file->IsComplete());
    EXPECT_EQ(file->MissingBytes(), 0);
}

TEST_F(FileMgrTest, MissingBytesCountsAnOpenBlockToTheTotalSize) {
    const std::string content = MakeContent(800, 7);
    auto file = Open(false);
    TestConn main(0);
    file->AssignTask(file->FirstUnfinishedBlock(), &main.record);
    ASSERT_EQ(Write(*file, main, content, 0, 500), FileMgr::kWriteOk);
    file->SetFileSize(800, false);
    ExpectBlock(file->FirstUnfinishedBlock(), 0, -1, 500);
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
    file->SetFileSize(4000, true);
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
    file->SetFileSize(4096, false);
    EXPECT_TRUE(log.Contains("[DBG][DownLoad:"));
    file->SetFileSize(5000, false);
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
