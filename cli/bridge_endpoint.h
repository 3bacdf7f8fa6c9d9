// One side of the headless bridge: the TCP link or the serial component its address names, opened,
// written and closed as the window does it, and the back-off that spaces out attempts to open it
// again after it was lost.
//
// Owner thread only (the bridge loop's thread): every call, and the received blocks, which come
// through the OwnerThread seam. The loop must outlive the endpoint's link threads (the bridge
// shuts the loop down before it goes away).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "links/owner_loop.h"
#include "cli/endpoint_address.h"
#include "links/comm_x.h"
#include "links/link_routing.h"
#include "links/tcp_link.h"

namespace tessaly {

// Waits between attempts to open a lost link: the first after 0.5 s, each next one twice as
// long, at most 8 s; an open that succeeds starts again at 0.5 s.
class ReconnectBackoff {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirst{500};
    static constexpr std::chrono::milliseconds kLongest{8000};

    // The link went away or an attempt failed at `now`: returns the delay until the next attempt.
    std::chrono::milliseconds failed(Clock::time_point now);
    void succeeded() { delay_ = kFirst; }
    bool due(Clock::time_point now) const { return now >= retryAt_; }
    Clock::time_point retryAt() const { return retryAt_; }

private:
    std::chrono::milliseconds delay_ = kFirst;
    Clock::time_point retryAt_{};
};

class BridgeEndpoint {
public:
    // `isInput` picks the link's block cap and texts as the window has them (1024 for input, 2048
    // for output). `blockReceived` gets every block read, in order, on the owner thread.
    // `pumpEventsFor` lets time pass while a TCP connect waits.
    BridgeEndpoint(EndpointAddress address, bool isInput, std::shared_ptr<OwnerLoop> loop,
                   std::function<void(LinkBytes)> blockReceived, std::function<void(std::uint32_t)> pumpEventsFor);
    ~BridgeEndpoint();

    // One attempt. On failure returns false and sets `error` to one line.
    bool open(std::string& error);
    void close();
    bool isOpen() const;
    // True when the link was open and is not any more (the peer closed, the device went away),
    // until close() or open() is called.
    bool lost() const;

    // The writers for the router: the slot of this endpoint's kind writes to it, the other slot
    // is never open.
    LinkWriter serialWriter();
    LinkWriter tcpWriter();

    const EndpointAddress& address() const { return address_; }
    ReconnectBackoff& backoff() { return backoff_; }

private:
    void serialReceive(std::int32_t receiveSize);

    EndpointAddress address_;
    std::shared_ptr<OwnerLoop> loop_;
    std::function<void(LinkBytes)> blockReceived_;
    std::unique_ptr<TcpLink> tcp_;
    std::unique_ptr<TCommX> serial_;
    bool wasOpen_ = false;
    bool deviceLost_ = false;
    ReconnectBackoff backoff_;
};

}  // namespace tessaly
