// Where the centred message box goes: centred on its owner window, then pushed into the work
// area of the owner's monitor, so a box never opens off screen even when the window lies partly
// outside it.
#pragma once

namespace tessaly {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

struct ScreenPoint {
    int left = 0, top = 0;
    bool operator==(const ScreenPoint&) const = default;
};

// A dialog larger than the work area ends with its bottom or right edge on the work area's.
ScreenPoint centredDialogPosition(const ScreenRect& owner, int dialogWidth, int dialogHeight,
                                  const ScreenRect& workArea);

}  // namespace tessaly
