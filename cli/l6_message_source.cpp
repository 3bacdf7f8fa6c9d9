#include "cli/l6_message_source.h"

#include <fstream>
#include <iterator>
#include <random>

namespace tessaly {
namespace {

// The file names of the recorded messages, one hour of one message a second on each channel.
constexpr const char* kRecordedFiles[2] = {"claslib_2025157U_ch1.l6", "claslib_2025157U_ch2.l6"};

std::vector<L6Message> readMessages(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::vector<L6Message> messages(bytes.size() / kL6MessageSize);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        for (std::size_t k = 0; k < kL6MessageSize; ++k) {
            messages[i][k] = static_cast<std::uint8_t>(bytes[i * kL6MessageSize + k]);
        }
    }
    return messages;
}

}  // namespace

std::optional<L6MessageSource> L6MessageSource::fromFolder(const std::string& folder,
                                                           std::uint64_t seed) {
    L6MessageSource source(seed);
    for (int channel = 0; channel < 2; ++channel) {
        source.recorded_[channel] = readMessages(folder + "/" + kRecordedFiles[channel]);
        if (source.recorded_[channel].empty()) return std::nullopt;
    }
    return source;
}

L6Message L6MessageSource::message(int channel, std::uint64_t second) const {
    const auto& recorded = recorded_[channel];
    if (!recorded.empty()) return recorded[second % recorded.size()];

    L6Message message{};
    std::mt19937_64 noise(seed_ ^ (second * 2 + static_cast<std::uint64_t>(channel)) *
                                      0x9E3779B97F4A7C15ULL);
    for (auto& byte : message) byte = static_cast<std::uint8_t>(noise());
    message[0] = 0x1A;
    message[1] = 0xCF;
    message[2] = 0xFC;
    message[3] = 0x1D;
    // Vendor ID 5 and facility ID 1, as the recorded messages carry them; a subframe is five
    // messages, the first one of each has the subframe indicator.
    message[5] = static_cast<std::uint8_t>(0xA8 | (second % 5 == 0 ? 1 : 0));
    return message;
}

}  // namespace tessaly
