#include "cli/stop_request.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace tessaly {

StopRequest::WakeFd::~WakeFd() {
    if (fd >= 0) ::close(fd);
}

StopRequest::StopRequest()
    : wake_{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)}, signals_([this] {
          requested_ = true;
          const std::uint64_t one = 1;
          [[maybe_unused]] const auto written = ::write(wake_.fd, &one, sizeof one);
      }) {
    signal(SIGPIPE, SIG_IGN);
}

int StopRequest::waitForEvents(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) const {
    if (requested_) return 0;
    std::vector<pollfd> all(fds, fds + count);
    all.push_back({wake_.fd, POLLIN, 0});
    const int result = ::poll(all.data(), all.size(), static_cast<int>(std::max<long long>(timeout.count(), 0)));
    if (result <= 0 || requested_) return 0;
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
        fds[i].revents = all[i].revents;
        if (fds[i].revents) ++ready;
    }
    return ready;
}

}  // namespace tessaly
