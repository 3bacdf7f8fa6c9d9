// The settings file of the window: located and read once at the first activation, written once
// at close. Reading fills the controls from the settings; the save gathers the controls' state
// back. Which keys there are is the business of the settings table (settings_keys.h).
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>

#include <filesystem>

#include "app/form_main.h"
#include "app/message_box.h"
#include "app/port_combo_box.h"
#include "settings/profile_file.h"
#include "station/program_version.h"
#include "app/settings_keys.h"
#include "settings/settings_location.h"
#include "app/window_placement.h"

namespace tessaly {
namespace {

std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }
std::string textOf(const QComboBox* field) { return field->currentText().toStdString(); }

ScreenRect toScreenRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

struct SideControls {
    QComboBox* comPort;
    QComboBox* comBaud;
    QLineEdit* tcpHost;
    QLineEdit* tcpPort;
    QRadioButton* serial;
    QRadioButton* tcp;
};

LinkSideSettings sideOf(const SideControls& controls) {
    return {textOf(controls.comPort), textOf(controls.comBaud), textOf(controls.tcpHost), textOf(controls.tcpPort),
            controls.serial->isChecked()};
}

void showSide(const LinkSideSettings& side, const SideControls& controls) {
    controls.comPort->setEditText(QString::fromStdString(side.comPort));
    controls.comBaud->setEditText(QString::fromStdString(side.comBaud));
    controls.tcpHost->setText(QString::fromStdString(side.tcpHost));
    controls.tcpPort->setText(QString::fromStdString(side.tcpPort));
    // The group boxes follow the checked kind as they do for a click.
    (side.serial ? controls.serial : controls.tcp)->setChecked(true);
}

}  // namespace

std::string TFormMain::locateSettings() {
    SettingsLocationInputs inputs;
    inputs.programPath = options_.programPath.empty() ? runningProgramPath() : std::filesystem::path(options_.programPath);
    inputs.arguments = options_.arguments;
    inputs.currentFolder = std::filesystem::current_path();
    inputs.configHome = options_.configHome.empty() ? defaultConfigHome() : std::filesystem::path(options_.configHome);
    return locateSettingsFile(inputs).string();
}

AppSettings TFormMain::settingsFromControls() const {
    AppSettings settings = settings_;
    settings.input = sideOf({ComboBoxPort, ComboBoxBaud, LabeledEditTcpHost, LabeledEditTcpPort, RadioButtonSerial,
                             RadioButtonTCP});
    settings.output = sideOf({ComboBoxPort2, ComboBoxBaud2, LabeledEditTcpHost2, LabeledEditTCPport2,
                              RadioButtonSerial2, RadioButtonTCP2});
    settings.logDir = logDir_.toStdString();
    return settings;
}

void TFormMain::loadSettings() {
    std::error_code error;
    const auto status = std::filesystem::status(settingsPath_, error);
    if (!std::filesystem::exists(status)) {
        ProfileFile::createEmpty(settingsPath_);
    } else if (!std::filesystem::is_regular_file(status)) {
        // A FIFO, device or folder: reading it gives nothing (it is never waited on), and saving
        // is refused at close; said now, once, so that the user knows before changing anything.
        settingsSavable_ = false;
        showMessage(QString::fromStdString(uiText(UiText::CannotUseSettings, language_) + "\r\n\r\n" + settingsPath_ +
                                           " (not a regular file)"));
    }
    // What the controls show is the default of every key they hold.
    AppSettings loaded = settingsFromControls();
    loaded.version = programVersionString();
    readAppSettings(ProfileFile::load(settingsPath_), loaded);
    settings_ = loaded;
    placeWindow(settings_.mainTop, settings_.mainLeft);
    showSide(settings_.input, {ComboBoxPort, ComboBoxBaud, LabeledEditTcpHost, LabeledEditTcpPort, RadioButtonSerial,
                               RadioButtonTCP});
    showSide(settings_.output, {ComboBoxPort2, ComboBoxBaud2, LabeledEditTcpHost2, LabeledEditTCPport2,
                                RadioButtonSerial2, RadioButtonTCP2});
    logDir_ = QString::fromStdString(settings_.logDir);
    layOutCommandButtons();
}

void TFormMain::placeWindow(int storedTop, int storedLeft) {
    const auto workAreaAt = [this](int top, int left) {
        move(left, top);
        return toScreenRect(workAreaOf(this));
    };
    const QRect frame = frameGeometry();
    const ScreenPoint at = placeMainWindow(storedTop, storedLeft, frame.width(), frame.height(), workAreaAt,
                                           frame.top(), frame.left());
    move(at.left, at.top);
}

void TFormMain::reopenLinks() {
    // The output first: bytes from the input wait in the kernel until the output has had its
    // first try, so the start of the stream reaches the rover too. Within a side, a TCP link
    // reopened after a serial one closes the serial one first.
    reopeningAtStart_ = true;
    const auto done = qScopeGuard([this] { reopeningAtStart_ = false; });
    if (settings_.openSerialOutput) ButtonOpen2Click();
    if (settings_.openTcpOutput) ButtonTCPopen2Click();
    if (settings_.openSerialInput) ButtonOpenClick();
    if (settings_.openTcpInput) ButtonTCPopenClick();
}

void TFormMain::recordOpenLinks() {
    const auto wantedAs = [](const LinkEndpoint& link, LinkAddress::Kind kind) {
        return link.wanted() && link.address().kind == kind;
    };
    settings_.openSerialInput = wantedAs(*input_, LinkAddress::Kind::Serial);
    settings_.openTcpInput = wantedAs(*input_, LinkAddress::Kind::Tcp);
    settings_.openSerialOutput = wantedAs(*output_, LinkAddress::Kind::Serial);
    settings_.openTcpOutput = wantedAs(*output_, LinkAddress::Kind::Tcp);
}

void TFormMain::saveSettings() {
    if (settingsPath_.empty() || !settingsSavable_) return;
    AppSettings saved = settingsFromControls();
    saved.version = programVersionString();
    saved.mainTop = frameGeometry().top();
    saved.mainLeft = frameGeometry().left();
    ProfileFile file = ProfileFile::load(settingsPath_);
    writeAppSettings(saved, file);
    std::string why;
    if (!file.save(settingsPath_, &why)) {
        showMessage(QString::fromStdString(uiText(UiText::CannotSaveSettings, language_) + "\r\n\r\n" + settingsPath_ +
                                           " (" + why + ")"));
    }
}

}  // namespace tessaly
