#include "tests/test_data.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <fstream>
#include <iterator>

namespace tessaly::test {

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    const std::size_t end = from + std::min(count, bytes.size() - from);
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

Bytes ubxFrame(std::uint8_t messageClass, std::uint8_t messageId, const Bytes& payload) {
    Bytes frame = {kUbxSync1, kUbxSync2, messageClass, messageId,
                   static_cast<std::uint8_t>(payload.size() & 0xFF),
                   static_cast<std::uint8_t>(payload.size() >> 8)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const UbxChecksum ck = ubxChecksum(ByteView(frame).subspan(2));
    frame.push_back(ck.ckA);
    frame.push_back(ck.ckB);
    return frame;
}

Bytes l6Payload(const L6Fields& f) {
    Bytes p(f.payloadSize, 0);
    const Bytes full = [&] {
        Bytes b(264, 0);
        b[0] = f.version;
        b[1] = f.svid;
        b[2] = f.cnoRaw & 0xFF;
        b[3] = f.cnoRaw >> 8;
        for (int i = 0; i < 4; ++i) b[4 + i] = (f.timeTag >> (8 * i)) & 0xFF;
        b[8] = f.groupDelay;
        b[9] = f.bitErrCorr;
        b[11] = static_cast<std::uint8_t>(f.chn | f.msgName << 2 | f.errStatus << 4 | f.chName << 6);
        for (std::size_t i = 0; i < f.header.size(); ++i) b[14 + i] = f.header[i];
        for (std::size_t i = 21; i < 264; ++i) b[i] = static_cast<std::uint8_t>(i * 7);
        return b;
    }();
    for (std::size_t i = 0; i < p.size() && i < full.size(); ++i) p[i] = full[i];
    return p;
}

Bytes l6Frame(const L6Fields& fields) {
    return ubxFrame(kUbxClassRxm, kUbxIdRxmL6, l6Payload(fields));
}

Bytes navPvtFrame(const NavPvtFields& f) {
    Bytes p(f.payloadSize, 0);
    p[20] = f.fixType;
    p[21] = f.flags;
    p[23] = f.numSv;
    for (int i = 0; i < 4; ++i) p[40 + i] = static_cast<std::uint8_t>(f.hAccMm >> (8 * i));
    if (p.size() >= 80) {
        p[78] = static_cast<std::uint8_t>(f.flags3 & 0xFF);
        p[79] = static_cast<std::uint8_t>(f.flags3 >> 8);
    }
    return ubxFrame(0x01, 0x07, p);
}

Bytes rxmCorFrame(std::uint8_t protocol, std::uint8_t errStatus, std::uint8_t msgUsed, std::size_t payloadSize) {
    Bytes p(payloadSize, 0);
    p[0] = 1;  // version
    const std::uint32_t statusInfo = protocol | errStatus << 5 | msgUsed << 7;
    for (int i = 0; i < 4 && 4 + i < static_cast<int>(p.size()); ++i) p[4 + i] = static_cast<std::uint8_t>(statusInfo >> (8 * i));
    return ubxFrame(0x02, 0x34, p);
}

std::string nmeaSentence(const std::string& body) {
    unsigned checksum = 0;
    for (const char c : body) checksum ^= static_cast<unsigned char>(c);
    const char* hex = "0123456789ABCDEF";
    return "$" + body + "*" + hex[checksum >> 4] + hex[checksum & 0xF] + "\r\n";
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes recordedStream(const std::string& name) {
    const std::string path = std::string(TESSALY_DATA_DIR) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the recorded stream " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tessaly::test
