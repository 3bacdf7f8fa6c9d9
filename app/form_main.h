// TFormMain, the program's single fixed-size window: the two channel grids with the status line
// above them, the log and command buttons, and the endpoint controls of the input and output
// links. It is the station's face on the desktop: the station runs on the window's thread.
#pragma once

#include <QIcon>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/main_window_model.h"
#include "app/qt_seams.h"
#include "app/rover_line.h"
#include "app/ui_texts.h"
#include "links/serial/comm_x.h"
#include "app/monitor_view.h"
#include "station/station.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tessaly {

class PortComboBox;
class QtOwnerThread;
class StringGrid;
class TFormChart;

struct FormOptions {
    // Decides the UI language; empty means the system's locale.
    std::string localeName;
    // The 32-bit millisecond clock of the idle check and the rover line; absent means the system's.
    const MillisecondClock* clock = nullptr;
    // The timer of the command runs and of the output's Close pause; absent means the window's.
    DelayTimer* timer = nullptr;
    // Where the messages go; absent means the centred message box. Tests record them here.
    std::function<void(const QString& text)> showMessage;
    // The log's file dialog and its overwrite question; absent means the real dialogs.
    std::function<QString(const QString& folder)> chooseLogFile;
    std::function<bool(const QString& question)> askYesNo;
    // Where the settings file is looked for: the program's own path, its arguments (an argument
    // ending in ".ini" names the file) and the per-user configuration folder.
    std::string programPath;
    std::vector<std::string> arguments;
    std::string configHome;
};

class TFormMain : public QWidget {
    Q_OBJECT
public:
    explicit TFormMain(FormOptions options = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    // A block as the input link's reader would hand it on, but on the window's thread and watched
    // at once: scanned for frames (and captured), then forwarded to the output side.
    void inputBlockReceived(ByteView block);
    // Relayed bytes the monitor did not see because it was behind, since the window opened.
    std::uint64_t monitorSkipped() const;

    // Handlers, public so that the links, the tests and the bench can drive them as events do.
    void FormActivate();
    void Timer1Timer();
    void ApplicationEvents1Idle();
    void monitorReset();

    void ButtonOpenClick();
    void ButtonCloseClick();
    void ButtonOpen2Click();
    void ButtonClose2Click();
    void ButtonTCPopenClick();
    void ButtonTCPcloseClick();
    void ButtonTCPopen2Click();
    void ButtonTCPclose2Click();
    void RadioButtonSerialClick();
    void RadioButtonTCPClick();
    void RadioButtonSerial2Click();
    void RadioButtonTCP2Click();
    void ComboBoxPortDropDown();
    void ComboBoxPort2DropDown();
    void ComboBoxPortCloseUp() { portTidy_ = true; }
    void ComboBoxPort2CloseUp() { portTidy_ = true; }
    void ButtonLogClick();
    // Opens the live history chart, or brings it to the front.
    void ButtonChartClick();
    void ButtonCmd1Click() { commandRun(0); }
    void ButtonCmd2Click() { commandRun(1); }
    void ButtonCmd3Click() { commandRun(2); }
    void ButtonCmd4Click() { commandRun(3); }
    // From the heartbeat: notices lost links and reopens them when their attempt is due.
    void superviseLinks();
    // Sends a command text to every open input link: frames checked or completed, CR LF after
    // each. The frames before the first "|" leave at once, each later one a second after the
    // one before it, from the event loop.
    void sendCommandText(std::string_view text);

    LinkEndpoint& inputLink() { return *input_; }
    LinkEndpoint& outputLink() { return *output_; }
    TCommX& CommX1() { return input_->serial(); }
    TCommX& CommX2() { return output_->serial(); }
    TcpLink& IdTCPClient1() { return input_->tcp(); }
    TcpLink& IdTCPClient2() { return output_->tcp(); }
    const AppSettings& settings() const { return settings_; }
    const std::string& settingsPath() const { return settingsPath_; }
    bool logging() const { return station_->logging(); }
    ReceiverMonitor& monitor() { return station_->monitor(); }
    // What the high-precision receiver says on the output link.
    const RoverMonitor& rover() const { return station_->rover(); }
    // The evaluated pairs since the last monitor reset, a day at most, for the live chart.
    const PairHistory& history() const { return station_->history(); }
    TFormChart* formChart() const { return formChart_; }
    MonitorView& monitorView() { return view_; }
    bool firstActivationDone() const { return firstActivationDone_; }
    UiLanguage uiLanguage() const { return language_; }
    StatusIconKind shownIcon() const { return shownIcon_; }
    // The message texts of the link and command checks; empty until the first activation.
    const std::string& messageText(UiText row) const;
    // Whether the input link is open or being reopened.
    bool inputLinkOpen() const { return input_->wanted(); }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createInputControls();
    void createOutputControls();
    void setTabOrderOfChildren();
    void applyUiTexts();
    // What the window model reads from the links and the monitor.
    MainWindowFacts facts() const;
    void showStatusIcon(StatusIconKind kind);
    void updateLabelErr();
    void showRoverLine(const RoverLine& line);
    void FormCreate();
    void FormCloseQuery();
    void createStation();
    void repaintChangedGrids();
    void connectLinkControls();
    void linkControlRefresh();
    void paintSide(const LinkControls& shown, QPushButton* tcpOpen, QPushButton* tcpClose, QPushButton* open,
                   QPushButton* close, QWidget* labelPort, QWidget* labelBaud, QList<QWidget*> kindAndFields);
    void openSerial(LinkEndpoint& link, const LinkEndpoint& other, PortComboBox* portField, QComboBox* baudField,
                    QPushButton* open, bool isInput);
    void openTcp(const LinkEndpoint& other, QLineEdit* hostField, QLineEdit* portField,
                 QPushButton* open, bool isInput);
    void openSide(bool isInput, QPushButton* open, const std::function<LinkAddress()>& address, UiText failure);
    void linkNoticed(bool isInput, const LinkNotice& notice);
    void linkClosedByUser(bool isInput);
    void fillPortList(PortComboBox* combo);
    void message(UiText row);
    void showMessage(const QString& text);
    void commandRun(int index);
    // Whether the command may go: asked when it clears what the receiver keeps.
    bool commandConfirmed(const std::string& text, const std::string& name);
    void commandAnswered(const CommandAnswer& answer);
    void layOutCommandButtons();
    void createChartButton();
    void startLog();
    void stopLog(const QString& caption);
    void setLogLabel(const QString& text);
    QString chooseLogFile(const QString& folder);
    bool askYesNo(const QString& question);
    std::string locateSettings();
    AppSettings settingsFromControls() const;
    void loadSettings();
    void saveSettings();
    void placeWindow(int storedTop, int storedLeft);
    void reopenLinks();
    void recordOpenLinks();

    // The log's file name ends where the chart button begins, the gap as before the log button.
    static constexpr int kLogLabelRight = 382;

    FormOptions options_;
    SystemMillisecondClock systemClock_;
    const MillisecondClock& clock_;
    QtDelayTimer windowTimer_{this};
    DelayTimer& timer_;
    SystemWallClock wallClock_;  // the log's, the history's and the chart's
    AppSettings settings_;
    std::string settingsPath_;
    bool settingsSavable_ = true;  // false for a path that is no regular file
    QString logDir_;  // the log dialog's initial folder
    MonitorView view_;
    // The links, monitors, logs and commands; the command runs and the Close pause run from the
    // window's timer and are dropped when the window closes.
    std::unique_ptr<Station> station_;
    LinkEndpoint* input_ = nullptr;   // station_'s
    LinkEndpoint* output_ = nullptr;  // station_'s
    // What the window shows, decided from the links and the monitor; the controls only paint it.
    MainWindowModel model_;
    // The name of the command that last sent each UBX message (class << 8 | ID), for its answer.
    std::map<std::uint16_t, std::string> commandNames_;
    bool closing_ = false;  // the window is closing: nothing opens any more
    bool reopeningAtStart_ = false;  // the links saved as open are being opened again
    bool portTidy_ = false;
    // A grid has changed since the input's last batch: painted at the batch's end.
    bool gridChanged_[2] = {};

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
    QLabel* LabelRover = nullptr;
    QLabel* LabelLog = nullptr;
    QPushButton* ButtonLog = nullptr;
    QPushButton* ButtonChart = nullptr;
    TFormChart* formChart_ = nullptr;  // made on the first click, a child window of this one
    StringGrid* StringGrid1 = nullptr;
    StringGrid* StringGrid2 = nullptr;
    QGroupBox* GroupBoxInput = nullptr;
    QRadioButton* RadioButtonSerial = nullptr;
    QRadioButton* RadioButtonTCP = nullptr;
    QGroupBox* GroupBoxSerial = nullptr;
    QLabel* LabelPort = nullptr;
    QLabel* LabelBaud = nullptr;
    PortComboBox* ComboBoxPort = nullptr;
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
    QLabel* LabelPort2 = nullptr;
    QLabel* LabelBaud2 = nullptr;
    PortComboBox* ComboBoxPort2 = nullptr;
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
