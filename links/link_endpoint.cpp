#include "links/link_endpoint.h"

#include "links/ntrip/ntrip_link.h"
#include "links/serial/comm_error.h"
#include "links/serial/port_map.h"
#include "links/serial/serial_open_failure.h"

#include <algorithm>
#include <exception>

namespace tessaly {

std::string linkAddressText(const LinkAddress& address) {
    const std::string hostPort = address.host + ":" + std::to_string(address.tcpPort);
    switch (address.kind) {
    case LinkAddress::Kind::Tcp: return "tcp:" + hostPort;
    case LinkAddress::Kind::Serial: break;
    case LinkAddress::Kind::TcpServer: return "tcpsvr:" + hostPort;
    case LinkAddress::Kind::NtripClient:
        return "ntrip://" + (address.user.empty() ? "" : address.user + "@") + hostPort + "/" + address.mount;
    case LinkAddress::Kind::NtripServer:
        return "ntrips://" + (address.user.empty() ? "" : address.user + "@") + hostPort + "/" + address.mount;
    }
    const std::string port = address.device.empty() ? "COM" + std::to_string(address.portNo) : address.device;
    return "serial:" + port + "@" + std::to_string(address.bitRate);
}

LinkEndpoint::LinkEndpoint(bool isInput, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                           LinkEndpointHooks hooks)
    : owner_(std::move(owner)), hooks_(std::move(hooks)) {
    if (hooks_.watch) feed_ = std::make_unique<MonitorFeed>(owner_, MonitorFeedHooks{hooks_.watch, hooks_.watchSkipped, hooks_.watchBatchDone});
    TcpLinkHandlers handlers;
    handlers.blockReceived = [this](LinkBytes block) { read(block); };
    // The link has closed itself; the next supervision finds it lost and tells why.
    handlers.readerFailed = [this](const std::string& text) { readerError_ = text; };
    handlers.holdReading = hooks_.holdReading;
    tcp_ = std::make_unique<TcpLink>(TcpLinkConfig{kReadCap, isInput ? "TCP " : "TCP2 "}, loop, owner_, handlers);

    TcpServerHandlers served;
    served.blockReceived = handlers.blockReceived;
    served.holdReading = hooks_.holdReading;
    served.clientConnected = [this](const std::string& peer) {
        if (hooks_.clientNoticed) hooks_.clientNoticed(true, peer);
    };
    served.clientNote = [this](const std::string& text) {
        if (hooks_.clientNoticed) hooks_.clientNoticed(false, text);
    };
    server_ = std::make_unique<TcpServerLink>(TcpServerConfig{isInput, kReadCap, kServedQueueCap}, loop, owner_,
                                              std::move(served));

    CommEnvironment environment;
    environment.owner = owner_;
    environment.loop = loop;
    environment.processEvents = hooks_.processEvents;
    // A device named by its path is opened as it is; a number goes through the port map.
    environment.portPath = [this](std::int32_t portNo) {
        return address_.device.empty() ? portDevicePath(portNo) : address_.device;
    };
    serial_ = std::make_unique<TCommX>(environment);
    serial_->SetOnReceive([this](TCustomCommX&, std::int32_t size) { serialReceive(size); });
    serial_->SetOnError([this](TCustomCommX&, std::int32_t bits) {
        if (!(bits & kCommErrDeviceLost)) return;
        deviceLost_ = true;
        serialWritable_ = false;
    });
    serialHandOff_ = std::make_unique<SerialHandOff>(owner_, loop, [this](LinkBytes block) {
        if (serialWritable_) serial_->TransBlock(block.data(), static_cast<std::int32_t>(block.size()));
    });
}

void LinkEndpoint::read(LinkBytes block) {
    hooks_.blockRead(block);
    if (feed_) feed_->push(block);
}

LinkEndpoint::~LinkEndpoint() { shut(); }

bool LinkEndpoint::isOpen() const {
    if (address_.kind == LinkAddress::Kind::TcpServer) return server_->listening();
    if (address_.kind != LinkAddress::Kind::Serial) return tcp_->connected();
    return serial_->Handle() != TCustomCommX::kInvalidHandle && !deviceLost_;
}

std::optional<LinkEndpoint::Clock::time_point> LinkEndpoint::nextAttempt() const {
    if (state_ != LinkState::Reconnecting) return std::nullopt;
    return backoff_.retryAt();
}

void LinkEndpoint::open(const LinkAddress& address, Opened opened) {
    shut();
    watchTheRest();
    address_ = address;
    writeKind_ = address.kind;
    backoff_.succeeded();
    state_ = LinkState::Opening;
    attempt([this, opened = std::move(opened)](const std::string& error) {
        state_ = error.empty() ? LinkState::Open : LinkState::Closed;
        opened(error);
    });
}

void LinkEndpoint::openOrRetry(const LinkAddress& address, Opened opened) {
    open(address, [this, opened = std::move(opened)](const std::string& error) {
        if (error.empty()) return opened(error);
        state_ = LinkState::Reconnecting;
        opened(error);
        // Unless what the program did with the outcome closed or opened the link meanwhile.
        if (state_ == LinkState::Reconnecting && !attempting_) retryLater(error, Clock::now());
    });
}

void LinkEndpoint::close() {
    ++attempts_;
    attempting_ = false;
    shut();
    watchTheRest();
    state_ = LinkState::Closed;
}

void LinkEndpoint::attempt(Opened finished) {
    deviceLost_ = false;
    readerError_.clear();
    const std::uint64_t number = ++attempts_;
    attempting_ = true;
    // Said once, unless a close or a later attempt came first.
    auto done = [this, number, finished = std::move(finished)](const std::string& error) {
        if (number != attempts_) return;
        attempting_ = false;
        finished(error);
    };
    const bool ntrip = address_.kind == LinkAddress::Kind::NtripClient || address_.kind == LinkAddress::Kind::NtripServer;
    if (address_.kind == LinkAddress::Kind::Tcp || ntrip) {
        const std::string where = linkAddressText(address_);
        TcpOpener opener;
        if (ntrip) {
            const NtripMount at{address_.host, address_.tcpPort, address_.mount, address_.user, address_.password};
            opener = address_.kind == LinkAddress::Kind::NtripClient ? ntripClientOpener(at, where) : ntripServerOpener(at, where);
        }
        tcp_->TcpConnect(address_.host, address_.tcpPort, std::move(opener), [this, where, done](bool connected) {
            if (connected) return done({});
            if (!tcp_->openingError().empty()) return done(tcp_->openingError());
            const std::string& why = tcp_->connectError();
            done("cannot connect to " + where + (why.empty() ? "" : ": " + why));
        });
        return;
    }
    std::string error;
    if (address_.kind == LinkAddress::Kind::TcpServer) {
        server_->listen(address_.host, address_.tcpPort, error);
        return done(error);
    }
    try {
        serial_->SetPortNo(address_.portNo);
        serial_->SetBitRate(address_.bitRate);
        serial_->PortOpen();
        serialWritable_ = true;
    } catch (const std::exception& e) {
        error = "cannot open " + linkAddressText(address_) + ": " + e.what();
        // The component's own words say that it failed; the file system says why.
        if (std::string_view(e.what()) == comm_message::kCouldNotOpen) {
            const bool mapped = address_.device.empty();
            error += " (" + serialOpenFailure(mapped ? portDevicePath(address_.portNo) : address_.device, mapped) + ")";
        }
    }
    done(error);
}

void LinkEndpoint::shut() {
    serialWritable_ = false;
    serialHandOff_->clear();
    tcp_->TcpClose();
    server_->close();
    serial_->PortClose();
    deviceLost_ = false;
}

void LinkEndpoint::supervise(Clock::time_point now) {
    if (state_ == LinkState::Open && !isOpen()) lost(now);
    if (state_ != LinkState::Reconnecting || attempting_ || !backoff_.due(now)) return;
    // The back-off counts from when the attempt began, as the supervision's clock has it.
    attempt([this, now](const std::string& error) {
        if (!error.empty()) return retryLater(error, now);
        state_ = LinkState::Open;
        backoff_.succeeded();
        hooks_.noticed({LinkNotice::What::Reopened, {}, {}});
    });
}

void LinkEndpoint::retryLater(const std::string& error, Clock::time_point now) {
    shut();
    const auto wait = backoff_.failed(now);
    hooks_.noticed({LinkNotice::What::RetryFailed, error, wait});
}

void LinkEndpoint::lost(Clock::time_point now) {
    std::string error = readerError_;
    if (error.empty() && deviceLost_) {
        error = (address_.device.empty() ? "COM" + std::to_string(address_.portNo) : address_.device) +
                ": the device went away";
    }
    shut();
    // The last bytes before the loss are watched before the program hears of it.
    watchTheRest();
    // Set before the notice: what the program does with it may open or close the link.
    if (!reconnect_) {
        state_ = LinkState::Closed;
        hooks_.noticed({LinkNotice::What::Lost, error, {}});
        return;
    }
    state_ = LinkState::Reconnecting;
    const auto wait = backoff_.failed(now);
    hooks_.noticed({LinkNotice::What::Lost, error, wait});
}

bool LinkEndpoint::writable() const {
    switch (writeKind_.load()) {
    case LinkAddress::Kind::Serial: return serialWritable_;
    case LinkAddress::Kind::TcpServer: return server_->listening();
    default: return tcp_->connected();
    }
}

LinkWriter LinkEndpoint::writer() {
    return LinkWriter{[this] { return writable(); },
                      [this](LinkBytes block) {
                          switch (writeKind_.load()) {
                          case LinkAddress::Kind::Serial: serialHandOff_->write(block); break;
                          case LinkAddress::Kind::TcpServer: server_->write(block); break;
                          default: tcp_->TcpWrite(block); break;
                          }
                      },
                      // A listening output drops a rover that falls behind instead: one slow
                      // rover must not slow the others.
                      [this] {
                          switch (writeKind_.load()) {
                          case LinkAddress::Kind::Serial: return serialHandOff_->backlogged();
                          case LinkAddress::Kind::TcpServer: return false;
                          default: return tcp_->backlogged();
                          }
                      }};
}

void LinkEndpoint::serialReceive(std::int32_t receiveSize) {
    // More may wait than one buffer holds (a fast line, or an owner that was busy for a moment):
    // all of it is read and handed on, a buffer at a time. Dropping it would lose corrections.
    std::int32_t waiting = receiveSize;
    constexpr auto cap = static_cast<std::int32_t>(kReadCap);
    scratch_.resize(kReadCap);
    while (waiting > 0 && isOpen()) {
        const std::int32_t got = serial_->ReceiveBlock(scratch_.data(), std::min(waiting, cap));
        if (got <= 0) return;
        read(LinkBytes(scratch_.data(), static_cast<std::size_t>(got)));
        waiting -= got;
    }
}

}  // namespace tessaly
