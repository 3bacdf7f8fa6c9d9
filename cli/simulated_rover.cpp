#include "cli/simulated_rover.h"

#include <array>
#include <cstdio>

#include "monitor/l6_report.h"

namespace tessaly {
namespace {

// The rover stands still near Tokyo station, 40 m above sea level, with 14 satellites in use.
constexpr std::int32_t kLatitude1e7 = 356812000;    // 35.6812 degrees
constexpr std::int32_t kLongitude1e7 = 1397671000;  // 139.7671 degrees
constexpr const char* kGgaPosition = "3540.87200,N,13946.02600,E";
constexpr std::int32_t kHeightMslMm = 40000;
constexpr std::int32_t kGeoidSeparationMm = 36700;
constexpr std::uint8_t kSatellitesUsed = 14;
constexpr std::uint16_t kPdop = 120;  // 1.20

// How each kind of solution shows in the messages.
struct SolutionLook {
    std::uint8_t flags;  // NAV-PVT: gnssFixOK, diffSoln, carrSoln
    std::uint32_t hAccMm;
    unsigned ggaQuality;
};

SolutionLook lookOf(RoverFix fix) {
    switch (fix) {
        case RoverFix::Fixed: return {0x83, 14, 4};
        case RoverFix::Float: return {0x43, 250, 5};
        case RoverFix::Dgnss: return {0x03, 600, 2};
        default: return {0x01, 1800, 1};
    }
}

// The lastCorrectionAge code of NAV-PVT's flags3 for an age.
unsigned correctionAgeCode(std::int64_t ageMs) {
    constexpr std::array<std::int64_t, 11> kBelow = {1000, 2000, 5000, 10000, 15000, 20000,
                                                     30000, 45000, 60000, 90000, 120000};
    for (std::size_t i = 0; i < kBelow.size(); ++i) {
        if (ageMs < kBelow[i]) return static_cast<unsigned>(i + 1);
    }
    return 12;
}

void putLittleEndian(Bytes& payload, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) payload[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

Bytes SimulatedRover::correctionReceived(ByteView frame, bool valid, std::int64_t nowMs) {
    L6ChannelReport report;
    const bool decoded = valid && decodeL6Frame(frame, report);
    const bool usable = decoded && report.errStatus == kErrStatusErrorFree;
    if (usable) {
        if (!lastUsableMs_ || nowMs - *lastUsableMs_ >= kUsableL6LostAfterMs) usableSinceMs_ = nowMs;
        lastUsableMs_ = nowMs;
    }
    // A frame that failed the check counts as an erroneous message.
    const std::uint8_t errStatus = decoded ? report.errStatus : kErrStatusErroneous;
    const std::uint32_t statusInfo = kCorrectionProtocolQzssL6 | errStatus << 5 |
                                     (usable ? kCorrectionUsed : kCorrectionNotUsed) << 7;
    Bytes payload(kRxmCorPayloadSize, 0);
    payload[0] = 1;  // version
    putLittleEndian(payload, 4, statusInfo, 4);
    return makeUbxFrame(kUbxClassRxm, kUbxIdRxmCor, payload);
}

RoverFix SimulatedRover::fix(std::int64_t nowMs) const {
    if (!lastUsableMs_ || nowMs - *lastUsableMs_ >= kUsableL6LostAfterMs) return RoverFix::Fix3d;
    const std::int64_t usableFor = nowMs - *usableSinceMs_;
    if (usableFor >= kUsableL6ForFixedMs) return RoverFix::Fixed;
    return usableFor >= kUsableL6ForFloatMs ? RoverFix::Float : RoverFix::Dgnss;
}

Bytes SimulatedRover::navPvt(std::int64_t nowMs) const {
    const RoverFix current = fix(nowMs);
    const SolutionLook look = lookOf(current);
    Bytes payload(kNavPvtPayloadSize, 0);
    putLittleEndian(payload, 0, epochs_ * 1000, 4);  // iTOW
    payload[20] = 3;                                  // 3D fix
    payload[21] = look.flags;
    payload[23] = kSatellitesUsed;
    putLittleEndian(payload, 24, static_cast<std::uint32_t>(kLongitude1e7), 4);
    putLittleEndian(payload, 28, static_cast<std::uint32_t>(kLatitude1e7), 4);
    putLittleEndian(payload, 32, static_cast<std::uint32_t>(kHeightMslMm + kGeoidSeparationMm), 4);
    putLittleEndian(payload, 36, static_cast<std::uint32_t>(kHeightMslMm), 4);
    putLittleEndian(payload, 40, look.hAccMm, 4);
    putLittleEndian(payload, 44, 2 * look.hAccMm, 4);  // vAcc
    putLittleEndian(payload, 76, kPdop, 2);
    if (current != RoverFix::Fix3d) putLittleEndian(payload, 78, correctionAgeCode(nowMs - *lastUsableMs_) << 1, 2);
    return makeUbxFrame(kUbxClassNav, kUbxIdNavPvt, payload);
}

Bytes SimulatedRover::epoch(std::int64_t nowMs) {
    ++epochs_;
    Bytes messages = navPvt(nowMs);
    const RoverFix current = fix(nowMs);
    const std::uint32_t secondOfDay = epochs_ % 86400;
    char age[16] = "";
    if (current != RoverFix::Fix3d) {
        std::snprintf(age, sizeof age, "%.1f,0000", static_cast<double>(nowMs - *lastUsableMs_) / 1000.0);
    } else {
        std::snprintf(age, sizeof age, ",");
    }
    char body[128];
    std::snprintf(body, sizeof body, "GNGGA,%02u%02u%02u.00,%s,%u,%02u,0.60,%.1f,M,%.1f,M,%s", secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60, kGgaPosition, lookOf(current).ggaQuality,
                  unsigned{kSatellitesUsed}, kHeightMslMm / 1000.0, kGeoidSeparationMm / 1000.0, age);
    const std::string gga = makeNmeaLine(body);
    messages.insert(messages.end(), gga.begin(), gga.end());
    return messages;
}

}  // namespace tessaly
