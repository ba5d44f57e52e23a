#include "manifest/decode_net_file_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "manifest/decode_net_file.h"
#include "recording_decode_callback.h"
#include "temp_dir.h"

namespace {

class DecodeNetFileTheadTest : public ::testing::Test {
protected:
    // Writes "<name>.tmp" as the download of a stored file with content and
    // returns the request for it; its entry checks only the size.
    CDecodeNetFileThead::DecodeInfo Download(int fileId, const std::string& name, const std::string& content,
                                             int zipType) {
        dir_.Write(name + ".tmp", content);
        entries_.push_back(std::make_unique<SFileTransItem>());
        entries_.back()->size = static_cast<int32_t>(content.size());
        entries_.back()->zipType = zipType;
        CDecodeNetFileThead::DecodeInfo info;
        info.fileId = fileId;
        info.source = dir_.WinPath() + std::wstring(name.begin(), name.end()) + L".tmp";
        info.destination = DecodedPathOf(info.source);
        info.entry = entries_.back().get();
        return info;
    }

    ScopedTempDir dir_;
    std::vector<std::unique_ptr<SFileTransItem>> entries_;
    RecordingDecodeCallBack callback_;
    CDecodeNetFileThead thread_;  // last: stops before the entries and the callback go
};

}  // namespace

TEST_F(DecodeNetFileTheadTest, ReportsEachResultInPostingOrderOnTheDecodeThread) {
    ASSERT_TRUE(thread_.Start());
    thread_.PostDecode(Download(1, "a.dll", "stored", kZipStored), &callback_);
    thread_.PostDecode(Download(2, "b.dll", "zlib", kZipZlib), &callback_);
    thread_.PostDecode(Download(3, "c.dll", "quiet", kZipStored), nullptr);
    thread_.PostDecode(Download(4, "d.dll", "stored too", kZipStored), &callback_);
    const auto results = callback_.WaitFor(3);
    ASSERT_EQ(results.size(), 3u);
    const int expected[][2] = {{1, 1}, {2, 0}, {4, 1}};
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].fileId, expected[i][0]);
        EXPECT_EQ(results[i].result, expected[i][1]);
        EXPECT_NE(results[i].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(ReadFileBytes(dir_.path() / "c.dll"), "quiet");
}

TEST_F(DecodeNetFileTheadTest, OtherMessagesAreIgnoredAndRequestsWithoutEntryFail) {
    ASSERT_TRUE(thread_.Start());
    thread_.PostMsg(new CVar1Msg<int>(5, 0));
    thread_.PostMsg(new CVar2Msg<int, DecodeCallBack*>(CDecodeNetFileThead::kDecodeMsgType, 9, &callback_));
    CDecodeNetFileThead::DecodeInfo info = Download(6, "e.dll", "content", kZipStored);
    info.entry = nullptr;
    thread_.PostDecode(info, &callback_);
    thread_.PostDecode(Download(7, "f.dll", "content", kZipStored), &callback_);
    const auto results = callback_.WaitFor(2);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].fileId, 6);
    EXPECT_EQ(results[0].result, 0);
    EXPECT_EQ(results[1].fileId, 7);
    EXPECT_EQ(results[1].result, 1);
}
