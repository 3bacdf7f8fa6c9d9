// The state of one open port that the serial component shares with its transmit and receive
// threads. The component creates it in PortOpen and lets go of it in PortClose; each thread keeps
// it through a std::shared_ptr until the thread has finished, so no thread ever reaches into a
// closed or destroyed component. Internal to links/.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "links/owner_thread.h"
#include "links/serial_device.h"

namespace tessaly {

class TCustomCommX;

// The component's notification target. Notices run on the owner thread and find the component
// here; the destructor (also on the owner thread) clears it, so late notices find nobody.
struct CommNoticeTarget {
    TCustomCommX* component = nullptr;
};

enum class CommNotice : std::uint8_t { Receive, Break, Error };

// An eventfd that a thread can poll next to the device; signal() wakes it.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    int fd() const { return fd_; }
    void signal();
    void drain();

private:
    int fd_;
};

struct CommSession : std::enable_shared_from_this<CommSession> {
    CommSession(std::shared_ptr<SerialDevice> device, std::shared_ptr<OwnerThread> owner,
                std::shared_ptr<CommNoticeTarget> target);

    // Sends a notice to the component and waits until the owner thread has handled it. False
    // when the owner thread has shut down.
    bool sendNotice(CommNotice notice, std::int32_t bits);
    // Queues a notice without waiting (the transmit thread's error notice: ClearTransBuf on the
    // owner thread may be waiting for that very thread).
    void postNotice(CommNotice notice, std::int32_t bits);

    // The line-error bits (overrun, parity, framing) that appeared since the last call; reading
    // resets them, whichever thread reads.
    std::int32_t takeLineErrorBits();

    // Bytes taken out of the input queue by reads and purges, counted so that the receive thread
    // can tell bytes that arrived since its last notice from bytes a handler left unread.
    void noteBytesTaken(std::int64_t count) { bytesTaken_ += count; }
    // Every byte that ever arrived, as far as can be told: taken so far plus waiting now.
    std::int64_t bytesArrived();

    // Transmit queue, owner side.
    void queueChunk(std::vector<std::uint8_t> chunk);
    std::int32_t transBufLen();
    std::int32_t transCnt();
    // Waits at most `limit` for the outstanding chunk count to drop below `bound`.
    void waitForChunkSlot(std::int32_t bound, std::chrono::milliseconds limit);
    // Transmit queue, transmit thread side: the next chunk, or nothing once stopping.
    bool nextChunk(std::vector<std::uint8_t>& chunk, bool wait);
    void finishChunk(std::size_t length);

    // Ends both threads: the transmit thread leaves its queue wait, the receive thread its poll.
    void stop();
    bool stopping() const { return stopping_.load(); }

    const std::shared_ptr<SerialDevice> device;
    const std::shared_ptr<OwnerThread> owner;
    const std::shared_ptr<CommNoticeTarget> target;

    WakeEvent receiveStop;  // wakes the receive thread's poll
    WakeEvent writeAbort;   // wakes a transmit wait for the device (purge or stop)

    // Serialises starting a device write against purging the transmit side.
    std::mutex critical1;

    // Written by the owner thread, read by the transmit thread.
    std::atomic<bool> msgClearFlg{false};
    std::atomic<std::int32_t> halfWaitTim{0};
    std::atomic<std::uint8_t> flowCtrl{0};
    std::atomic<std::int32_t> timeOutTrans{0};

private:
    std::mutex counterMutex_;  // guards transBufLen_, transCnt_ (the component's Critical2)
    std::condition_variable chunkFinished_;
    std::int32_t transBufLen_ = 0;
    std::int32_t transCnt_ = 0;

    std::mutex queueMutex_;  // guards queue_
    std::condition_variable queueChanged_;
    std::deque<std::vector<std::uint8_t>> queue_;
    std::atomic<bool> stopping_{false};

    std::atomic<std::int64_t> bytesTaken_{0};

    std::mutex errorMutex_;  // guards errorBase_
    SerialLineCounters errorBase_;
};

}  // namespace tessaly
