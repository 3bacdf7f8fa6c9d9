// The centred message box through which the program talks to the user, and the work area of the
// monitor a window is on.
#pragma once

#include <QMessageBox>
#include <QRect>

class QWidget;

namespace tessaly {

// The available geometry of the screen the window is on (the primary screen without a window).
QRect workAreaOf(const QWidget* window);

// Shows a modal standard message box centred on `owner` and kept inside its monitor's work area;
// returns the button that closed it. Without an owner the box opens where the toolkit puts it.
QMessageBox::StandardButton centredMessageBox(QWidget* owner, const QString& text,
                                              QMessageBox::Icon kind,
                                              QMessageBox::StandardButtons buttons);

}  // namespace tessaly
