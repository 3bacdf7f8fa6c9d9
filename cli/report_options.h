// The arguments of tessaly-cli report: the inputs in time order, the output file, whose name
// says what it is, and the JSON and UTC switches. No toolkit here, so that bad use is told
// before anything is drawn.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

enum class ReportFormat { Png, Svg, Html };

struct ReportOptions {
    std::vector<std::string> inputs;
    std::string outputPath;
    ReportFormat format = ReportFormat::Png;
    bool json = false;
    // The CSV logs' time stamps are UTC (as written with UTC=1 or --utc), and the chart's clock
    // is UTC; otherwise both are local time.
    bool utc = false;
};

// By the file name's ending, in any case: .png, .svg, .html or .htm.
std::optional<ReportFormat> reportFormatOf(std::string_view path);

// Reads the arguments after "report". On failure returns nothing and sets `error`.
std::optional<ReportOptions> parseReportOptions(const std::vector<std::string>& args,
                                                std::string& error);

}  // namespace tessaly
