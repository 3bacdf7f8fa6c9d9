#include "links/monitor_feed.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace tessaly {
namespace {

// What one posted take hands on before it lets the owner's other events run.
constexpr std::size_t kTakeBudget = 256 * 1024;

}  // namespace

struct MonitorFeed::State {
    struct Gap {
        std::uint64_t at;     // stream position (bytes queued before it)
        std::uint64_t bytes;  // skipped there
    };

    State(MonitorFeedHooks h, std::size_t c) : hooks(std::move(h)), cap(std::max<std::size_t>(c, kBlockCap)) {}

    const MonitorFeedHooks hooks;
    const std::size_t cap;
    mutable std::mutex mutex;
    // A ring of `cap` bytes, made at the first push: a link that never carries a byte costs none.
    std::unique_ptr<std::uint8_t[]> ring;  // guarded by mutex (the bytes being watched are not)
    std::size_t head = 0;                  // guarded by mutex: where the next unwatched byte is
    std::size_t size = 0;                  // guarded by mutex
    std::uint64_t queuedTotal = 0;         // guarded by mutex: stream position of the ring's end
    std::uint64_t watchedTotal = 0;        // guarded by mutex: stream position of `head`
    std::deque<Gap> gaps;                  // guarded by mutex; in stream order
    std::uint64_t skipped = 0;             // guarded by mutex
    bool takeAsked = false;                // guarded by mutex: a take is posted or running
    // Guarded by mutex: a take is under way. A hook that lets the owner run its events (a message
    // box) may meet a close, which drains: that drain must not start in the middle of this take.
    bool taking = false;

    // Owner thread: watches up to `budget` bytes, then says the batch is done; false once nothing
    // is left (no take is asked for any more then).
    bool take(std::size_t budget);
    // The blocks of a take; `done` counts what they watched.
    bool takeBlocks(std::size_t budget, std::size_t& done);
};

bool MonitorFeed::State::take(std::size_t budget) {
    std::size_t done = 0;
    const bool more = takeBlocks(budget, done);
    // Once the take has settled whether another is asked for: a push meanwhile posts its own.
    if (done > 0 && hooks.batchDone) hooks.batchDone();
    return more;
}

bool MonitorFeed::State::takeBlocks(std::size_t budget, std::size_t& done) {
    std::unique_lock lock(mutex);
    if (taking) return false;  // the take under way goes on with the rest
    taking = true;
    // Also when a hook throws (the error leaves to the owner's handler): the next push asks for
    // a take again.
    struct Finish {
        State& state;
        std::unique_lock<std::mutex>& lock;
        bool more = false;
        ~Finish() {
            if (!lock.owns_lock()) lock.lock();
            state.taking = false;
            if (!more) state.takeAsked = false;
        }
    } finish{*this, lock};
    const auto watched = [this](std::size_t n) {
        head = (head + n) % cap;
        size -= n;
        watchedTotal += n;
    };
    while (done < budget) {
        if (!gaps.empty() && gaps.front().at == watchedTotal) {
            const std::uint64_t bytes = gaps.front().bytes;
            gaps.pop_front();
            lock.unlock();
            if (hooks.skipped) hooks.skipped(bytes);
            lock.lock();
            continue;
        }
        std::size_t n = std::min({size, kBlockCap, cap - head});
        if (!gaps.empty()) n = static_cast<std::size_t>(std::min<std::uint64_t>(n, gaps.front().at - watchedTotal));
        if (n == 0) return false;
        const std::uint8_t* bytes = ring.get() + head;
        lock.unlock();
        // Producers write only into the free part of the ring, so these bytes stay as they are.
        try {
            hooks.watch(LinkBytes(bytes, n));
        } catch (...) {
            lock.lock();
            watched(n);
            throw;
        }
        lock.lock();
        watched(n);
        done += n;
    }
    finish.more = true;
    return true;
}

namespace {

// A take that has used its budget goes to the back of the owner's queue for the rest. It holds
// the state weakly: a feed gone with its link leaves nothing to take.
void postTake(std::weak_ptr<MonitorFeed::State> weak, std::shared_ptr<OwnerThread> owner) {
    OwnerThread& at = *owner;
    at.post([weak, owner = std::move(owner)]() mutable {
        const auto state = weak.lock();
        if (state && state->take(kTakeBudget)) postTake(weak, std::move(owner));
    });
}

}  // namespace

MonitorFeed::MonitorFeed(std::shared_ptr<OwnerThread> owner, MonitorFeedHooks hooks, std::size_t capBytes)
    : owner_(std::move(owner)), state_(std::make_shared<State>(std::move(hooks), capBytes)) {}

MonitorFeed::~MonitorFeed() = default;

void MonitorFeed::push(LinkBytes block) {
    if (block.empty()) return;
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.size + block.size() > s.cap) {
        if (!s.gaps.empty() && s.gaps.back().at == s.queuedTotal) {
            s.gaps.back().bytes += block.size();
        } else {
            s.gaps.push_back({s.queuedTotal, block.size()});
        }
        s.skipped += block.size();
    } else {
        if (!s.ring) s.ring.reset(new std::uint8_t[s.cap]);
        const std::size_t tail = (s.head + s.size) % s.cap;
        const std::size_t first = std::min(block.size(), s.cap - tail);
        std::memcpy(s.ring.get() + tail, block.data(), first);
        std::memcpy(s.ring.get(), block.data() + first, block.size() - first);
        s.size += block.size();
        s.queuedTotal += block.size();
    }
    if (s.takeAsked) return;
    s.takeAsked = true;
    lock.unlock();
    // One take for however many blocks arrive meanwhile: the owner wakes once per batch.
    postTake(state_, owner_);
}

void MonitorFeed::drain() {
    {
        std::lock_guard lock(state_->mutex);
        state_->takeAsked = true;  // a posted take still due finds nothing and returns
    }
    while (state_->take(kTakeBudget)) {
    }
}

std::uint64_t MonitorFeed::skippedBytes() const {
    std::lock_guard lock(state_->mutex);
    return state_->skipped;
}

}  // namespace tessaly
