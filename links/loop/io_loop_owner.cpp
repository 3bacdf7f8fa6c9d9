#include "links/loop/io_loop_owner.h"

#include <future>

namespace tessaly {

bool IoLoopOwner::runAndWait(std::function<void()> task) {
    if (*shutDown_) return false;
    if (loop_.onLoopThread()) {
        task();
        return true;
    }
    auto ran = std::make_shared<std::promise<bool>>();
    std::future<bool> result = ran->get_future();
    loop_.post([shutDown = shutDown_, ran, task = std::move(task)] {
        if (*shutDown) return ran->set_value(false);
        try {
            task();
            ran->set_value(true);
        } catch (...) {
            ran->set_exception(std::current_exception());
        }
    });
    try {
        return result.get();
    } catch (const std::future_error&) {
        return false;  // the loop went away before the task's turn
    }
}

void IoLoopOwner::post(std::function<void()> task) {
    if (*shutDown_) return;
    loop_.post([shutDown = shutDown_, task = std::move(task)] {
        if (!*shutDown) task();
    });
}

bool IoLoopOwner::runBeside(const std::function<void()>& task) {
    if (*shutDown_) return false;
    task();
    return true;
}

void IoLoopOwner::shutdown() {
    if (shutDown_->exchange(true) || loop_.onLoopThread()) return;
    // The loop runs its tasks one after another: once this one ran, the one running at the
    // exchange above has returned.
    std::promise<void> passed;
    loop_.post([&passed] { passed.set_value(); });
    passed.get_future().wait();
}

}  // namespace tessaly
