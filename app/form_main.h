// TFormMain, the program's single fixed-size window: the two channel grids with the status line
// above them, the log and command buttons, and the endpoint controls of the input and output
// links. It owns the monitor of the input stream and drives it from the window's thread.
#pragma once

#include <QIcon>
#include <QWidget>

#include <memory>
#include <string>

#include "app/pump_wait.h"
#include "app/qt_seams.h"
#include "app/ui_texts.h"
#include "monitor/monitor_view.h"
#include "monitor/receiver_monitor.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tessaly {

class StringGrid;

struct FormOptions {
    // Decides the UI language; empty means the system's locale.
    std::string localeName;
    // The 32-bit millisecond clock of the waits and the idle check; absent means the system's.
    const MillisecondClock* clock = nullptr;
};

class TFormMain : public QWidget {
    Q_OBJECT
public:
    explicit TFormMain(FormOptions options = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    // A block from the input link: scanned for frames, then (once the links exist) forwarded.
    void inputBlockReceived(ByteView block);

    // Handlers, public so that the links, the tests and the bench can drive them as events do.
    void FormActivate();
    void Timer1Timer();
    void ApplicationEvents1Idle();
    void monitorReset();

    ReceiverMonitor& monitor() { return monitor_; }
    MonitorView& monitorView() { return view_; }
    bool firstActivationDone() const { return firstActivationDone_; }
    UiLanguage uiLanguage() const { return language_; }
    StatusIconKind shownIcon() const { return shownIcon_; }
    // The message texts of the link and command checks; empty until the first activation.
    const std::string& messageText(UiText row) const;
    // Whether an input link is open: asked of the links each time.
    bool inputLinkOpen() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createInputControls();
    void createOutputControls();
    void setTabOrderOfChildren();
    void applyUiTexts();
    void showStatusIcon(StatusIconKind kind);
    void updateLabelErr();
    void FormCreate();
    void FormCloseQuery();

    FormOptions options_;
    SystemMillisecondClock systemClock_;
    const MillisecondClock& clock_;
    QtEventPump eventPump_;
    MonitorView view_;
    ReceiverMonitor monitor_;

    bool firstActivationDone_ = false;
    std::string programVersion_;
    UiLanguage language_ = UiLanguage::English;
    std::string messageTexts_[13];
    bool taskbarOverlay_ = false;
    std::uint16_t refreshCounter_ = 0;
    QIcon goodIcon_;
    QIcon warningIcon_;
    StatusIconKind shownIcon_ = StatusIconKind::Good;

    // Controls, named as the window's layout names them.
    QPushButton* ButtonCmd[4] = {};
    QLabel* LabelErr = nullptr;
    QLabel* LabelLog = nullptr;
    QPushButton* ButtonLog = nullptr;
    StringGrid* StringGrid1 = nullptr;
    StringGrid* StringGrid2 = nullptr;
    QGroupBox* GroupBoxInput = nullptr;
    QRadioButton* RadioButtonSerial = nullptr;
    QRadioButton* RadioButtonTCP = nullptr;
    QGroupBox* GroupBoxSerial = nullptr;
    QComboBox* ComboBoxPort = nullptr;
    QComboBox* ComboBoxBaud = nullptr;
    QPushButton* ButtonOpen = nullptr;
    QPushButton* ButtonClose = nullptr;
    QGroupBox* GroupBoxTCP = nullptr;
    QLineEdit* LabeledEditTcpHost = nullptr;
    QLineEdit* LabeledEditTcpPort = nullptr;
    QPushButton* ButtonTCPopen = nullptr;
    QPushButton* ButtonTCPclose = nullptr;
    QGroupBox* GroupBoxOutput = nullptr;
    QRadioButton* RadioButtonSerial2 = nullptr;
    QRadioButton* RadioButtonTCP2 = nullptr;
    QGroupBox* GroupBoxSerial2 = nullptr;
    QComboBox* ComboBoxPort2 = nullptr;
    QComboBox* ComboBoxBaud2 = nullptr;
    QPushButton* ButtonOpen2 = nullptr;
    QPushButton* ButtonClose2 = nullptr;
    QGroupBox* GroupBoxTCP2 = nullptr;
    QLineEdit* LabeledEditTcpHost2 = nullptr;
    QLineEdit* LabeledEditTCPport2 = nullptr;
    QPushButton* ButtonTCPopen2 = nullptr;
    QPushButton* ButtonTCPclose2 = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace tessaly
