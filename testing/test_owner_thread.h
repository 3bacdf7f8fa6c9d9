// An owner thread for tests and benchmarks: a real thread that runs the functions handed to it in
// order, as the window's thread runs its events. The test body drives the component through
// call(), so the component lives on this thread as it will on the window's.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

#include "links/owner_loop.h"

namespace tessaly::testing {

class TestOwnerThread final : public OwnerThread {
public:
    TestOwnerThread();
    ~TestOwnerThread() override;  // shuts down and joins

    bool runAndWait(std::function<void()> task) override { return loop_->runAndWait(std::move(task)); }
    void post(std::function<void()> task) override { loop_->post(std::move(task)); }
    bool runBeside(const std::function<void()>& task) override { return loop_->runBeside(task); }
    void shutdown() override { loop_->shutdown(); }

    // The pump: runs, on the owner thread, every task queued so far. Components call it while
    // they wait, as the window would process its pending events.
    void processEvents() { loop_->processPending(); }
    bool onOwnerThread() const { return loop_->onOwnerThread(); }

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
    std::unique_ptr<OwnerLoop> loop_;  // made on the thread, which makes that thread its owner
    std::thread thread_;
};

}  // namespace tessaly::testing
