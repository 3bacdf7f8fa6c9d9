// An owner thread that is the links' loop itself, for a program whose whole logic runs beside its
// sockets and timers (the command-line simulators): the blocks, the notices and the timers all
// come on one thread, so the program's state needs no lock.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "links/loop/io_loop.h"
#include "links/owner_thread.h"

namespace tessaly {

class IoLoopOwner final : public OwnerThread {
public:
    explicit IoLoopOwner(IoLoop& loop) : loop_(loop) {}

    bool runAndWait(std::function<void()> task) override;
    void post(std::function<void()> task) override;
    // Called on the loop, as the links call it.
    bool runBeside(const std::function<void()>& task) override;
    // From another thread, returns once the task the loop is running (a block being handed on) has
    // returned.
    void shutdown() override;

private:
    IoLoop& loop_;
    // Shared with the tasks on the loop, which may outlast this object until the loop goes.
    std::shared_ptr<std::atomic<bool>> shutDown_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tessaly
