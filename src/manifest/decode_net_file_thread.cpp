#include "manifest/decode_net_file_thread.h"

#include "diag/trace_log.h"
#include "manifest/decode_net_file.h"

CDecodeNetFileThead::~CDecodeNetFileThead() {
    Stop(0);
    Join();
}

void CDecodeNetFileThead::PostDecode(const DecodeInfo& info, DecodeCallBack* callback) {
    PostMsg(new DecodeMsg(kDecodeMsgType, info, callback));
}

void CDecodeNetFileThead::OnMsg(CMsg* msg) {
    auto* request = msg->GetType() == kDecodeMsgType ? dynamic_cast<DecodeMsg*>(msg) : nullptr;
    if (request == nullptr) {
        DownLogWar("CDecodeNetFileThead unknow msg:%d", msg->GetType());
        return;
    }
    const DecodeInfo& info = request->var1;
    int result = 0;
    if (info.entry != nullptr) {
        result = DecodeNetFile(info.fileId, info.source, info.destination, *info.entry);
    } else {
        DownLogErr("decode request without file entry! fileid:%d", info.fileId);
    }
    if (request->var2 != nullptr) request->var2->OnDecodeResult(info.fileId, result);
}
