#include "app/dialog_placement.h"

namespace tessaly {

ScreenPoint centredDialogPosition(const ScreenRect& owner, int dialogWidth, int dialogHeight,
                                  const ScreenRect& workArea) {
    int top = owner.top + (owner.height() - dialogHeight) / 2;
    int left = owner.left + (owner.width() - dialogWidth) / 2;
    // The order matters for a dialog larger than the work area: the second test wins.
    if (top < workArea.top) top = workArea.top;
    if (top > workArea.bottom - dialogHeight) top = workArea.bottom - dialogHeight;
    if (left < workArea.left) left = workArea.left;
    if (left > workArea.right - dialogWidth) left = workArea.right - dialogWidth;
    return {left, top};
}

}  // namespace tessaly
