// Waits of the window tests: the window's events run meanwhile, as they would while the user
// looks on.
#pragma once

#include <QCoreApplication>

#include <chrono>

#include "app/form_main.h"

namespace tessaly::test {

// Until neither link waits for its peer any more: a TCP link's open ends among the events.
inline void untilOpensEnded(TFormMain& form, std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    const auto opening = [&] {
        return form.inputLink().state() == LinkState::Opening || form.outputLink().state() == LinkState::Opening;
    };
    while (opening() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
}

// Until `condition` holds, for `limit` at most; whether it did.
template <typename Condition>
bool eventsUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

}  // namespace tessaly::test
