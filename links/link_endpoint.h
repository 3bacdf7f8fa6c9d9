// One link of the program, of any kind (a serial port at a bit rate, or a TCP client): its open
// and close, its reader, its writer for the routing, and, when the link is lost while the user
// wants it open, its reopening with back-off. The window and the headless bridge each hold one
// per side and put their own texts on top; the state changes reach them through one notice.
//
// Owner thread only: every call, the received blocks and the notices. The link threads hand
// their blocks over through the OwnerThread seam, which must outlive them (the program shuts it
// down before it goes away).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "links/comm_x.h"
#include "links/link_address.h"
#include "links/link_routing.h"
#include "links/owner_thread.h"
#include "links/reconnect_backoff.h"
#include "links/tcp_link.h"
#include "links/tcp_server_link.h"

namespace tessaly {

enum class LinkState {
    Closed,        // the user has not opened it, or closed it
    Open,          // bytes flow
    Reconnecting,  // lost while wanted open; the next attempt is due at nextAttempt()
};

// What changed, for the program to show.
struct LinkNotice {
    enum class What {
        Lost,         // the peer closed or reset, the device went away
        RetryFailed,  // an attempt to open it again failed
        Reopened,
    } what;
    std::string error;                  // one line; empty when the peer closed in order
    std::chrono::milliseconds retryIn{0};  // Lost and RetryFailed while reconnecting
};

struct LinkEndpointHooks {
    // Every block read, in order, never empty.
    std::function<void(LinkBytes block)> blockReceived;
    std::function<void(const LinkNotice& notice)> noticed;
    // A listening link only: a client came (`connected`, the text is its "address:port"), or one
    // line about a client that left, was dropped or was refused. May be left empty.
    std::function<void(bool connected, const std::string& text)> clientNoticed;
    // Lets the program go on with its events while a TCP connect waits, for at most the time
    // given; and while a full serial transmit queue drains.
    std::function<void(std::uint32_t maxMs)> pumpEventsFor;
    std::function<void()> processEvents;
};

class LinkEndpoint {
public:
    using Clock = ReconnectBackoff::Clock;
    // What a listening output holds for one rover before it gives the rover up: many minutes of a
    // two-channel L6 stream, so only a rover that has stopped reading is let go.
    static constexpr std::size_t kServedQueueCap = 1 << 20;

    // `isInput` picks the block cap and texts of the side (1024 for input, 2048 for output).
    LinkEndpoint(bool isInput, std::shared_ptr<OwnerThread> owner, LinkEndpointHooks hooks);
    ~LinkEndpoint();
    LinkEndpoint(const LinkEndpoint&) = delete;
    LinkEndpoint& operator=(const LinkEndpoint&) = delete;

    // While lost, the user's wish that it be open is kept and it is opened again with back-off;
    // without, a lost link is closed and reported once.
    void setReconnect(bool on) { reconnect_ = on; }

    // Closes what is open, then one attempt at `address`. On failure returns false with one line
    // in `error`, and the link is closed.
    bool open(const LinkAddress& address, std::string& error);
    // For a station that starts before its peers: one attempt now, and when it fails the link is
    // kept wanted and tried again with back-off (a RetryFailed notice says so).
    void openOrRetry(const LinkAddress& address, Clock::time_point now);
    // The user's close: no more attempts. Never fails.
    void close();
    // From the program's timer: notices a lost link and opens it again when its attempt is due.
    void supervise(Clock::time_point now);

    LinkState state() const { return state_; }
    bool isOpen() const;
    // Open, or lost and being reopened: what the user asked for and the settings record.
    bool wanted() const { return state_ != LinkState::Closed; }
    // The address of the last open, also after a close.
    const LinkAddress& address() const { return address_; }
    std::optional<Clock::time_point> nextAttempt() const;

    LinkWriter writer();
    // The components underneath, for the window's tests and tools.
    TCommX& serial() { return *serial_; }
    TcpLink& tcp() { return *tcp_; }
    const TcpServerLink& server() const { return *server_; }

private:
    bool attempt(std::string& error);
    void shut();
    void serialReceive(std::int32_t receiveSize);
    void lost(Clock::time_point now);
    void retryLater(const std::string& error, Clock::time_point now);

    std::shared_ptr<OwnerThread> owner_;
    LinkEndpointHooks hooks_;
    std::unique_ptr<TcpLink> tcp_;
    std::unique_ptr<TcpServerLink> server_;
    std::unique_ptr<TCommX> serial_;
    std::vector<std::uint8_t> scratch_;  // a serial read's buffer
    LinkAddress address_;
    LinkState state_ = LinkState::Closed;
    bool reconnect_ = true;
    bool deviceLost_ = false;   // the serial component said so
    std::string readerError_;   // the TCP reader's last failure, for the notice
    ReconnectBackoff backoff_;
};

}  // namespace tessaly
