// The 250-byte L6 messages the receiver simulator puts into its UBX-RXM L6 frames: real recorded
// messages of two receiver channels when the recorded files are there, else messages made up
// from a seed whose header looks right (preamble, vendor, facility, subframe) and whose data part
// is noise. The simulator writes PRN and alert flag itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

inline constexpr std::size_t kL6MessageSize = 250;
using L6Message = std::array<std::uint8_t, kL6MessageSize>;

class L6MessageSource {
public:
    // Made-up messages only.
    explicit L6MessageSource(std::uint64_t seed) : seed_(seed) {}
    // The recorded messages of channel 1 and 2 in `folder`; absent when either file is missing,
    // unreadable or holds no whole message.
    static std::optional<L6MessageSource> fromFolder(const std::string& folder, std::uint64_t seed);

    // The message channel `channel` (0 or 1) received in second `second`.
    L6Message message(int channel, std::uint64_t second) const;
    bool recorded() const { return !recorded_[0].empty(); }

private:
    std::uint64_t seed_;
    std::array<std::vector<L6Message>, 2> recorded_;
};

}  // namespace tessaly
