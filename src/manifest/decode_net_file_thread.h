// The decode thread: turns each finished download into its final file
// (decode_net_file.h), one request at a time in posting order, apart from the
// download connections and the dialog, and reports every result.
//
// Threading: PostDecode may be called from any thread. Start, Stop, Join and
// the destructor belong to the owner (the update worker). Decoding and the
// callbacks run on the decode thread only. Requests still queued when the
// thread stops are dropped without a callback.
#pragma once

#include <cstdint>
#include <string>

#include "manifest/finger_item.h"
#include "net/msg_thread.h"

// Receives the result of each decode, on the decode thread.
class DecodeCallBack {
public:
    virtual ~DecodeCallBack() = default;
    // result 1: the destination file exists and passed its check; 0: it failed.
    virtual void OnDecodeResult(int fileId, int result) = 0;
};

class CDecodeNetFileThead : public CMsgThread {
public:
    struct DecodeInfo {
        int fileId = 0;            // the download manager's id of the file
        std::wstring source;       // the downloaded file
        std::wstring destination;  // the file to create: DecodedPathOf(source)
        const SFileTransItem* entry = nullptr;  // the manifest's entry; not owned
    };
    static constexpr int32_t kDecodeMsgType = 0;
    using DecodeMsg = CVar2Msg<DecodeInfo, DecodeCallBack*>;

    CDecodeNetFileThead() = default;
    // Stops and joins the thread; queued requests are dropped.
    ~CDecodeNetFileThead() override;

    // Queues the decode of info. info.entry, and callback unless null, must
    // stay valid until the callback for it has run or the thread has stopped.
    void PostDecode(const DecodeInfo& info, DecodeCallBack* callback);

protected:
    void OnMsg(CMsg* msg) override;
};
