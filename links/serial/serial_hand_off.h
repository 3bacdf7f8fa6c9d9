// Blocks bound for a serial port, handed to the owner thread, where the serial component lives,
// in the order they came. A TCP side reads on the I/O loop, and the loop must never wait for the
// owner: with a full transmit queue TransBlock waits there for the port's transmitter, which runs
// on the loop. So a block from the loop is queued here and the loop goes on; a block from the
// owner thread itself (a command the user sends) is transmitted at once, behind what waits.
//
// One flush at a time runs on the owner thread and takes the blocks in order; blocks that come
// while it waits in TransBlock (its events keep running) join the same flush, so none overtakes
// another. While much waits here the side that feeds it is read no faster (see backlogged()), so
// what is held stays bounded and a fast TCP source is slowed down by TCP itself.
#pragma once

#include <functional>
#include <memory>

#include "links/loop/io_loop.h"
#include "links/owner_thread.h"
#include "links/net/tcp_link.h"

namespace tessaly {

class SerialHandOff {
public:
    // `transmit` runs on the owner thread, once per block, in order.
    SerialHandOff(std::shared_ptr<OwnerThread> owner, std::shared_ptr<IoLoop> loop,
                  std::function<void(LinkBytes block)> transmit);
    // Owner thread: what waits is dropped, and a flush still queued finds nobody.
    ~SerialHandOff();
    SerialHandOff(const SerialHandOff&) = delete;
    SerialHandOff& operator=(const SerialHandOff&) = delete;

    // Any thread: copies the block. On the loop returns at once; elsewhere waits, as a block
    // handed to the owner thread does, until it is transmitted (on the owner thread: at once).
    void write(LinkBytes block);
    // Owner thread: drops what waits (the port closed).
    void clear();
    // Any thread: more waits than a relay should pile up.
    bool backlogged() const;

private:
    struct State;
    std::shared_ptr<OwnerThread> owner_;
    std::shared_ptr<IoLoop> loop_;
    std::shared_ptr<State> state_;
};

}  // namespace tessaly
