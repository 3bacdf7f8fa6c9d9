#include "cli/receiver_simulator.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "monitor/l6_report.h"

namespace tessaly {
namespace {

constexpr std::uint8_t kL6MessageVersion = 1;
constexpr std::uint8_t kFirstSvidPrn = 193;  // svid 1 is PRN 193
constexpr int kSvidCount = 7;
constexpr double kCnoLow = 30.0;
constexpr double kCnoHigh = 50.0;
constexpr std::size_t kL6PayloadSize = 264;
constexpr std::size_t kL6MessageOffset = 14;

// Per-mille chances of what can happen in a second; rare, as on a receiver with a clear sky.
constexpr unsigned kOneErroneousPerMille = 30;
constexpr unsigned kBothErroneousPerMille = 10;
constexpr unsigned kOneMissedPerMille = 10;
constexpr unsigned kTextLinePerMille = 20;
constexpr unsigned kSatelliteChangePerMille = 5;

const char* const kTextLines[] = {"ANTSTATUS=OK", "L6 SEARCH", "L6 LOCK", "ANTSTATUS=OK"};

}  // namespace

ReceiverSimulator::ReceiverSimulator(std::uint64_t seed, L6MessageSource messages)
    : random_(seed), messages_(std::move(messages)),
      firstTimeTag_(static_cast<std::uint32_t>(100000 + random_() % 86400000)) {}

ReceiverSimulator::Event ReceiverSimulator::pickEvent() {
    // A special second is always between two normal ones, and the first second is normal: so a
    // missed message never meets an erroneous one of the neighbouring second, and every second
    // with both channels erroneous is exactly one failed second for the monitor.
    const unsigned roll = static_cast<unsigned>(random_() % 1000);
    if (!lastWasNormal_) return Event::Normal;
    if (roll < kBothErroneousPerMille) return Event::BothErroneous;
    if (roll < kBothErroneousPerMille + kOneErroneousPerMille) return Event::OneErroneous;
    if (roll < kBothErroneousPerMille + kOneErroneousPerMille + kOneMissedPerMille) {
        return Event::OneMissed;
    }
    return Event::Normal;
}

void ReceiverSimulator::driftCno(int channel) {
    // A slow random walk that turns back at the edges of a plausible range.
    const double step = (static_cast<double>(random_() % 2001) - 1000.0) / 4000.0;  // +-0.25
    cno_[channel] = std::clamp(cno_[channel] + step, kCnoLow, kCnoHigh);
}

void ReceiverSimulator::changeSatellite(int channel) {
    std::uint8_t svid = svid_[channel];
    while (svid == svid_[0] || svid == svid_[1]) {
        svid = static_cast<std::uint8_t>(1 + random_() % kSvidCount);
    }
    svid_[channel] = svid;
    cno_[channel] = kCnoLow + 5.0 + static_cast<double>(random_() % 100) / 10.0;
}

Bytes ReceiverSimulator::l6Frame(int channel, std::uint64_t second, std::uint8_t errStatus) {
    Bytes payload(kL6PayloadSize, 0);
    const std::uint32_t timeTag = firstTimeTag_ + static_cast<std::uint32_t>(second * 1000);
    const auto cnoRaw = static_cast<std::uint16_t>(std::lround(cno_[channel] * 256.0));
    payload[0] = kL6MessageVersion;
    payload[1] = svid_[channel];
    payload[2] = static_cast<std::uint8_t>(cnoRaw & 0xFF);
    payload[3] = static_cast<std::uint8_t>(cnoRaw >> 8);
    for (int i = 0; i < 4; ++i) payload[4 + i] = static_cast<std::uint8_t>(timeTag >> (8 * i));
    payload[8] = static_cast<std::uint8_t>(71 + random_() % 3);  // group delay, ns
    payload[9] = static_cast<std::uint8_t>(errStatus == kErrStatusErrorFree ? random_() % 8
                                                                            : 20 + random_() % 40);
    // chn and chName name the same channel; msgName 0 is L6D.
    payload[11] = static_cast<std::uint8_t>(channel | (errStatus << 4) | (channel << 6));

    L6Message message = messages_.message(channel, second);
    message[4] = static_cast<std::uint8_t>(kFirstSvidPrn + svid_[channel] - 1);
    message[6] &= 0x7F;  // no alert
    std::copy(message.begin(), message.end(), payload.begin() + kL6MessageOffset);
    return makeUbxFrame(kUbxClassRxm, kUbxIdRxmL6, payload);
}

SimulatedSecond ReceiverSimulator::nextSecond() {
    SimulatedSecond out;
    out.index = second_++;
    out.timeTag = firstTimeTag_ + static_cast<std::uint32_t>(out.index * 1000);
    if (silentSeconds_ > 0) {
        --silentSeconds_;
        out.silent = true;
        lastWasNormal_ = false;
        return out;
    }

    const Event event = out.index == 0 ? Event::Normal : pickEvent();
    lastWasNormal_ = event == Event::Normal;
    const int special = static_cast<int>(random_() % 2);  // the channel an event hits
    if (random_() % 1000 < kSatelliteChangePerMille) {
        changeSatellite(special);
        out.satelliteChange = true;
    }
    for (int channel = 0; channel < 2; ++channel) {
        driftCno(channel);
        std::uint8_t errStatus = kErrStatusErrorFree;
        if (event == Event::BothErroneous ||
            (event == Event::OneErroneous && channel == special)) {
            errStatus = kErrStatusErroneous;
        }
        out.svid[channel] = svid_[channel];
        out.cnoRaw[channel] = static_cast<std::uint16_t>(std::lround(cno_[channel] * 256.0));
        if (event == Event::OneMissed && channel == special) continue;
        out.errStatus[channel] = errStatus;
        const Bytes frame = l6Frame(channel, out.index, errStatus);
        out.bytes.insert(out.bytes.end(), frame.begin(), frame.end());
    }
    if (random_() % 1000 < kTextLinePerMille) {
        const char* text = kTextLines[random_() % std::size(kTextLines)];
        const std::string line = makeNmeaLine(std::string("GNTXT,01,01,02,") + text);
        out.bytes.insert(out.bytes.end(), line.begin(), line.end());
        out.textLine = true;
    }
    return out;
}

Bytes ReceiverSimulator::answer(ByteView frame) {
    if (frame.size() < kUbxFrameOverhead) return {};
    const std::uint8_t messageClass = frame[2];
    const std::uint8_t messageId = frame[3];
    if (messageClass == kUbxClassMon && messageId == kUbxIdMonVer && ubxPayloadLength(frame) == 0) {
        return makeMonVerReply(kSimulatedFirmware);
    }
    if (messageClass == kUbxClassCfg && messageId == kUbxIdCfgRst) {
        silentSeconds_ = kResetSilenceSeconds;
    }
    return {};
}

}  // namespace tessaly
