// The thread that waits on the links' sockets: one Asio io_context run by one thread that the
// loop starts and joins, so no link keeps a thread of its own and none outlives the program.
// Completions run here one after another; a block read in one is forwarded before the next read
// of that link is started.
//
// Whatever a socket, timer or resolver is bound to must be destroyed before the loop, which is
// why the links hold it through a std::shared_ptr. The last holder must not be a completion on
// the loop's own thread (the loop joins its thread when it goes).
#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <functional>
#include <string>
#include <thread>

namespace tessaly {

class IoLoop {
public:
    // A completion that throws is handed to `failed` (on the loop's thread) and the loop goes on
    // with the others; by default it is said on stderr.
    explicit IoLoop(std::function<void(const std::string& what)> failed = {});
    ~IoLoop();  // ends what waits and joins the thread
    IoLoop(const IoLoop&) = delete;
    IoLoop& operator=(const IoLoop&) = delete;

    asio::io_context& context() { return context_; }
    bool onLoopThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    // Any thread: runs `task` on the loop's thread, after what is queued already.
    void post(std::function<void()> task);

private:
    void run();

    asio::io_context context_{1};
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::function<void(const std::string& what)> failed_;
    std::thread thread_;  // last: starts once the rest is there
};

}  // namespace tessaly
