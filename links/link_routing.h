// Where every block goes. Input blocks (from the L6 receiver) are scanned first, then forwarded
// unchanged to every open output link; output blocks (from the high-precision receiver) go
// unchanged to every open input link and are never scanned. A side without an open link drops
// the block without notice.
//
// Window's thread only: the links hand their blocks over to it one at a time.
#pragma once

#include <functional>
#include <span>

#include "links/tcp_link.h"

namespace tessaly {

// One link of a side as routing sees it.
struct LinkWriter {
    std::function<bool()> isOpen;
    std::function<void(LinkBytes block)> write;
};

class LinkRouter {
public:
    LinkRouter(std::function<void(LinkBytes)> scanInput, LinkWriter serialInput, LinkWriter tcpInput,
               LinkWriter serialOutput, LinkWriter tcpOutput);

    void inputBlock(LinkBytes block);
    void outputBlock(LinkBytes block) { ForwardToInput(block); }

    // A block goes to the side's serial link first, then to its TCP link, whichever are open.
    void ForwardToOutput(LinkBytes block) { forward(block, serialOutput_, tcpOutput_); }
    void ForwardToInput(LinkBytes block) { forward(block, serialInput_, tcpInput_); }

private:
    static void forward(LinkBytes block, const LinkWriter& serial, const LinkWriter& tcp);

    std::function<void(LinkBytes)> scanInput_;
    LinkWriter serialInput_, tcpInput_, serialOutput_, tcpOutput_;
};

}  // namespace tessaly
