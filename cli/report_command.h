// tessaly-cli report: draws a logged period, from CSV logs or raw captures in time order, as the
// live chart draws the session (PNG, SVG, or an HTML page with the summary table), and prints the
// summary as a table or as one JSON object. Needs no display: it paints offscreen.
#pragma once

#include <iosfwd>

#include "cli/report_options.h"

namespace tessaly {

// Returns the process exit status: 0, or 2 with a one-line message on `err`.
int runReport(const ReportOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tessaly
