#include "cli/report_inputs.h"

#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <vector>

#include "monitor/csv_row_reader.h"
#include "monitor/receiver_monitor.h"

namespace tessaly {
namespace {

constexpr std::size_t kBlockSize = 1024;  // the input TCP link's block, as decode reads
constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kDayMs = 86400 * kSecondMs;
// The time tag counts the milliseconds of the receiver's week.
constexpr std::int64_t kWeekMs = 7 * kDayMs;

bool isRawCaptureName(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ending = path.substr(path.size() - 4);
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ending == ".ubx";
}

bool startsWithUbxSync(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char sync[2] = {};
    return in.read(sync, 2) && static_cast<unsigned char>(sync[0]) == kUbxSync1 &&
           static_cast<unsigned char>(sync[1]) == kUbxSync2;
}

std::optional<std::int64_t> modificationTimeMs(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::int64_t>(status.st_mtim.tv_sec) * kSecondMs +
           status.st_mtim.tv_nsec / 1000000;
}

// Collects the evaluated pairs of a raw capture on the receiver's clock: the time between two
// pairs is the step of their reports' time tags, across the end of the week too. A step that makes no
// sense (the receiver restarted, a tag of a reset) counts as one second.
class CaptureTimeline final : public PairLog {
public:
    CaptureTimeline(PairHistory& seconds, SummaryCounter& summary)
        : seconds_(seconds), summary_(summary) {}

    bool loggingOn() const override { return true; }
    void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) override {
        // The second of the report the row holds: when channel B's was missed, the row holds
        // channel A's report before the current one (unless there was none, at the start).
        const bool previousHeld = current.chn == 0 && previous.errStatus != kErrStatusUnknown;
        const std::int64_t tag = previousHeld ? previous.timeTag : current.timeTag;
        if (lastTag_) {
            std::int64_t step = tag - *lastTag_;
            if (step <= 0 && step + kWeekMs > 0 && step + kWeekMs <= kDayMs) step += kWeekMs;
            timeMs_ += step > 0 && step <= kDayMs ? step : kSecondMs;
        }
        lastTag_ = tag;
        if (auto second = pairSecond(previous, current, timeMs_)) {
            seconds_.append(*second);
            summary_.add(*second);
            ++count_;
        }
    }
    std::uint64_t count() const { return count_; }

private:
    PairHistory& seconds_;
    SummaryCounter& summary_;
    std::optional<std::int64_t> lastTag_;
    std::int64_t timeMs_ = 0;
    std::uint64_t count_ = 0;
};

}  // namespace

std::optional<InputRead> ReportReader::read(const std::string& path, std::string& error) {
    if (isRawCaptureName(path) || startsWithUbxSync(path)) return readRawCapture(path, error);
    return readCsvLog(path, error);
}

void ReportReader::add(const PairSecond& second) {
    history_.append(second);
    summary_.add(second);
}

std::optional<InputRead> ReportReader::readCsvLog(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    InputRead read;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (auto second = parseCsvRow(line, utc_)) {
            add(*second);
            ++read.seconds;
        } else if (!line.empty() && !first) {
            ++read.skippedLines;
        }
        first = false;
    }
    if (in.bad()) {
        error = "error while reading " + path;
        return std::nullopt;
    }
    return read;
}

std::optional<InputRead> ReportReader::readRawCapture(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    const auto endMs = modificationTimeMs(path);
    if (!in || !endMs) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    // The capture's own seconds first: where they lie is known only at its end.
    PairHistory capture(history_.capacity());
    CaptureTimeline timeline(capture, summary_);
    MonitorOutputs outputs;
    outputs.log = &timeline;
    ReceiverMonitor monitor(outputs);
    std::vector<std::uint8_t> block(kBlockSize);
    while (in) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        monitor.scanBlock(ByteView(block.data(), got));
    }
    if (in.bad()) {
        error = "error while reading " + path;
        return std::nullopt;
    }
    if (!capture.empty()) capture.shiftTimes(*endMs - capture.back().timeMs);
    for (std::size_t i = 0; i < capture.size(); ++i) history_.append(capture[i]);
    InputRead read;
    read.seconds = timeline.count();
    return read;
}

}  // namespace tessaly
