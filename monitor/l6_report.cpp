#include "monitor/l6_report.h"

namespace tessaly {
namespace {

constexpr std::size_t kL6MessageOffset = 14;  // in the payload

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

bool decodeL6Frame(ByteView frame, L6ChannelReport& report) {
    if (frame.size() < kUbxFrameOverhead + kL6MinPayload) return false;
    const std::uint8_t* payload = frame.data() + kUbxHeaderSize;
    report.version = payload[0];
    report.svid = payload[1];
    report.cno = static_cast<float>((payload[2] | payload[3] << 8) / 256.0);
    report.timeTag = le32(payload + 4);
    report.groupDelay = payload[8];
    report.bitErrCorr = payload[9];
    const std::uint8_t info = payload[11];
    report.chn = info & 0x03;
    report.msgName = (info >> 2) & 0x01;
    report.errStatus = (info >> 4) & 0x03;
    report.chName = (info >> 6) & 0x03;

    // Bytes 0, 1 and 3 of the preamble are compared; a header whose third byte differs is kept.
    const std::uint8_t* l6 = payload + kL6MessageOffset;
    if (l6[0] == 0x1A && l6[1] == 0xCF && l6[3] == 0x1D) {
        report.prn = l6[4];
        report.vendorId = l6[5] >> 5;
        report.facilityId = (l6[5] >> 3) & 0x03;
        report.subframeIndicator = l6[5] & 0x01;
        report.alertFlag = l6[6] >> 7;
    } else {
        report.alertFlag = kAlertNoHeader;
    }
    return true;
}

}  // namespace tessaly
