#include "links/owner_loop.h"

namespace tessaly {

void OwnerLoop::processEventsFor(std::uint32_t maxMs) {
    if (queue_.drain() > 0) return;
    queue_.waitForTask(maxMs);
    queue_.drain();
}

}  // namespace tessaly
