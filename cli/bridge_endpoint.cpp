#include "cli/bridge_endpoint.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace tessaly {

std::chrono::milliseconds ReconnectBackoff::failed(Clock::time_point now) {
    const std::chrono::milliseconds wait = delay_;
    retryAt_ = now + wait;
    delay_ = std::min(delay_ * 2, kLongest);
    return wait;
}

BridgeEndpoint::BridgeEndpoint(EndpointAddress address, bool isInput, std::shared_ptr<OwnerLoop> loop,
                               std::function<void(LinkBytes)> blockReceived,
                               std::function<void(std::uint32_t)> pumpEventsFor)
    : address_(std::move(address)), loop_(std::move(loop)), blockReceived_(std::move(blockReceived)) {
    if (address_.kind == EndpointAddress::Kind::Tcp) {
        TcpLinkHandlers handlers;
        handlers.blockReceived = [this](LinkBytes block) { blockReceived_(block); };
        // The link closes itself on a failure; the bridge finds it lost and says so.
        handlers.readerFailed = [](const std::string&) {};
        handlers.pumpEventsFor = std::move(pumpEventsFor);
        TcpLinkConfig config{isInput ? 1024u : 2048u, isInput ? "TCP " : "TCP2 "};
        tcp_ = std::make_unique<TcpLink>(config, loop_, handlers);
        return;
    }
    CommEnvironment environment;
    environment.owner = loop_;
    environment.processEvents = [this] { loop_->processPending(); };
    serial_ = std::make_unique<TCommX>(environment);
    serial_->SetPortNo(address_.portNo);
    serial_->SetBitRate(address_.bitRate);
    serial_->SetOnReceive([this](TCustomCommX&, std::int32_t size) { serialReceive(size); });
    serial_->SetOnError([this](TCustomCommX&, std::int32_t bits) {
        if (bits & kCommErrDeviceLost) deviceLost_ = true;
    });
}

BridgeEndpoint::~BridgeEndpoint() { close(); }

bool BridgeEndpoint::open(std::string& error) {
    close();
    if (tcp_) {
        if (!tcp_->TcpConnect(address_.host, address_.tcpPort)) {
            error = "cannot connect to " + endpointAddressText(address_);
            return false;
        }
    } else {
        try {
            serial_->PortOpen();
        } catch (const std::exception& e) {
            error = "cannot open " + endpointAddressText(address_) + ": " + e.what();
            return false;
        }
    }
    wasOpen_ = true;
    return true;
}

void BridgeEndpoint::close() {
    if (tcp_) tcp_->TcpClose();
    if (serial_) serial_->PortClose();
    wasOpen_ = false;
    deviceLost_ = false;
}

bool BridgeEndpoint::isOpen() const {
    if (tcp_) return tcp_->connected();
    return serial_->Handle() != TCustomCommX::kInvalidHandle && !deviceLost_;
}

bool BridgeEndpoint::lost() const { return wasOpen_ && !isOpen(); }

LinkWriter BridgeEndpoint::serialWriter() {
    if (!serial_) return LinkWriter{[] { return false; }, [](LinkBytes) {}};
    // A full transmit queue waits with the loop's tasks running, and later blocks wait behind
    // it, so no block overtakes another.
    return LinkWriter{[this] { return isOpen(); },
                      [this](LinkBytes block) {
                          serial_->TransBlock(block.data(), static_cast<std::int32_t>(block.size()));
                      }};
}

LinkWriter BridgeEndpoint::tcpWriter() {
    if (!tcp_) return LinkWriter{[] { return false; }, [](LinkBytes) {}};
    return LinkWriter{[this] { return tcp_->connected(); }, [this](LinkBytes block) { tcp_->TcpWrite(block); }};
}

void BridgeEndpoint::serialReceive(std::int32_t receiveSize) {
    // Everything waiting is read and handed on, a buffer at a time: dropping the rest would lose
    // corrections.
    std::int32_t waiting = receiveSize;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(std::max(serial_->BufLenReceive(), 1)) + 1);
    while (waiting > 0 && isOpen()) {
        const std::int32_t want = std::min(waiting, std::max(serial_->BufLenReceive(), 1));
        const std::int32_t got = serial_->ReceiveBlock(scratch.data(), want);
        if (got <= 0) return;
        blockReceived_(LinkBytes(scratch.data(), static_cast<std::size_t>(got)));
        waiting -= got;
    }
}

}  // namespace tessaly
