// The state of one channel's grid: two columns (titles, values) of 19 rows, of which rows 0 to 14
// are used, and the count of timer ticks since the channel last reported. The window's grid
// widget only paints this; the rules that fill it live in MonitorView.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tessaly {

inline constexpr int kGridColumns = 2;
inline constexpr int kGridRows = 19;
inline constexpr int kGridUsedRows = 15;
inline constexpr int kTitleColumn = 0;
inline constexpr int kValueColumn = 1;

// Row numbers with a meaning of their own for the view.
inline constexpr int kRowErrorStatus = 3;
inline constexpr int kRowBitErrCorr = 4;
inline constexpr int kRowSvid = 5;
inline constexpr int kRowGroupDelay = 9;  // the last receiver row; the L6 header rows follow
inline constexpr int kRowPrn = 10;
inline constexpr int kRowAlert = 14;

// English in both languages.
inline constexpr std::array<const char*, kGridUsedRows> kGridRowTitles = {
    "Channel name", "Version",  "Time tag[ms]",    "Error status", "bitErrCorr",
    "SV-ID",        "Receiver channel", "C/NO[dBHz]", "Message name", "Group delay[ns]",
    "PRN",          "Vender ID", "MFG-ID",         "Subframe Indicator", "Alert"};

class ChannelGrid {
public:
    const std::string& cell(int column, int row) const { return cells_[row][column]; }
    void setCell(int column, int row, std::string text) { cells_[row][column] = std::move(text); }
    void clearValues() {
        for (int row = 0; row < kGridUsedRows; ++row) cells_[row][kValueColumn].clear();
    }

    // Ticks of the one-second timer since this channel last reported.
    std::int64_t silentTicks = 0;

private:
    std::array<std::array<std::string, kGridColumns>, kGridRows> cells_{};
};

// How a cell signals trouble: a red or yellow background, or none.
enum class CellHighlight { None, Red, Yellow };
CellHighlight cellHighlight(int column, int row, const std::string& text);

}  // namespace tessaly
