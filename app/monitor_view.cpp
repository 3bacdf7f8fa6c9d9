#include "app/monitor_view.h"

#include <charconv>

#include "monitor/receiver_monitor.h"

namespace tessaly {

std::string fixedText(double value, int width, int precision, const std::string& separator) {
    char digits[64];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    std::string text(digits, result.ptr);
    if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    if (const auto point = text.find('.'); point != std::string::npos) text.replace(point, 1, separator);
    return text;
}

void MonitorView::setTitles() {
    for (ChannelGrid& grid : grids_) {
        for (int row = 0; row < kGridUsedRows; ++row) grid.setCell(kTitleColumn, row, kGridRowTitles[row]);
    }
    changed(Channel::A);
    changed(Channel::B);
}

void MonitorView::showReport(const L6ChannelReport& r, float cnoAverage) {
    ChannelGrid& grid = grids_[index(r.channel())];
    const auto set = [&grid](int row, std::string text) { grid.setCell(kValueColumn, row, std::move(text)); };

    set(0, r.chName == 0 ? "A" : "B");
    set(1, std::to_string(r.version));
    set(2, std::to_string(r.timeTag));
    switch (r.errStatus) {
        case kErrStatusUnknown: set(kRowErrorStatus, "Unknown"); break;
        case kErrStatusErrorFree: set(kRowErrorStatus, "Error-free"); break;
        case kErrStatusErroneous: set(kRowErrorStatus, "Erroneous"); break;
        default: break;  // status 3 has no meaning: the cell keeps what it showed
    }
    set(kRowBitErrCorr, r.errStatus == kErrStatusErrorFree ? std::to_string(r.bitErrCorr) : "-");
    // The PRN from the list stands in for the header's PRN only while row 10 shows none.
    std::string svid = std::to_string(r.svid);
    const auto prn = names_.prnOfSvid(r.svid);
    if (prn && r.chn <= 1 && grid.cell(kValueColumn, kRowPrn).empty()) svid += "  (PRN " + *prn + ")";
    set(kRowSvid, std::move(svid));
    set(6, std::to_string(r.chn));
    set(7, fixedText(r.cno, 5, 3, decimalSeparator_) + "  (" +
               fixedText(cnoAverage, 5, 2, decimalSeparator_) + ")");
    set(8, r.msgName == 1 ? "L6E" : "L6D");
    set(kRowGroupDelay, std::to_string(r.groupDelay));

    if (r.errStatus != kErrStatusErrorFree) {
        for (int row = kRowPrn; row <= kRowAlert; ++row) set(row, "");
    } else if (r.hasHeader()) {
        writeHeaderRows(grid, r);
    }
    changed(r.channel());
}

void MonitorView::writeHeaderRows(ChannelGrid& grid, const L6ChannelReport& r) const {
    grid.setCell(kValueColumn, kRowPrn, std::to_string(r.prn));
    grid.setCell(kValueColumn, 11, std::to_string(r.vendorId) + (r.vendorId == 5 ? " (CLAS)" : ""));
    std::string facility = std::to_string(r.facilityId);
    if (const auto name = names_.nameOfFacility(r.facilityId)) facility += " (" + *name + ")";
    grid.setCell(kValueColumn, 12, std::move(facility));
    grid.setCell(kValueColumn, 13, std::to_string(r.subframeIndicator) +
                                       (r.subframeIndicator == 1 ? " (first data part)" : " (others)"));
    grid.setCell(kValueColumn, kRowAlert,
                 std::to_string(r.alertFlag) + (r.alertFlag == 1 ? " (not available)" : " (available)"));
}

void MonitorView::setStatusText(const std::string& text) {
    statusText_ = text;
    if (onStatusChanged) onStatusChanged();
}

void MonitorView::timerTick() {
    for (Channel channel : {Channel::A, Channel::B}) {
        ChannelGrid& grid = grids_[index(channel)];
        if (++grid.silentTicks == 5) {
            grid.clearValues();
            changed(channel);
        }
    }
}

void MonitorView::clearValues() {
    for (Channel channel : {Channel::A, Channel::B}) {
        grids_[index(channel)].clearValues();
        changed(channel);
    }
}

std::optional<StatusIconKind> MonitorView::idleCheck(std::uint32_t nowMs, bool inputOpen,
                                                     ReceiverMonitor& monitor) {
    // Unsigned difference: the check keeps its spacing across the clock's wrap-around.
    if (static_cast<std::uint32_t>(nowMs - lastIdleCheck_) <= 100) return std::nullopt;
    lastIdleCheck_ = nowMs;
    std::optional<StatusIconKind> show;
    if (!inputOpen) {
        if (inputClosed_) {
            show = StatusIconKind::Good;
            inputClosed_ = false;
        }
        iconGood_ = true;
        monitor.decoder().clearReceptionStatus();
    } else if (monitor.decoder().receptionGood() != iconGood_) {
        iconGood_ = monitor.decoder().receptionGood();
        show = iconState();
    }
    return show;
}

}  // namespace tessaly
