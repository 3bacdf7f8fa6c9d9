#include "links/link_routing.h"

namespace tessaly {

LinkRouter::LinkRouter(std::function<void(LinkBytes)> scanInput, std::vector<LinkWriter> inputs,
                       std::vector<LinkWriter> outputs, std::function<void(LinkBytes)> watchReturn)
    : scanInput_(std::move(scanInput)),
      inputs_(std::move(inputs)),
      outputs_(std::move(outputs)),
      watchReturn_(std::move(watchReturn)) {}

void LinkRouter::outputBlock(LinkBytes block) {
    ForwardToInput(block);
    if (watchReturn_ && !block.empty()) watchReturn_(block);
}

void LinkRouter::inputBlock(LinkBytes block) {
    if (block.empty()) return;
    // The scanner never alters the block and swallows what its consumers throw, so the block
    // is forwarded as it came, whatever the scan made of it.
    scanInput_(block);
    ForwardToOutput(block);
}

void LinkRouter::forward(LinkBytes block, const std::vector<LinkWriter>& links) {
    if (block.empty()) return;
    for (const LinkWriter& link : links) {
        if (link.isOpen()) link.write(block);
    }
}

}  // namespace tessaly
