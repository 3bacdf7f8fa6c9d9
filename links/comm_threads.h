// The serial component's two worker threads. Each is started by PortOpen, holds the open port's
// CommSession until it has finished, and is ended by CommSession::stop() from PortClose, which
// does not wait for it: the thread is detached and lets go of the session on its way out.
//
// The transmit thread writes the queued chunks to the device, batch by batch. The receive thread
// reads no data: it waits for the device and tells the owner thread, synchronously, that bytes,
// a break or line errors have arrived; OnReceive then fetches the bytes with ReceiveBlock.
#pragma once

#include <memory>

#include "links/comm_session.h"

namespace tessaly {

class TCommTransThread {
public:
    // Throws std::system_error when the thread cannot be started.
    static void start(std::shared_ptr<CommSession> session);
};

class TCommReceiveThread {
public:
    static void start(std::shared_ptr<CommSession> session);
};

}  // namespace tessaly
