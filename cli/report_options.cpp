#include "cli/report_options.h"

#include <algorithm>
#include <cctype>

namespace tessaly {
namespace {

bool endsWithNoCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - static_cast<long>(ending.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace

std::optional<ReportFormat> reportFormatOf(std::string_view path) {
    if (endsWithNoCase(path, ".png")) return ReportFormat::Png;
    if (endsWithNoCase(path, ".svg")) return ReportFormat::Svg;
    if (endsWithNoCase(path, ".html") || endsWithNoCase(path, ".htm")) return ReportFormat::Html;
    return std::nullopt;
}

std::optional<ReportOptions> parseReportOptions(const std::vector<std::string>& args,
                                                std::string& error) {
    ReportOptions options;
    bool haveOutput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            options.outputPath = args[++i];
            haveOutput = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--utc") {
            options.utc = true;
        } else if (arg.starts_with("-") && arg != "-") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.inputs.empty()) {
        error = "report needs at least one CSV log or raw capture";
        return std::nullopt;
    }
    if (!haveOutput) {
        error = "report needs -o OUT (.png, .svg or .html)";
        return std::nullopt;
    }
    const auto format = reportFormatOf(options.outputPath);
    if (!format) {
        error = "the output " + options.outputPath + " must end in .png, .svg or .html";
        return std::nullopt;
    }
    options.format = *format;
    return options;
}

}  // namespace tessaly
