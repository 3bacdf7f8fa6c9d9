// An owner thread for tests and benchmarks: a real thread that runs the functions handed to it in
// order, as the window's thread runs its events. The test body drives the component through
// call(), so the component lives on this thread as it will on the window's.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>

#include "links/owner_thread.h"

namespace tessaly::testing {

class TestOwnerThread final : public OwnerThread {
public:
    TestOwnerThread();
    ~TestOwnerThread() override;  // shuts down and joins

    bool runAndWait(std::function<void()> task) override;
    void post(std::function<void()> task) override;
    void shutdown() override;

    // The pump: runs, on the owner thread, every task queued so far. Components call it while
    // they wait, as the window would process its pending events.
    void processEvents();
    bool onOwnerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    // Runs `f` on the owner thread and returns its result; an exception it throws is rethrown.
    template <typename F>
    auto call(F f) -> std::invoke_result_t<F> {
        using R = std::invoke_result_t<F>;
        std::exception_ptr thrown;
        if constexpr (std::is_void_v<R>) {
            runAndWait([&] { try { f(); } catch (...) { thrown = std::current_exception(); } });
            if (thrown) std::rethrow_exception(thrown);
        } else {
            R result{};
            runAndWait([&] { try { result = f(); } catch (...) { thrown = std::current_exception(); } });
            if (thrown) std::rethrow_exception(thrown);
            return result;
        }
    }

private:
    // The state of a caller of runAndWait, on its stack; null for posted tasks.
    struct Waiter {
        bool started = false;
        bool done = false;
    };
    struct Task {
        std::function<void()> run;
        Waiter* waiter = nullptr;
    };
    void loop();
    void runQueued(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;  // guards queue_, shutDown_ and the waiters
    std::condition_variable changed_;
    std::deque<Task> queue_;
    bool shutDown_ = false;
    std::thread thread_;
};

}  // namespace tessaly::testing
