#include "station/station_links.h"

#include <algorithm>

namespace tessaly {

StationLinks::StationLinks(std::size_t outputs, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                           StationLinksHooks hooks)
    : hooks_(std::move(hooks)) {
    input_ = std::make_unique<LinkEndpoint>(true, loop, owner, hooksOf(0));
    std::vector<LinkWriter> outputWriters;
    for (std::size_t i = 0; i < std::max<std::size_t>(outputs, 1); ++i) {
        auto output = std::make_unique<Output>();
        output->endpoint = std::make_unique<LinkEndpoint>(false, loop, owner, hooksOf(i + 1));
        LinkWriter writer = output->endpoint->writer();
        outputWriters.push_back({writer.isOpen,
                                 [&counted = output->bytesWritten, write = writer.write](LinkBytes block) {
                                     counted += block.size();
                                     write(block);
                                 },
                                 writer.backlogged});
        outputs_.push_back(std::move(output));
    }
    router_ = std::make_unique<LinkRouter>(std::vector{input_->writer()}, std::move(outputWriters));
}

LinkEndpointHooks StationLinks::hooksOf(std::size_t side) {
    LinkEndpointHooks hooks;
    if (side == 0) {
        hooks.blockRead = [this](LinkBytes block) { relayFromInput(block); };
        // An output whose peer reads slowly is fed every byte: the receiver is read no faster.
        hooks.holdReading = [this] { return router_->OutputBacklogged(); };
        hooks.watch = hooks_.watchInput;
        if (hooks_.inputSkipped) hooks.watchSkipped = [this](std::uint64_t) { hooks_.inputSkipped(); };
        hooks.watchBatchDone = hooks_.inputBatchDone;
    } else {
        hooks.blockRead = [this, index = side - 1](LinkBytes block) { relayFromOutput(index, block); };
        if (side == 1) hooks.holdReading = [this] { return router_->InputBacklogged(); };
        // Only the first output's receiver is the station's rover; the others are watched by nobody.
        if (side == 1) {
            hooks.watch = hooks_.watchReturn;
            if (hooks_.returnSkipped) hooks.watchSkipped = [this](std::uint64_t) { hooks_.returnSkipped(); };
        }
    }
    if (hooks_.noticed) hooks.noticed = [this, side](const LinkNotice& notice) { hooks_.noticed(side, notice); };
    if (hooks_.clientNoticed) {
        hooks.clientNoticed = [this, side](bool connected, const std::string& text) {
            hooks_.clientNoticed(side, connected, text);
        };
    }
    hooks.processEvents = hooks_.processEvents;
    return hooks;
}

void StationLinks::relayFromInput(LinkBytes block) {
    bytesToOutputs_ += block.size();
    router_->ForwardToOutput(block);
}

void StationLinks::relayFromOutput(std::size_t index, LinkBytes block) {
    const bool served = outputs_[index]->endpoint->kind() == LinkAddress::Kind::TcpServer;
    if (index == 0 && (!served || returnFromServed_)) {
        bytesToInput_ += block.size();
        router_->ForwardToInput(block);
    } else {
        bytesNotReturned_ += block.size();
    }
}

std::vector<LinkEndpoint*> StationLinks::all() {
    std::vector<LinkEndpoint*> links{input_.get()};
    for (const auto& output : outputs_) links.push_back(output->endpoint.get());
    return links;
}

void StationLinks::supervise(Clock::time_point now) {
    for (LinkEndpoint* link : all()) link->supervise(now);
}

std::optional<StationLinks::Clock::time_point> StationLinks::nextAttempt() const {
    std::optional<Clock::time_point> next = input_->nextAttempt();
    for (const auto& output : outputs_) {
        if (const auto at = output->endpoint->nextAttempt()) next = next ? std::min(*next, *at) : *at;
    }
    return next;
}

void StationLinks::closeAll() {
    for (LinkEndpoint* link : all()) link->close();
}

void StationLinks::watchTheRest() {
    for (LinkEndpoint* link : all()) link->watchTheRest();
}

std::uint64_t StationLinks::bytesNotReturned() const {
    std::uint64_t total = bytesNotReturned_;
    // A listening output's clients after the first are read by its server alone.
    for (const auto& output : outputs_) {
        if (output->endpoint->kind() == LinkAddress::Kind::TcpServer) {
            total += output->endpoint->server().bytesNotForwarded();
        }
    }
    return total;
}

std::uint64_t StationLinks::watchSkipped() const { return input_->watchSkipped() + outputs_.front()->endpoint->watchSkipped(); }

}  // namespace tessaly
