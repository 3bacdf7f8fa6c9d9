// The state of one open port that the serial component shares with its work on the links' I/O
// loop: the receive watch and the transmitter. The component creates it in PortOpen and lets go
// of it in PortClose; the loop's pending operations keep it through a std::shared_ptr until they
// have ended, so nothing on the loop ever reaches into a closed or destroyed component.
//
// The session holds nothing that is bound to the loop (descriptors, timers): those belong to the
// watch and the transmitter, which only their own pending operations keep. A notice waiting on
// the owner thread may keep the session, and so never keeps the loop's objects past the loop.
// Internal to links/.
#pragma once

#include <asio/io_context.hpp>

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
#include "links/serial/serial_device.h"

namespace tessaly {

class TCustomCommX;
class CommReceiveWatch;
class CommTransmitter;

// The component's notification target. Notices run on the owner thread and find the component
// here; the destructor (also on the owner thread) clears it, so late notices find nobody.
struct CommNoticeTarget {
    TCustomCommX* component = nullptr;
};

enum class CommNotice : std::uint8_t { Receive, Break, Error };

struct CommSession : std::enable_shared_from_this<CommSession> {
    CommSession(std::shared_ptr<SerialDevice> device, std::shared_ptr<OwnerThread> owner,
                std::shared_ptr<CommNoticeTarget> target, asio::io_context& io);

    // Queues a notice for the component on the owner thread and returns at once. Once the owner
    // has handled it, and only while the component still has this port open, `handled` is
    // posted to the loop; after a close or the owner's shutdown it never runs.
    void sendNotice(CommNotice notice, std::int32_t bits, std::function<void()> handled = {});

    // The line-error bits (overrun, parity, framing) that appeared since the last call; reading
    // resets them, whichever thread reads.
    std::int32_t takeLineErrorBits();

    // Bytes taken out of the input queue by reads and purges, counted so that the receive watch
    // can tell bytes that arrived since its last notice from bytes a handler left unread.
    void noteBytesTaken(std::int64_t count) { bytesTaken_ += count; }
    // Every byte that ever arrived, as far as can be told: taken so far plus waiting now.
    std::int64_t bytesArrived();

    // Transmit queue, owner side. queueChunk tells the transmitter on the loop.
    void queueChunk(std::vector<std::uint8_t> chunk);
    std::int32_t transBufLen();
    std::int32_t transCnt();
    // Waits at most `limit` for the outstanding chunk count to drop below `bound`.
    void waitForChunkSlot(std::int32_t bound, std::chrono::milliseconds limit);
    // Owner side of a purge: a write waiting for the device goes on at once and, finding
    // msgClearFlg, lets its chunk go.
    void endTransmitWait();
    // Transmit queue, loop side: the next chunk, or nothing.
    bool nextChunk(std::vector<std::uint8_t>& chunk);
    void finishChunk(std::size_t length);

    // A duplicate of the device's descriptor for the loop to wait on, which closes it when the
    // wait's owner ends; the device keeps its own. Throws std::system_error.
    int waitDescriptor() const;

    // Ends the port's operations on the loop: a wait under way ends, none starts after it.
    void stop();
    bool stopping() const { return stopping_.load(); }

    const std::shared_ptr<SerialDevice> device;
    const std::shared_ptr<OwnerThread> owner;
    const std::shared_ptr<CommNoticeTarget> target;
    // Only used while the component holds the session (it holds the loop too) or on the loop.
    asio::io_context& io;
    // Set by the component on the owner thread as it starts them; posts to the loop carry
    // copies. Weak: only their own pending operations may keep them.
    std::weak_ptr<CommReceiveWatch> receiveWatch;
    std::weak_ptr<CommTransmitter> transmitter;

    // Serialises starting a device write against purging the transmit side.
    std::mutex critical1;

    // Written by the owner thread, read on the loop.
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
    std::deque<std::vector<std::uint8_t>> queue_;
    std::atomic<bool> stopping_{false};

    std::atomic<std::int64_t> bytesTaken_{0};

    std::mutex errorMutex_;  // guards errorBase_
    SerialLineCounters errorBase_;
};

}  // namespace tessaly
