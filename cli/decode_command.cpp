#include "cli/decode_command.h"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <vector>

#include "cli/number_option.h"
#include "cli/block_replay.h"
#include "cli/decode_return.h"
#include "monitor/csv_log.h"
#include "monitor/csv_row.h"
#include "monitor/receiver_monitor.h"

namespace tessaly {
namespace {

class LastStatusText final : public StatusLine {
public:
    void setStatusText(const std::string& text) override { text_ = text; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

std::string hexByte(unsigned value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string cnoText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(value));
    return text;
}

void printSummary(std::ostream& out, const DecodeOptions& options, std::uint64_t bytes,
                  const ReceiverMonitor& monitor, const LastStatusText& status) {
    const ScanCounters& counts = monitor.counters();
    std::uint64_t valid = 0;
    for (const auto& [key, count] : counts.validFrames) valid += count;
    out << "File: " << options.inputPath << " (" << bytes << " bytes, blocks of "
        << options.blockSize << ")\n";
    out << "Valid UBX frames: " << valid << "\n";
    for (const auto& [key, count] : counts.validFrames) {
        out << "  class " << hexByte(key >> 8) << " ID " << hexByte(key) << ": " << count << "\n";
    }
    out << "Frames dropped: " << counts.framesDropped << " (wrong checksum: " << counts.framesDroppedBy.checksum
        << ", length over " << kUbxFrameLengthCap << " bytes: " << counts.framesDroppedBy.length << ")\n";
    out << "L6 frames too short to decode: " << counts.shortL6Frames << "\n";
    out << "Text lines removed: " << counts.textLinesRemoved << "\n";
    out << "L6 reports: channel A " << counts.l6Reports[0] << ", channel B "
        << counts.l6Reports[1] << "\n";
    const L6Decoder& decoder = monitor.decoder();
    out << "Pair evaluations: " << decoder.pairEvaluations() << "\n";
    out << "Both-failed count: " << decoder.bothFailedCount() << "\n";
    out << "C/N0 average [dBHz]: channel A " << cnoText(decoder.cnoAverage(Channel::A))
        << ", channel B " << cnoText(decoder.cnoAverage(Channel::B)) << "\n";
    out << "Firmware: " << monitor.firmwareText().value_or("(no version reply)") << "\n";
    out << "Status line: " << status.text() << "\n";
}

}  // namespace

std::optional<DecodeOptions> parseDecodeOptions(const std::vector<std::string>& args,
                                                std::string& error) {
    DecodeOptions options;
    bool haveInput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--block" || arg == "--csv";
        if (takesValue && i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        if (arg == "--block") {
            const auto size = parseNumberOption<std::size_t>(arg, args[++i], 1, kMaxDecodeBlockSize, error);
            if (!size) return std::nullopt;
            options.blockSize = *size;
        } else if (arg == "--csv") {
            options.csvPath = args[++i];
        } else if (arg == "--utc") {
            options.utc = true;
        } else if (arg == "--return") {
            options.returnStream = true;
        } else if (arg.starts_with("-") && arg != "-") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else if (!haveInput) {
            options.inputPath = arg;
            haveInput = true;
        } else {
            error = "only one file can be decoded at a time";
            return std::nullopt;
        }
    }
    if (!haveInput) {
        error = "decode needs the file of a recorded receiver stream";
        return std::nullopt;
    }
    return options;
}

int runDecode(const DecodeOptions& options, std::ostream& out, std::ostream& err) {
    if (options.returnStream) return runDecodeReturn(options, out, err);
    std::ifstream input(options.inputPath, std::ios::binary);
    if (!input) {
        err << "tessaly-cli decode: cannot read " << options.inputPath << "\n";
        return 2;
    }
    const SystemWallClock clock;
    CsvLog log(clock);
    // The first failure's reason, kept even when later rows were written again.
    std::string writeFailure;
    log.setNoticeHandler([&writeFailure](const LogFileNotice& notice) {
        if (writeFailure.empty()) writeFailure = notice.text;
    });
    if (options.csvPath &&
        !log.start(*options.csvPath, std::string(kDefaultCsvHeader), options.utc)) {
        err << "tessaly-cli decode: cannot create " << *options.csvPath << "\n";
        return 2;
    }
    LastStatusText status;
    MonitorOutputs outputs;
    outputs.statusLine = &status;
    outputs.log = &log;
    outputs.clock = &clock;
    ReceiverMonitor monitor(outputs);

    const auto total = replayInBlocks(input, options.blockSize, [&](ByteView block) { monitor.scanBlock(block); });
    if (!total) {
        err << "tessaly-cli decode: error while reading " << options.inputPath << "\n";
        return 2;
    }
    log.stop();
    printSummary(out, options, *total, monitor, status);
    if (log.file().lost() > 0) {
        err << "tessaly-cli decode: " << writeFailure << "; " << log.file().lost() << " lines of the CSV log lost\n";
        return 1;
    }
    return 0;
}

}  // namespace tessaly
