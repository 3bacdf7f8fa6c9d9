// Opening a link from a test: the open runs on the owner thread and its outcome comes from the
// owner's events, so the test waits for it as the program's events would bring it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "links/link_endpoint.h"
#include "testing/serial_test_support.h"
#include "testing/test_owner_thread.h"

namespace tessaly::testing {

// The attempt's outcome: empty when the link opened, its error otherwise, "no outcome" when none
// came within the patience of eventually().
template <typename Open>
std::string outcomeOf(TestOwnerThread& owner, Open open) {
    auto outcome = std::make_shared<std::optional<std::string>>();
    owner.call([&] { open([outcome](const std::string& error) { *outcome = error; }); });
    eventually([&] { return owner.call([&] { return outcome->has_value(); }); }, std::chrono::seconds(15));
    return owner.call([&] { return outcome->value_or("no outcome"); });
}

inline std::string openLink(TestOwnerThread& owner, LinkEndpoint& link, const LinkAddress& address) {
    return outcomeOf(owner, [&](LinkEndpoint::Opened opened) { link.open(address, std::move(opened)); });
}

}  // namespace tessaly::testing
