// The receive watch of an open serial port, on the links' I/O loop. It reads no data: it waits
// until the device is readable and turns what it finds (line errors, a break, bytes, a hang-up)
// into notices on the owner thread, where OnError, OnBreak and OnReceive run and OnReceive
// fetches the bytes with ReceiveBlock. Each notice goes to the owner without the loop waiting
// for it; the watch goes on, on the loop, only once the owner has handled it, so notices keep
// their order and never pile up, and the loop stays free for the other links meanwhile.
//
// Only its own pending operations keep the watch (while a notice is out, a parked timer does);
// the session's stop() ends them. Internal to links/.
#pragma once

#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <memory>

#include "links/serial/comm_session.h"

namespace tessaly {

class CommReceiveWatch : public std::enable_shared_from_this<CommReceiveWatch> {
public:
    // Owner thread: makes the watch and starts it on the loop. Throws std::system_error when the
    // device cannot be waited for.
    static std::shared_ptr<CommReceiveWatch> start(const std::shared_ptr<CommSession>& session);

    explicit CommReceiveWatch(std::shared_ptr<CommSession> session);

    // Loop thread: ends the wait under way; nothing follows.
    void stop();

private:
    // What a wake-up still has to tell the owner, in this order.
    enum class Step : std::uint8_t { LineErrors, Break, Received, Lost, Wait };

    void wait();
    void woke(bool failed);
    void advance();
    void notify(CommNotice notice, std::int32_t bits);

    std::shared_ptr<CommSession> session_;
    // A duplicate of the device's descriptor: the loop closes its own when the watch ends, and
    // the device keeps the original.
    asio::posix::stream_descriptor readable_;
    asio::steady_timer recheck_;  // while bytes a handler left unread sit in the queue
    asio::steady_timer handled_;  // parked while a notice is out on the owner thread
    Step step_ = Step::Wait;
    bool hungUp_ = false;      // seen at the last wake-up
    bool deviceLost_ = false;  // said once; only the close is left to wait for
    std::int64_t announced_ = 0;  // bytes arrived up to the last receive notice
    std::int64_t breaks_ = 0;
};

}  // namespace tessaly
