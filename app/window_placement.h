// Where the main window opens: at the position stored at the last close, kept inside the work
// area of the monitor that position lies on, or centred when no position is stored.
#pragma once

#include <climits>
#include <functional>

#include "app/dialog_placement.h"

namespace tessaly {

inline constexpr int kNoStoredPosition = INT_MAX;

// `workAreaAt` gives the work area of the monitor the window would be on at a position; with no
// stored position it is asked for the window's current place.
ScreenPoint placeMainWindow(int storedTop, int storedLeft, int width, int height,
                            const std::function<ScreenRect(int top, int left)>& workAreaAt,
                            int currentTop, int currentLeft);

}  // namespace tessaly
