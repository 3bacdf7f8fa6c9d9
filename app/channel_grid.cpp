#include "app/channel_grid.h"

namespace tessaly {

CellHighlight cellHighlight(int column, int row, const std::string& text) {
    if (column != kValueColumn || text.empty()) return CellHighlight::None;
    switch (row) {
        case kRowErrorStatus:
            return text != "Error-free" ? CellHighlight::Red : CellHighlight::None;
        case kRowBitErrCorr:
            // Any count from 1 up; "0" and the "-" of a report that was not error-free stay plain.
            return text > "0" ? CellHighlight::Yellow : CellHighlight::None;
        case kRowAlert:
            return text.front() == '1' ? CellHighlight::Red : CellHighlight::None;
        default:
            return CellHighlight::None;
    }
}

}  // namespace tessaly
