#include "monitor/history_recorder.h"

#include <chrono>

namespace tessaly {

void HistoryRecorder::writePair(const L6ChannelReport& previous, const L6ChannelReport& current) {
    using namespace std::chrono;
    const auto nowMs = duration_cast<milliseconds>(clock_.now().time_since_epoch()).count();
    if (auto second = pairSecond(previous, current, nowMs)) history_.append(*second);
}

}  // namespace tessaly
