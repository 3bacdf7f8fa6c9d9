// The rows of the CSV log: one per evaluated pair of reports, 30 fields: a time stamp, the
// channel A report (the previous report of the pair), the channel B report (the current one) and
// a flag that says whether both failed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "monitor/l6_report.h"

namespace tessaly {

// The header line a new settings file starts with; it names the 30 fields of a row.
inline constexpr std::string_view kDefaultCsvHeader =
    "DateTime,VersionA,svidA,cnoA,timeTagA,groupDelayA,bitErrCorrA,chnA,msgNameA,errStatusA,PRNA,"
    "VenderIDA,MFG-IDA,SubframeA,AlertA,VersionB,svidB,cnoB,timeTagB,groupDelayB,bitErrCorrB,chnB,"
    "msgNameB,errStatusB,PRNB,VenderIDB,MFG-IDB,SubframeB,AlertB,BothError";

// The C/N0 field: "%5.3f" with '.' as the decimal separator whatever the locale. A C/N0 is never
// negative and always has a digit before the point, so the width of five never adds a blank.
std::string csvCnoText(float cno);

// The 14 fields of one report; the header fields only for an error-free report.
std::string csvReportBlock(const L6ChannelReport& report);

// The whole line, CR LF included, or nothing when both reports have an unknown error status.
std::optional<std::string> csvRow(const L6ChannelReport& previous, const L6ChannelReport& current,
                                  std::string_view timestamp);

}  // namespace tessaly
