// Reads the rows of the CSV log back into seconds of the history, for the report of a logged
// period. A row must look as the log writes it (see csv_row.h): 30 fields, a time stamp, two
// report blocks of 14 fields each either filled or empty, and the both-failed flag. Anything
// else (the header, a line cut off when the program stopped, a field edited by hand) is not a
// row, and the caller counts it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "monitor/pair_history.h"

namespace tessaly {

// The C/N0 field in thousandths of a dBHz: digits, a point and at most three decimals.
std::optional<std::int32_t> cnoMilliOf(std::string_view text);

// One line without its CR LF. The time stamp is read as local time, or as UTC when `utc`.
std::optional<PairSecond> parseCsvRow(std::string_view line, bool utc);

}  // namespace tessaly
