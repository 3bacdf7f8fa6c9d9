#include "links/serial/serial_hand_off.h"

#include <deque>
#include <mutex>
#include <vector>

namespace tessaly {

struct SerialHandOff::State {
    std::function<void(LinkBytes)> transmit;  // owner thread; empty once the hand-off is gone

    bool flushing = false;  // owner thread: a flush is under way further up the stack

    std::mutex mutex;  // guards what follows
    std::deque<std::vector<std::uint8_t>> blocks;
    std::size_t waiting = 0;  // bytes in blocks
    bool flushQueued = false;  // a flush for the loop's blocks is queued or running

    void flush() {
        // A nested flush (a write among the events TransBlock runs) would put its block in the
        // middle of the one under way; the flush under way takes it after.
        if (flushing) return;
        flushing = true;
        struct Done {
            bool& flushing;
            ~Done() { flushing = false; }
        } done{flushing};
        for (;;) {
            std::vector<std::uint8_t> block;
            {
                std::lock_guard lock(mutex);
                if (blocks.empty() || !transmit) {
                    blocks.clear();
                    waiting = 0;
                    flushQueued = false;
                    return;
                }
                block = std::move(blocks.front());
                blocks.pop_front();
                waiting -= block.size();
            }
            try {
                transmit(LinkBytes(block));
            } catch (...) {
                // An error from among the owner's events leaves through here; the next block
                // from the loop queues a flush again and takes what is left.
                std::lock_guard lock(mutex);
                flushQueued = false;
                throw;
            }
        }
    }
};

SerialHandOff::SerialHandOff(std::shared_ptr<OwnerThread> owner, std::shared_ptr<IoLoop> loop,
                             std::function<void(LinkBytes)> transmit)
    : owner_(std::move(owner)), loop_(std::move(loop)), state_(std::make_shared<State>()) {
    state_->transmit = std::move(transmit);
}

SerialHandOff::~SerialHandOff() {
    std::lock_guard lock(state_->mutex);
    state_->transmit = nullptr;
    state_->blocks.clear();
    state_->waiting = 0;
}

void SerialHandOff::write(LinkBytes block) {
    const bool fromLoop = loop_->onLoopThread();
    {
        std::lock_guard lock(state_->mutex);
        state_->blocks.emplace_back(block.begin(), block.end());
        state_->waiting += block.size();
        if (fromLoop && state_->flushQueued) return;
        if (fromLoop) state_->flushQueued = true;
    }
    if (fromLoop) {
        owner_->post([state = state_] { state->flush(); });
    } else {
        handOver(*owner_, [state = state_] { state->flush(); });
    }
}

void SerialHandOff::clear() {
    std::lock_guard lock(state_->mutex);
    state_->blocks.clear();
    state_->waiting = 0;
}

bool SerialHandOff::backlogged() const {
    std::lock_guard lock(state_->mutex);
    return state_->waiting > TcpLink::kBacklog;
}

}  // namespace tessaly
