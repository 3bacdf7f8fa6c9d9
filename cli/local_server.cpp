#include "cli/local_server.h"

namespace tessaly {
namespace {

// A simulator's client may take a while to catch up with a fast rate before it counts as not
// reading; a block read at once is as large as a busy relay sends.
constexpr std::size_t kClientQueueCap = 8 * 1024 * 1024;
constexpr std::size_t kBlockCap = 64 * 1024;

}  // namespace

LocalServer::LocalServer(std::string name, std::ostream& err)
    : name_(std::move(name)), err_(err), signals_([this] { stopRequested_.set_value(); }) {}

bool LocalServer::listen(std::uint16_t port, Handlers handlers, const std::function<void()>& started,
                         std::string& error) {
    handlers_ = std::move(handlers);
    TcpServerHandlers served;
    served.clientCame = [this](TcpClientId client, const std::string& peer) { came(client, peer); };
    served.clientBlock = [this](TcpClientId client, LinkBytes block) { handlers_.received(client, block); };
    served.clientLeft = [this](TcpClientId client, bool dropped) { left(client, dropped); };
    server_ = std::make_unique<TcpServerLink>(TcpServerConfig{false, kBlockCap, kClientQueueCap}, loop_, owner_,
                                              std::move(served));
    bool listening = false;
    owner_->runAndWait([&] {
        listening = server_->listen("127.0.0.1", port, error);
        if (listening) started();
    });
    return listening;
}

void LocalServer::came(TcpClientId client, const std::string& peer) {
    peers_[client] = peer;
    err_ << name_ << ": client " << peer << " connected" << std::endl;
    handlers_.came(client);
}

void LocalServer::left(TcpClientId client, bool dropped) {
    handlers_.left(client);
    err_ << name_ << ": client " << peers_[client] << (dropped ? " dropped (not reading)" : " disconnected") << std::endl;
    peers_.erase(client);
}

void LocalServer::repeat(Clock::time_point first, std::function<Clock::time_point()> tick) {
    tickAt(std::make_shared<asio::steady_timer>(loop_->context(), first), std::move(tick));
}

// The timer lives in its own wait: one still waiting when the loop ends goes with the loop.
void LocalServer::tickAt(const std::shared_ptr<asio::steady_timer>& timer, std::function<Clock::time_point()> tick) {
    timer->async_wait([this, timer, tick = std::move(tick)](const asio::error_code& error) mutable {
        if (error || stopped_) return;
        timer->expires_at(tick());
        tickAt(timer, std::move(tick));
    });
}

void LocalServer::runUntilStopped() {
    stopRequested_.get_future().wait();
    owner_->runAndWait([this] {
        stopped_ = true;
        server_->close();
    });
    owner_->shutdown();
}

}  // namespace tessaly
