#include "app/form_main.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <chrono>
#include <thread>

#include "app/app_icons.h"
#include "app/port_combo_box.h"
#include "app/qt_owner_thread.h"
#include "station/program_version.h"
#include "app/string_grid.h"

namespace tessaly {
namespace {

constexpr int kClientWidth = 482;
constexpr int kClientHeight = 409;
constexpr int kPortListWidth = 345;  // wide enough for the port descriptions

}  // namespace

TFormMain::TFormMain(FormOptions options, QWidget* parent)
    : QWidget(parent),
      options_(std::move(options)),
      clock_(options_.clock ? *options_.clock : systemClock_),
      timer_(options_.timer ? *options_.timer : windowTimer_) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tessaly Monitor"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    goodIcon_ = renderStatusIcon(StatusIconKind::Good);
    warningIcon_ = renderStatusIcon(StatusIconKind::Warning);
    setWindowIcon(goodIcon_);

    createControls();
    createStation();
    connectLinkControls();
    connect(ButtonLog, &QPushButton::clicked, this, &TFormMain::ButtonLogClick);
    connect(ButtonChart, &QPushButton::clicked, this, &TFormMain::ButtonChartClick);
    for (int i = 0; i < 4; ++i) {
        connect(ButtonCmd[i], &QPushButton::clicked, this, [this, i] { commandRun(i); });
    }
    view_.onGridChanged = [this](Channel channel) {
        const int side = channel == Channel::A ? 0 : 1;
        gridChanged_[side] = true;
        (side == 0 ? StringGrid1 : StringGrid2)->update();
    };
    view_.onStatusChanged = [this] { updateLabelErr(); };
    view_.setLastIdleCheck(clock_.nowMs());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormMain::Timer1Timer);
    Timer1->start();

    // The application's idle notification: the event loop is about to wait for events. The
    // refresh works on every tenth notification; a quiet window would get one a second (the
    // timer's), so a light heartbeat wakes the loop often enough for a refresh about once a
    // second, without polling anything.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TFormMain::ApplicationEvents1Idle);
    }
    auto* heartbeat = new QTimer(this);
    heartbeat->setInterval(100);
    connect(heartbeat, &QTimer::timeout, this, &TFormMain::superviseLinks);
    heartbeat->start();
    FormCreate();
}

TFormMain::~TFormMain() {
    // No link reaches the window from here on; one still handing a block over is released at once.
    station_->stop();
    // The controls outlive this part of the window and signal while they are taken down (a
    // combo box closes its list): none of that may reach a handler any more.
    for (QObject* control : findChildren<QObject*>()) control->disconnect(this);
}

void TFormMain::FormCreate() {
    // Linux desktops have no overlay on the taskbar button: the status switches the window icon.
    taskbarOverlay_ = false;
}

bool TFormMain::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate) FormActivate();
    // A window that is never activated (offscreen, or an X display without a window manager)
    // still comes up: the first show does the start-up work right after the window is on screen.
    if (event->type() == QEvent::Show && !firstActivationDone_) {
        QTimer::singleShot(0, this, &TFormMain::FormActivate);
    }
    return handled;
}

void TFormMain::FormActivate() {
    if (firstActivationDone_) return;
    // Set before anything else: message boxes below re-activate the window.
    firstActivationDone_ = true;

    programVersion_ = programVersionString();
    setWindowTitle(windowTitle() + QLatin1Char(' ') + QString::fromStdString(programVersion_));
    // A settings file that cannot be located is reported by the general error handler; the
    // window then keeps its initial values and reopens nothing.
    settingsPath_ = locateSettings();
    loadSettings();
    view_.setNameLists(NameLists::fromSettings(settings_.svidPrn, settings_.mfgId));
    view_.setTitles();
    ComboBoxPort->view()->setMinimumWidth(kPortListWidth);
    ComboBoxPort2->view()->setMinimumWidth(kPortListWidth);
    (RadioButtonSerial->isChecked() ? ButtonOpen : ButtonTCPopen)->setFocus();
    applyUiTexts();
    reopenLinks();
    QCoreApplication::processEvents();
}

void TFormMain::applyUiTexts() {
    const std::string locale =
        options_.localeName.empty() ? QLocale::system().name().toStdString() : options_.localeName;
    language_ = uiLanguageForLocale(locale);
    const auto hint = [this](QWidget* widget, UiText row) {
        widget->setToolTip(QString::fromStdString(uiText(row, language_)));
    };
    hint(LabelErr, UiText::HintStatusLine);
    hint(ButtonLog, UiText::HintSaveLog);
    hint(RadioButtonSerial, UiText::HintSerialInput);
    hint(RadioButtonTCP, UiText::HintTcpInput);
    hint(RadioButtonSerial2, UiText::HintSerialOutput);
    hint(RadioButtonTCP2, UiText::HintTcpOutput);
    for (UiText row : {UiText::SamePort, UiText::SameHostAndPort, UiText::CannotOpenComPort,
                       UiText::CannotOpenTcpHost, UiText::WrongChecksum, UiText::CommandInvalid}) {
        messageTexts_[static_cast<int>(row) - 1] = uiText(row, language_);
    }
    view_.setDecimalSeparator(QLocale::system().decimalPoint().toStdString());
}

const std::string& TFormMain::messageText(UiText row) const {
    return messageTexts_[static_cast<int>(row) - 1];
}

void TFormMain::monitorReset() { station_->resetMonitor(); }

void TFormMain::Timer1Timer() {
    view_.timerTick();
    model_.timerTick(station_->rover(), clock_.nowMs(), output_->isOpen(), language_);
    showRoverLine(model_.view(facts()).rover);
}

void TFormMain::showRoverLine(const RoverLine& line) {
    // The same red and yellow as the grids' trouble cells; the hint is grey text.
    QPalette colours = palette();
    if (line.colour == RoverLineColour::Red) colours.setColor(QPalette::Window, kTroubleRed);
    if (line.colour == RoverLineColour::Yellow) colours.setColor(QPalette::Window, kTroubleYellow);
    if (line.colour == RoverLineColour::Grey) colours.setColor(QPalette::WindowText, Qt::gray);
    if (line.text.empty()) colours = palette();
    LabelRover->setPalette(colours);
    LabelRover->setText(QString::fromStdString(line.text));
}

void TFormMain::ApplicationEvents1Idle() {
    // The link controls and the status icon are refreshed on every tenth notification only.
    if (++refreshCounter_ % 10 != 0) return;
    linkControlRefresh();
    // The reception check brings the monitor's icon state up to date; which icon shows is the
    // model's to decide, as a lost link outweighs it.
    view_.idleCheck(clock_.nowMs(), inputLinkOpen(), station_->monitor());
    const StatusIconKind icon = model_.view(facts()).icon;
    if (icon != shownIcon_) showStatusIcon(icon);
}

MainWindowFacts TFormMain::facts() const {
    const auto linkFacts = [](const LinkEndpoint& link) {
        LinkFacts facts;
        switch (link.state()) {
            case LinkState::Closed: facts.activity = LinkActivity::Closed; break;
            case LinkState::Opening: facts.activity = LinkActivity::Opening; break;
            case LinkState::Open: facts.activity = LinkActivity::Open; break;
            case LinkState::Reconnecting: facts.activity = LinkActivity::Reconnecting; break;
        }
        facts.serial = link.address().kind == LinkAddress::Kind::Serial;
        return facts;
    };
    MainWindowFacts facts;
    facts.input = linkFacts(*input_);
    facts.output = linkFacts(*output_);
    facts.monitorStatus = view_.statusText();
    facts.monitorSkipped = monitorSkipped();
    facts.monitorIcon = view_.iconState();
    facts.language = language_;
    return facts;
}

void TFormMain::showStatusIcon(StatusIconKind kind) {
    shownIcon_ = kind;
    setWindowIcon(kind == StatusIconKind::Good ? goodIcon_ : warningIcon_);
}

void TFormMain::updateLabelErr() {
    const StatusLineView line = model_.view(facts()).status;
    LabelErr->setText(QString::fromStdString(line.text));
    LabelErr->setStyleSheet(line.colour == StatusLineColour::Red ? QStringLiteral("color: #c00000;") : QString());
    LabelErr->adjustSize();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void TFormMain::FormCloseQuery() {
    // Plain sleeps, no events: the window is going away and nothing may run in between.
    using std::chrono::milliseconds;
    closing_ = true;
    // A run cut short leaves its button clickable, and sends nothing to a link being closed.
    station_->timedRuns().cancelAll();
    for (QPushButton* button : ButtonCmd) button->setEnabled(true);
    // The links open now, or being reopened, are opened again at the next start.
    recordOpenLinks();
    for (LinkEndpoint* link : {input_, output_}) {
        const bool serialOpen = link->isOpen() && link->address().kind == LinkAddress::Kind::Serial;
        link->close();
        if (serialOpen) std::this_thread::sleep_for(milliseconds(300));
    }
    if (logging()) {
        std::this_thread::sleep_for(milliseconds(50));
        station_->stopLogs();
    }
    view_.setNameLists({});
    saveSettings();
}

}  // namespace tessaly
