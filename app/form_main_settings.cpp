// The settings file of the window: located and read once at the first activation, written once
// at close. Reading sets the controls directly; the save takes the controls' state back.
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <filesystem>
#include <fstream>

#include "app/form_main.h"
#include "app/message_box.h"
#include "app/port_combo_box.h"
#include "app/profile_file.h"
#include "app/program_version.h"
#include "app/settings_location.h"
#include "app/window_placement.h"

namespace tessaly {
namespace {

constexpr const char* kOption = "Option";
constexpr const char* kCsv = "CSV";
constexpr const char* kCommand = "Command";

std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }
std::string textOf(const QComboBox* field) { return field->currentText().toStdString(); }

ScreenRect toScreenRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

}  // namespace

std::string TFormMain::locateSettings() {
    SettingsLocationInputs inputs;
    inputs.programPath = options_.programPath.empty() ? runningProgramPath() : std::filesystem::path(options_.programPath);
    inputs.arguments = options_.arguments;
    inputs.currentFolder = std::filesystem::current_path();
    inputs.configHome = options_.configHome.empty() ? defaultConfigHome() : std::filesystem::path(options_.configHome);
    return locateSettingsFile(inputs).string();
}

void TFormMain::loadSettings() {
    if (!std::filesystem::exists(settingsPath_)) ProfileFile::createEmpty(settingsPath_);
    const ProfileFile file = ProfileFile::load(settingsPath_);
    const auto text = [&](const char* key, const std::string& fallback) {
        return QString::fromStdString(file.readText(kOption, key, fallback));
    };
    settings_.version = file.readText(kOption, "Version", programVersionString());
    placeWindow(file.readInteger(kOption, "MainTop", kNoStoredPosition),
                file.readInteger(kOption, "MainLeft", kNoStoredPosition));

    ComboBoxPort->setEditText(text("ComPort", textOf(ComboBoxPort)));
    ComboBoxBaud->setEditText(text("ComBaud", textOf(ComboBoxBaud)));
    LabeledEditTcpHost->setText(text("TCPhost", textOf(LabeledEditTcpHost)));
    LabeledEditTcpPort->setText(text("TCPport", textOf(LabeledEditTcpPort)));
    const bool serialInput = file.readBool(kOption, "Serial", RadioButtonSerial->isChecked());
    ComboBoxPort2->setEditText(text("ComPort2", textOf(ComboBoxPort2)));
    ComboBoxBaud2->setEditText(text("ComBaud2", textOf(ComboBoxBaud2)));
    LabeledEditTcpHost2->setText(text("TCPhost2", textOf(LabeledEditTcpHost2)));
    LabeledEditTCPport2->setText(text("TCPport2", textOf(LabeledEditTCPport2)));
    const bool serialOutput = file.readBool(kOption, "Serial2", RadioButtonSerial2->isChecked());
    // The group boxes follow the checked kinds as they do for a click.
    (serialInput ? RadioButtonSerial : RadioButtonTCP)->setChecked(true);
    (serialOutput ? RadioButtonSerial2 : RadioButtonTCP2)->setChecked(true);

    settings_.prns = file.readInteger(kOption, "PRNs", 192);
    logDir_ = text("LogDir", logDir_.toStdString());
    settings_.svidPrn = file.readText(kOption, "SVID_PRN", std::string(kDefaultSvidPrn));
    settings_.mfgId = file.readText(kOption, "MFG-ID", std::string(kDefaultMfgId));
    settings_.openSerialInput = file.readBool(kOption, "OpenSerialInput", false);
    settings_.openTcpInput = file.readBool(kOption, "OpenTCPInput", false);
    settings_.openSerialOutput = file.readBool(kOption, "OpenSerialOutput", false);
    settings_.openTcpOutput = file.readBool(kOption, "OpenTCPOutput", false);
    settings_.reconnect = file.readBool(kOption, "Reconnect", true);
    const AppSettings defaults;
    for (std::size_t i = 0; i < settings_.commands.size(); ++i) {
        settings_.commands[i] = file.readText(kCommand, "Cmd" + std::to_string(i + 1), defaults.commands[i]);
    }
    layOutCommandButtons();
    // Files written by the first version hold an older header line; they get the current one.
    settings_.csvHeader = settings_.version <= "Ver1.00"
                              ? defaults.csvHeader
                              : file.readText(kCsv, "CSV_Index", defaults.csvHeader);
    settings_.utc = file.readBool(kCsv, "UTC", false);
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
    if (settingsPath_.empty()) return;
    ProfileFile file = ProfileFile::load(settingsPath_);
    file.write(kOption, "Version", programVersionString());
    file.writeInteger(kOption, "PRNs", settings_.prns);
    file.write(kOption, "ComPort", textOf(ComboBoxPort));
    file.write(kOption, "ComBaud", textOf(ComboBoxBaud));
    file.write(kOption, "TCPhost", textOf(LabeledEditTcpHost));
    file.write(kOption, "TCPport", textOf(LabeledEditTcpPort));
    file.writeBool(kOption, "Serial", RadioButtonSerial->isChecked());
    file.write(kOption, "ComPort2", textOf(ComboBoxPort2));
    file.write(kOption, "ComBaud2", textOf(ComboBoxBaud2));
    file.write(kOption, "TCPhost2", textOf(LabeledEditTcpHost2));
    file.write(kOption, "TCPport2", textOf(LabeledEditTCPport2));
    file.writeBool(kOption, "Serial2", RadioButtonSerial2->isChecked());
    file.write(kOption, "LogDir", logDir_.toStdString());
    file.write(kOption, "SVID_PRN", settings_.svidPrn);
    file.write(kOption, "MFG-ID", settings_.mfgId);
    file.writeBool(kOption, "OpenSerialInput", settings_.openSerialInput);
    file.writeBool(kOption, "OpenTCPInput", settings_.openTcpInput);
    file.writeBool(kOption, "OpenSerialOutput", settings_.openSerialOutput);
    file.writeBool(kOption, "OpenTCPOutput", settings_.openTcpOutput);
    file.writeBool(kOption, "Reconnect", settings_.reconnect);
    file.writeInteger(kOption, "MainTop", frameGeometry().top());
    file.writeInteger(kOption, "MainLeft", frameGeometry().left());
    file.write(kCsv, "CSV_Index", settings_.csvHeader);
    file.writeBool(kCsv, "UTC", settings_.utc);
    for (std::size_t i = 0; i < settings_.commands.size(); ++i) {
        file.write(kCommand, "Cmd" + std::to_string(i + 1), settings_.commands[i]);
    }
    file.save(settingsPath_);
}

}  // namespace tessaly
