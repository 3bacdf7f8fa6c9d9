// Helpers for building receiver streams in tests, and for reading the recorded ones.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/ubx_frame.h"

namespace tessaly::test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text);
Bytes concat(std::initializer_list<Bytes> parts);
Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count = SIZE_MAX);

// A UBX frame with a correct checksum.
Bytes ubxFrame(std::uint8_t messageClass, std::uint8_t messageId, const Bytes& payload);

// The fields of a hand-built UBX-RXM L6 message; the defaults are an error-free channel A report
// whose L6 message starts with a matching header.
struct L6Fields {
    std::uint8_t version = 1;
    std::uint8_t svid = 2;
    std::uint16_t cnoRaw = 0x2D80;  // 45.5 dBHz
    std::uint32_t timeTag = 1000;
    std::uint8_t groupDelay = 72;
    std::uint8_t bitErrCorr = 0;
    std::uint8_t chn = 0;
    std::uint8_t msgName = 0;
    std::uint8_t errStatus = 1;
    std::uint8_t chName = 0;
    // The first seven bytes of the L6 message: preamble, PRN, vendor/facility/subframe, alert.
    std::array<std::uint8_t, 7> header = {0x1A, 0xCF, 0xFC, 0x1D, 194, 0xA9, 0x00};
    std::size_t payloadSize = 264;
};
Bytes l6Payload(const L6Fields& fields);
Bytes l6Frame(const L6Fields& fields);

// Return-stream messages of the rover, built from their documented layouts.
struct NavPvtFields {
    std::uint8_t fixType = 3;
    std::uint8_t flags = 0x01;  // gnssFixOK
    std::uint8_t numSv = 12;
    std::uint32_t hAccMm = 1500;
    std::uint16_t flags3 = 0;
    std::size_t payloadSize = 92;
};
Bytes navPvtFrame(const NavPvtFields& fields);
// statusInfo: protocol in bits 0-4, errStatus in bits 5-6, msgUsed in bits 7-8.
Bytes rxmCorFrame(std::uint8_t protocol, std::uint8_t errStatus, std::uint8_t msgUsed, std::size_t payloadSize = 12);
// "$" + body + "*hh" CR LF.
std::string nmeaSentence(const std::string& body);

// A folder of its own for one test, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A recorded stream of the repository's data/ folder, whole. Throws when it cannot be read, so
// that the test fails rather than passes on an empty stream.
Bytes recordedStream(const std::string& name);

}  // namespace tessaly::test
