// Counts the response bytes each connection of a download manager receives,
// so that a run can say how much every server gave. It stands between the
// manager and the real connections and passes everything on unchanged.
//
// Threading: Create is called as CHttpConnectionFactory requires; the counts
// grow on the connections' threads and may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "net/http_connection.h"

class CountingConnectionFactory : public CHttpConnectionFactory {
public:
    // inner makes the real connections and must outlive this factory's.
    explicit CountingConnectionFactory(CHttpConnectionFactory* inner) : inner_(inner) {}

    // Returns a counting connection around inner's connection numbered
    // connNo, or null when inner makes none. A later connection with the
    // same number counts on into the same total.
    CHttpConnection* Create(int32_t connNo) override;
    // Response bytes received by the connections numbered connNo; 0 for none.
    int64_t BytesOf(int32_t connNo) const;
    // One more than the highest connection number made; 0 before the first.
    int32_t Made() const;

private:
    CHttpConnectionFactory* const inner_;
    mutable std::mutex lock_;
    std::map<int32_t, std::shared_ptr<std::atomic<int64_t>>> counts_;
};
