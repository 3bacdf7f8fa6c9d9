#include "links/loop/io_loop.h"

#include <asio/post.hpp>

#include <pthread.h>
#include <signal.h>

#include <exception>
#include <iostream>

namespace tessaly {

IoLoop::IoLoop(std::function<void(const std::string& what)> failed)
    : work_(asio::make_work_guard(context_)), failed_(std::move(failed)), thread_([this] { run(); }) {}

IoLoop::~IoLoop() {
    work_.reset();
    context_.stop();
    thread_.join();
}

void IoLoop::post(std::function<void()> task) { asio::post(context_, std::move(task)); }

void IoLoop::run() {
    // A stop signal is the program's signal watcher's to take, whenever the loop was made: one
    // delivered here would end the program without its orderly stop. Faults stay deliverable.
    sigset_t asynchronous;
    sigfillset(&asynchronous);
    for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP}) sigdelset(&asynchronous, fault);
    pthread_sigmask(SIG_BLOCK, &asynchronous, nullptr);
    for (;;) {
        try {
            context_.run();
            return;
        } catch (const std::exception& e) {
            if (failed_) {
                failed_(e.what());
            } else {
                std::cerr << "tessaly: a link's completion failed: " << e.what() << "\n";
            }
        } catch (...) {
            if (failed_) failed_("unknown error");
        }
    }
}

}  // namespace tessaly
