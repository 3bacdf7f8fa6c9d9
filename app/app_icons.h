// The program's two faces: the good icon, and the same with a warning sign while the monitored
// channels fail.
#pragma once

#include <QIcon>

#include "app/monitor_view.h"

namespace tessaly {

// Renders the picture; the window keeps both icons for its whole life.
QIcon renderStatusIcon(StatusIconKind kind);

}  // namespace tessaly
