#include "counting_connection.h"

#include <new>
#include <string>

namespace {

// Passes every call on to the real connection and every report back to the
// manager, as coming from itself, counting the response bytes on the way.
class CountingConnection : public CHttpConnection, private CConnectionCallBack {
public:
    CountingConnection(CHttpConnection* inner, std::shared_ptr<std::atomic<int64_t>> count)
        : inner_(inner), count_(std::move(count)) {}

    void SetProxy(const std::string& proxyHost, uint16_t proxyPort, const std::string& proxyUser,
                  const std::string& proxyPassword) override {
        inner_->SetProxy(proxyHost, proxyPort, proxyUser, proxyPassword);
    }
    bool DoTransfer(CConnectionCallBack* callback, const std::string& url, int32_t start, int32_t length,
                    const char* body, uint32_t bodyLength) override {
        if (callback == nullptr || inner_->IsBusy()) return false;
        outer_ = callback;
        return inner_->DoTransfer(this, url, start, length, body, bodyLength);
    }
    void Abort() override { inner_->Abort(); }
    bool IsBusy() override { return inner_->IsBusy(); }
    void Destroy() override {
        inner_->Destroy();
        delete this;
    }

private:
    ~CountingConnection() override = default;

    void OnNotify(CHttpConnection*, int32_t kind, int32_t value) override {
        outer_.load()->OnNotify(this, kind, value);
    }
    void OnSendProgress(CHttpConnection*, uint32_t bytesSent) override {
        outer_.load()->OnSendProgress(this, bytesSent);
    }
    void OnRecvData(CHttpConnection*, int32_t pos, int32_t length, const char* data) override {
        if (length > 0) *count_ += length;
        outer_.load()->OnRecvData(this, pos, length, data);
    }
    void OnSpeed(CHttpConnection*, double bytesPerMs) override { outer_.load()->OnSpeed(this, bytesPerMs); }
    void OnTransferFinished(CHttpConnection*, int32_t result) override {
        outer_.load()->OnTransferFinished(this, result);
    }

    CHttpConnection* const inner_;
    const std::shared_ptr<std::atomic<int64_t>> count_;
    // Set by DoTransfer while the real connection is idle, read by its thread.
    std::atomic<CConnectionCallBack*> outer_{nullptr};
};

}  // namespace

CHttpConnection* CountingConnectionFactory::Create(int32_t connNo) {
    CHttpConnection* inner = inner_->Create(connNo);
    if (inner == nullptr) return nullptr;
    std::shared_ptr<std::atomic<int64_t>> count;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::shared_ptr<std::atomic<int64_t>>& slot = counts_[connNo];
        if (!slot) slot = std::make_shared<std::atomic<int64_t>>(0);
        count = slot;
    }
    CHttpConnection* counting = new (std::nothrow) CountingConnection(inner, count);
    if (counting == nullptr) inner->Destroy();
    return counting;
}

int64_t CountingConnectionFactory::BytesOf(int32_t connNo) const {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = counts_.find(connNo);
    return found == counts_.end() ? 0 : found->second->load();
}

int32_t CountingConnectionFactory::Made() const {
    std::lock_guard<std::mutex> guard(lock_);
    return counts_.empty() ? 0 : counts_.rbegin()->first + 1;
}
