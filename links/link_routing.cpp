#include "links/link_routing.h"

namespace tessaly {

LinkRouter::LinkRouter(std::function<void(LinkBytes)> scanInput, LinkWriter serialInput,
                       LinkWriter tcpInput, LinkWriter serialOutput, LinkWriter tcpOutput)
    : scanInput_(std::move(scanInput)),
      serialInput_(std::move(serialInput)),
      tcpInput_(std::move(tcpInput)),
      serialOutput_(std::move(serialOutput)),
      tcpOutput_(std::move(tcpOutput)) {}

void LinkRouter::inputBlock(LinkBytes block) {
    if (block.empty()) return;
    // The scanner never alters the block and swallows what its consumers throw, so the block
    // is forwarded as it came, whatever the scan made of it.
    scanInput_(block);
    ForwardToOutput(block);
}

void LinkRouter::forward(LinkBytes block, const LinkWriter& serial, const LinkWriter& tcp) {
    if (block.empty()) return;
    if (serial.isOpen()) serial.write(block);
    if (tcp.isOpen()) tcp.write(block);
}

}  // namespace tessaly
