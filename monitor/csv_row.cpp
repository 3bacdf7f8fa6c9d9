#include "monitor/csv_row.h"

#include <charconv>

namespace tessaly {
namespace {

constexpr std::string_view kEmptyBlock = ",,,,,,,,,,,,,";  // 14 empty fields

void appendNumber(std::string& out, unsigned value) {
    out += std::to_string(value);
    out += ',';
}

}  // namespace

std::string csvCnoText(float cno) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<double>(cno),
                                      std::chars_format::fixed, 3);
    return std::string(digits, result.ptr);
}

std::string csvReportBlock(const L6ChannelReport& r) {
    std::string block;
    appendNumber(block, r.version);
    appendNumber(block, r.svid);
    block += csvCnoText(r.cno);
    block += ',';
    appendNumber(block, r.timeTag);
    appendNumber(block, r.groupDelay);
    appendNumber(block, r.bitErrCorr);
    appendNumber(block, r.chn);
    appendNumber(block, r.msgName);
    block += std::to_string(r.errStatus);
    block += ',';
    if (r.errStatus == kErrStatusErrorFree) {
        appendNumber(block, r.prn);
        appendNumber(block, r.vendorId);
        appendNumber(block, r.facilityId);
        appendNumber(block, r.subframeIndicator);
        block += std::to_string(r.alertFlag);
    } else {
        block += ",,,,";
    }
    return block;
}

std::optional<std::string> csvRow(const L6ChannelReport& previous, const L6ChannelReport& current,
                                  std::string_view timestamp) {
    if (previous.errStatus == kErrStatusUnknown && current.errStatus == kErrStatusUnknown) {
        return std::nullopt;
    }
    std::string row(timestamp);
    row += ',';
    row += previous.chn == 0 && previous.errStatus != kErrStatusUnknown ? csvReportBlock(previous)
                                                                         : std::string(kEmptyBlock);
    row += ',';
    row += current.chn == 1 && current.errStatus != kErrStatusUnknown ? csvReportBlock(current)
                                                                       : std::string(kEmptyBlock);
    const bool oneErrorFree = previous.errStatus == kErrStatusErrorFree ||
                              current.errStatus == kErrStatusErrorFree;
    row += oneErrorFree ? ",0\r\n" : ",1\r\n";
    return row;
}

}  // namespace tessaly
