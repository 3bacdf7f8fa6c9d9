#include "app/window_placement.h"

namespace tessaly {

ScreenPoint placeMainWindow(int storedTop, int storedLeft, int width, int height,
                            const std::function<ScreenRect(int top, int left)>& workAreaAt,
                            int currentTop, int currentLeft) {
    int top = storedTop;
    int left = storedLeft;
    ScreenRect work;
    if (top == kNoStoredPosition || left == kNoStoredPosition) {
        // Either value missing means no position: centred on the monitor the window is on.
        work = workAreaAt(currentTop, currentLeft);
        top = work.top + (work.height() - height) / 2;
        left = work.left + (work.width() - width) / 2;
    } else {
        work = workAreaAt(top, left);
    }
    // The order matters for a window larger than the work area: its right and top edges win.
    if (left < work.left) left = work.left;
    if (top > work.bottom - height) top = work.bottom - height;
    if (left > work.right - width) left = work.right - width;
    if (top < work.top) top = work.top;
    return {left, top};
}

}  // namespace tessaly
