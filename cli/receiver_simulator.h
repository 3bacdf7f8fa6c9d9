// The L6 receiver as a byte stream, one second at a time: per second a UBX-RXM L6 message on
// channel A, then one on channel B, with a drifting C/N0, time tags 1000 ms apart, now and then
// an erroneous or missed message, an NMEA text line or a change of satellite. It also answers
// what a client asks (version poll, reset). The same seed gives the same stream.
//
// Sockets and timing are the caller's (the simulate command); tests call it directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>

#include "cli/l6_message_source.h"
#include "cli/receiver_messages.h"

namespace tessaly {

inline constexpr const char* kSimulatedFirmware = "QZS 1.01";
// Seconds the receiver is silent after a reset.
inline constexpr int kResetSilenceSeconds = 2;

// One second of the stream and what it holds, for those who check it.
struct SimulatedSecond {
    std::uint64_t index = 0;
    Bytes bytes;
    bool silent = false;  // after a reset: no bytes at all
    std::uint32_t timeTag = 0;
    // Per channel (A, B): the error status sent, or nothing when the message was missed.
    std::array<std::optional<std::uint8_t>, 2> errStatus;
    std::array<std::uint8_t, 2> svid{};
    std::array<std::uint16_t, 2> cnoRaw{};
    bool textLine = false;
    bool satelliteChange = false;
    // Both channels erroneous: the monitor counts this second as failed.
    bool outage() const {
        return errStatus[0] == std::optional<std::uint8_t>(2) &&
               errStatus[1] == std::optional<std::uint8_t>(2);
    }
};

class ReceiverSimulator {
public:
    ReceiverSimulator(std::uint64_t seed, L6MessageSource messages);

    SimulatedSecond nextSecond();
    // What the receiver answers to a valid frame a client sent: the version reply to the
    // version poll; a reset makes the next seconds silent and answers nothing.
    Bytes answer(ByteView frame);

private:
    enum class Event { Normal, OneErroneous, BothErroneous, OneMissed };

    Event pickEvent();
    void driftCno(int channel);
    void changeSatellite(int channel);
    Bytes l6Frame(int channel, std::uint64_t second, std::uint8_t errStatus);

    std::mt19937_64 random_;
    L6MessageSource messages_;
    std::uint64_t second_ = 0;
    std::uint32_t firstTimeTag_;
    std::array<std::uint8_t, 2> svid_ = {2, 4};
    std::array<double, 2> cno_ = {44.0, 41.0};  // dBHz
    int silentSeconds_ = 0;
    bool lastWasNormal_ = false;
};

}  // namespace tessaly
