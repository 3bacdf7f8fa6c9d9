#include "monitor/l6_decoder.h"

#include "monitor/civil_time.h"

namespace tessaly {

bool L6Decoder::decodeFrame(ByteView frame) {
    if (!decodeL6Frame(frame, current_)) return false;
    if (outputs_.view) outputs_.view->markFresh(current_.channel());
    updateAverage(current_);
    if (outputs_.view) outputs_.view->showReport(current_, cnoAverage(current_.channel()));
    // Channel B's report completes a second. A report on the same channel as the one before it
    // means the other channel's report was missed: it is evaluated on its own.
    if (current_.chn == 1 || current_.chn == previous_.chn) evaluatePair();
    previous_ = current_;
    return true;
}

void L6Decoder::updateAverage(const L6ChannelReport& report) {
    CnoAverage& avg = average(report.channel());
    if (report.svid == avg.lastSvid) {
        ++avg.count;
        const double cno = report.cno;
        const double previous = avg.value;
        avg.value = avg.count < 30
                        ? static_cast<float>(((avg.count - 1) * previous + cno) / avg.count)
                        : static_cast<float>((29 * previous + cno) / 30);
    } else {
        // A new satellite on this channel: its C/N0 has nothing to do with the old one's.
        avg.count = 1;
        avg.value = report.cno;
    }
    avg.lastSvid = report.svid;
}

void L6Decoder::evaluatePair() {
    ++pairEvaluations_;
    if (previous_.errStatus == kErrStatusErrorFree || current_.errStatus == kErrStatusErrorFree) {
        receptionGood_ = true;
    } else {
        ++bothFailedCount_;
        if (outputs_.statusLine) {
            static const SystemWallClock systemClock;
            const WallClock& clock = outputs_.clock ? *outputs_.clock : systemClock;
            outputs_.statusLine->setStatusText("Error count: " + std::to_string(bothFailedCount_) +
                                               "  " +
                                               timeOfDayText(civilTime(clock.now(), false)));
        }
        receptionGood_ = false;
    }
    if (outputs_.log && outputs_.log->loggingOn()) outputs_.log->writePair(previous_, current_);
}

void L6Decoder::clear() {
    bothFailedCount_ = 0;
    averages_[0].count = 0;
    averages_[1].count = 0;
    previous_ = L6ChannelReport{};
    receptionGood_ = false;
}

}  // namespace tessaly
