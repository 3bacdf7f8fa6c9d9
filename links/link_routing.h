// Where every block goes. Input blocks (from the L6 receiver) are scanned first, then forwarded
// unchanged to every open output link; output blocks (from the high-precision receiver) go
// unchanged to every open input link and are watched only after that. A side without an open link drops
// the block without notice.
//
// Window's thread only: the links hand their blocks over to it one at a time.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "links/tcp_link.h"

namespace tessaly {

// One link of a side as routing sees it.
struct LinkWriter {
    std::function<bool()> isOpen;
    std::function<void(LinkBytes block)> write;
};

class LinkRouter {
public:
    // `watchReturn`, when given, sees every output block after it was forwarded: a read-only
    // look at what the high-precision receiver says, which never holds a block back.
    LinkRouter(std::function<void(LinkBytes)> scanInput, std::vector<LinkWriter> inputs,
               std::vector<LinkWriter> outputs, std::function<void(LinkBytes)> watchReturn = {});

    void inputBlock(LinkBytes block);
    void outputBlock(LinkBytes block);

    // A block goes to every open link of the side, in the order the links were given.
    void ForwardToOutput(LinkBytes block) { forward(block, outputs_); }
    void ForwardToInput(LinkBytes block) { forward(block, inputs_); }

private:
    static void forward(LinkBytes block, const std::vector<LinkWriter>& links);

    std::function<void(LinkBytes)> scanInput_;
    std::vector<LinkWriter> inputs_, outputs_;
    std::function<void(LinkBytes)> watchReturn_;
};

}  // namespace tessaly
