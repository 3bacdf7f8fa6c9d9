// The editable combo box of a serial port field: it tells the window when its list is about to
// drop down (to fill it with the ports present) and when it has closed up (to tidy the text).
#pragma once

#include <QComboBox>

namespace tessaly {

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override {
        emit droppingDown();
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        emit closedUp();
    }

signals:
    void droppingDown();
    void closedUp();
};

}  // namespace tessaly
