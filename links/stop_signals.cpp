#include "links/stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace tessaly {
namespace {

// SIGUSR2 only ends the watcher when the program stops for another reason.
sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    return set;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> stop) {
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watcher_ = std::thread([set, stop = std::move(stop)] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        if (signal != SIGUSR2) stop();
    });
}

StopSignals::~StopSignals() {
    pthread_kill(watcher_.native_handle(), SIGUSR2);
    watcher_.join();
}

}  // namespace tessaly
