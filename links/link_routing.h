// Where every block goes: input blocks (from the L6 receiver) unchanged to every open output
// link, output blocks (from the high-precision receiver) unchanged to every open input link. A
// side without an open link drops the block without notice.
//
// Any thread: the thread that read a block forwards it here, and the program's own commands go
// the same way; the writers keep each block whole.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "links/net/tcp_link.h"

namespace tessaly {

// One link of a side as routing sees it; both callable from any thread.
struct LinkWriter {
    std::function<bool()> isOpen;
    std::function<void(LinkBytes block)> write;
    // Its peer has much waiting for it; empty: never.
    std::function<bool()> backlogged;
};

class LinkRouter {
public:
    LinkRouter(std::vector<LinkWriter> inputs, std::vector<LinkWriter> outputs)
        : inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}

    // A block goes to every open link of the side, in the order the links were given.
    void ForwardToOutput(LinkBytes block) const { forward(block, outputs_); }
    void ForwardToInput(LinkBytes block) const { forward(block, inputs_); }
    // Whether a link of the side has much waiting for its peer.
    bool OutputBacklogged() const { return backlogged(outputs_); }
    bool InputBacklogged() const { return backlogged(inputs_); }

private:
    static void forward(LinkBytes block, const std::vector<LinkWriter>& links) {
        if (block.empty()) return;
        for (const LinkWriter& link : links) {
            if (link.isOpen()) link.write(block);
        }
    }

    static bool backlogged(const std::vector<LinkWriter>& links) {
        for (const LinkWriter& link : links) {
            if (link.backlogged && link.backlogged()) return true;
        }
        return false;
    }

    const std::vector<LinkWriter> inputs_, outputs_;
};

}  // namespace tessaly
