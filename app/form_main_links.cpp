// The four links of the window and the controls that open, close and choose them: where every
// block goes, the open and close handlers with their checks and messages, the serial receive
// events and the refresh that keeps the controls in step with the links.
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <chrono>
#include <thread>
#include <utility>

#include "station/command_text.h"
#include "app/form_main.h"
#include "app/integer_text.h"
#include "app/message_box.h"
#include "app/port_combo_box.h"
#include "app/qt_owner_thread.h"
#include "app/string_grid.h"
#include "links/serial/port_list.h"
#include "app/port_text.h"

namespace tessaly {
namespace {

std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }
std::string textOf(const QComboBox* field) { return field->currentText().toStdString(); }

bool isSerial(const LinkEndpoint& link) { return link.address().kind == LinkAddress::Kind::Serial; }

}  // namespace

void TFormMain::createStation() {
    StationSeams seams;
    seams.loop = std::make_shared<IoLoop>();
    seams.owner = QtOwnerThread::create(this);
    seams.timer = &timer_;
    seams.clock = &clock_;
    seams.wallClock = &wallClock_;
    // Each link's reader forwards what it read to the other side at once; the window watches a
    // copy on its own thread, so a busy window never slows the relay.
    StationFace face;
    face.reports = &view_;
    face.statusLine = &view_;
    face.monitorReset = [this] { view_.reset(); };
    face.watchSkipped = [this] { updateLabelErr(); };
    face.inputBatchDone = [this] { repaintChangedGrids(); };
    face.linkNoticed = [this](std::size_t side, const LinkNotice& notice) { linkNoticed(side == 0, notice); };
    face.commandRefused = [this](const std::string& expected) {
        showMessage(QString::fromStdString(messageText(UiText::WrongChecksum) + expected));
    };
    face.commandAnswered = [this](const CommandAnswer& answer) { commandAnswered(answer); };
    // A file that stops taking rows or blocks (a full disk) says so once in the status line, and
    // once more when writing resumes.
    face.fileNoticed = [this](const LogFileNotice& notice) { view_.setStatusText(notice.text); };
    face.processEvents = [] { QCoreApplication::processEvents(); };
    station_ = std::make_unique<Station>(StationConfig{}, std::move(seams), std::move(face));
    input_ = &station_->side(0);
    output_ = &station_->side(1);
}

// A long batch (a flood of a replay) is scanned in one go; the grids show what it changed before
// the next one starts, instead of waiting for the event loop's turn.
void TFormMain::repaintChangedGrids() {
    StringGrid* grids[2] = {StringGrid1, StringGrid2};
    for (int side = 0; side < 2; ++side) {
        if (std::exchange(gridChanged_[side], false)) grids[side]->repaint();
    }
}

std::uint64_t TFormMain::monitorSkipped() const { return station_->links().watchSkipped(); }

void TFormMain::connectLinkControls() {
    connect(ButtonOpen, &QPushButton::clicked, this, &TFormMain::ButtonOpenClick);
    connect(ButtonClose, &QPushButton::clicked, this, &TFormMain::ButtonCloseClick);
    connect(ButtonOpen2, &QPushButton::clicked, this, &TFormMain::ButtonOpen2Click);
    connect(ButtonClose2, &QPushButton::clicked, this, &TFormMain::ButtonClose2Click);
    connect(ButtonTCPopen, &QPushButton::clicked, this, &TFormMain::ButtonTCPopenClick);
    connect(ButtonTCPclose, &QPushButton::clicked, this, &TFormMain::ButtonTCPcloseClick);
    connect(ButtonTCPopen2, &QPushButton::clicked, this, &TFormMain::ButtonTCPopen2Click);
    connect(ButtonTCPclose2, &QPushButton::clicked, this, &TFormMain::ButtonTCPclose2Click);
    // Also when the settings check a kind at start: the matching box must show.
    const auto onChecked = [this](QRadioButton* radio, void (TFormMain::*handler)()) {
        connect(radio, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked) (this->*handler)();
        });
    };
    onChecked(RadioButtonSerial, &TFormMain::RadioButtonSerialClick);
    onChecked(RadioButtonTCP, &TFormMain::RadioButtonTCPClick);
    onChecked(RadioButtonSerial2, &TFormMain::RadioButtonSerial2Click);
    onChecked(RadioButtonTCP2, &TFormMain::RadioButtonTCP2Click);
    connect(ComboBoxPort, &PortComboBox::droppingDown, this, &TFormMain::ComboBoxPortDropDown);
    connect(ComboBoxPort2, &PortComboBox::droppingDown, this, &TFormMain::ComboBoxPort2DropDown);
    connect(ComboBoxPort, &PortComboBox::closedUp, this, &TFormMain::ComboBoxPortCloseUp);
    connect(ComboBoxPort2, &PortComboBox::closedUp, this, &TFormMain::ComboBoxPort2CloseUp);
}

void TFormMain::inputBlockReceived(ByteView block) { station_->inputBlockReceived(block); }

// Serial links --------------------------------------------------------------------------------

void TFormMain::openSerial(LinkEndpoint& link, const LinkEndpoint& other, PortComboBox* portField,
                           QComboBox* baudField, QPushButton* open, bool isInput) {
    LinkAddress address;
    address.kind = LinkAddress::Kind::Serial;
    address.portNo = portNumberFromText(textOf(portField));
    address.bitRate = portNumberFromText(textOf(baudField));
    // The component keeps the number chosen last, also when the open is refused.
    link.serial().SetPortNo(address.portNo);
    if (other.isOpen() && isSerial(other) && other.address().portNo == address.portNo) {
        message(UiText::SamePort);
        return;
    }
    openSide(isInput, open, [&] { return address; }, UiText::CannotOpenComPort);
}

// A port text that is no integer throws with the side closed and the input's monitor reset, as for
// any other failed open. The attempt's outcome comes later for a TCP link; meanwhile the window
// goes on.
void TFormMain::openSide(bool isInput, QPushButton* open, const std::function<LinkAddress()>& address,
                         UiText failure) {
    if (closing_) return;
    open->setEnabled(false);
    const std::size_t side = isInput ? 0 : 1;
    LinkAddress at;
    try {
        at = address();
    } catch (...) {
        station_->prepareOpen(side);
        throw;
    }
    // A link saved as open that cannot be opened at start is retried as a lost one would be, its
    // reason on the status line: a box per link would greet the user before the window is up.
    if (reopeningAtStart_ && settings_.reconnect) return station_->openOrRetry(side, at);
    station_->open(side, at, settings_.reconnect, [this, failure](const std::string& error) {
        if (error.empty()) return;
        showMessage(QString::fromStdString(messageText(failure) + "\r\n\r\n" + error));
    });
}

void TFormMain::ButtonOpenClick() { openSerial(*input_, *output_, ComboBoxPort, ComboBoxBaud, ButtonOpen, true); }

void TFormMain::ButtonOpen2Click() {
    openSerial(*output_, *input_, ComboBoxPort2, ComboBoxBaud2, ButtonOpen2, false);
}

void TFormMain::ButtonCloseClick() {
    ButtonClose->setEnabled(false);
    input_->close();
    linkClosedByUser(true);
}

void TFormMain::ButtonClose2Click() {
    ButtonClose2->setEnabled(false);
    output_->close();
    linkClosedByUser(false);
    // Back after a short pause from the event loop; the next refresh then shows the link's state.
    station_->timedRuns().start({{200, [this] { ButtonClose2->setEnabled(true); }}});
}

void TFormMain::ComboBoxPortDropDown() { fillPortList(ComboBoxPort); }
void TFormMain::ComboBoxPort2DropDown() { fillPortList(ComboBoxPort2); }

void TFormMain::fillPortList(PortComboBox* combo) {
    const QString typed = combo->currentText();
    combo->clear();
    for (const std::string& line : portListLines(buildPortList().text())) {
        combo->addItem(QString::fromStdString(line));
    }
    combo->setEditText(typed);
}

// TCP links -----------------------------------------------------------------------------------

void TFormMain::openTcp(const LinkEndpoint& other, QLineEdit* hostField, QLineEdit* portField,
                        QPushButton* open, bool isInput) {
    // The same host text and port as the other side's connection; no name is resolved, so
    // another spelling of the same host passes.
    if (other.isOpen() && !isSerial(other) && textOf(hostField) == other.address().host &&
        integerFromText(textOf(portField)) == other.address().tcpPort) {
        message(UiText::SameHostAndPort);
        return;
    }
    const auto address = [&] {
        LinkAddress tcp;
        tcp.kind = LinkAddress::Kind::Tcp;
        tcp.host = textOf(hostField);
        tcp.tcpPort = integerFromText(textOf(portField));
        return tcp;
    };
    openSide(isInput, open, address, UiText::CannotOpenTcpHost);
}

void TFormMain::ButtonTCPopenClick() {
    openTcp(*output_, LabeledEditTcpHost, LabeledEditTcpPort, ButtonTCPopen, true);
}

void TFormMain::ButtonTCPopen2Click() {
    openTcp(*input_, LabeledEditTcpHost2, LabeledEditTCPport2, ButtonTCPopen2, false);
}

void TFormMain::ButtonTCPcloseClick() {
    ButtonTCPclose->setEnabled(false);
    input_->close();
    linkClosedByUser(true);
}

void TFormMain::ButtonTCPclose2Click() {
    ButtonTCPclose2->setEnabled(false);
    output_->close();
    linkClosedByUser(false);
}

void TFormMain::linkClosedByUser(bool isInput) {
    model_.linkClosedByUser(isInput ? LinkSide::Input : LinkSide::Output);
    if (isInput) view_.markInputClosed();
    updateLabelErr();
}

// Lost links ----------------------------------------------------------------------------------

void TFormMain::superviseLinks() { station_->supervise(); }

void TFormMain::linkNoticed(bool isInput, const LinkNotice& notice) {
    switch (notice.what) {
    case LinkNotice::What::Lost:
        if (isInput) view_.markInputClosed();
        // Without reconnecting, the link is closed as the user would close it, with the reason.
        if (notice.retryIn.count() == 0 && !notice.error.empty()) showMessage(QString::fromStdString(notice.error));
        break;
    case LinkNotice::What::RetryFailed:
        break;
    case LinkNotice::What::Reopened:
        break;
    }
    model_.linkNoticed(isInput ? LinkSide::Input : LinkSide::Output, notice.error, notice.retryIn);
    updateLabelErr();
    linkControlRefresh();
}

// Kinds and refresh ---------------------------------------------------------------------------

void TFormMain::RadioButtonSerialClick() {
    GroupBoxSerial->show();
    GroupBoxTCP->hide();
}
void TFormMain::RadioButtonTCPClick() {
    GroupBoxTCP->show();
    GroupBoxSerial->hide();
}
void TFormMain::RadioButtonSerial2Click() {
    GroupBoxSerial2->show();
    GroupBoxTCP2->hide();
}
void TFormMain::RadioButtonTCP2Click() {
    GroupBoxTCP2->show();
    GroupBoxSerial2->hide();
}

void TFormMain::linkControlRefresh() {
    if (portTidy_) {
        portTidy_ = false;
        ComboBoxPort->setEditText(QString::fromStdString(tidyPortText(textOf(ComboBoxPort))));
        ComboBoxPort2->setEditText(QString::fromStdString(tidyPortText(textOf(ComboBoxPort2))));
    }
    const MainWindowView shown = model_.view(facts());
    paintSide(shown.input, ButtonTCPopen, ButtonTCPclose, ButtonOpen, ButtonClose, LabelPort, LabelBaud,
              {RadioButtonSerial, RadioButtonTCP, ComboBoxPort, ComboBoxBaud, LabeledEditTcpHost, LabeledEditTcpPort});
    paintSide(shown.output, ButtonTCPopen2, ButtonTCPclose2, ButtonOpen2, ButtonClose2, LabelPort2, LabelBaud2,
              {RadioButtonSerial2, RadioButtonTCP2, ComboBoxPort2, ComboBoxBaud2, LabeledEditTcpHost2,
               LabeledEditTCPport2});
}

void TFormMain::paintSide(const LinkControls& shown, QPushButton* tcpOpen, QPushButton* tcpClose, QPushButton* open,
                          QPushButton* close, QWidget* labelPort, QWidget* labelBaud, QList<QWidget*> kindAndFields) {
    tcpOpen->setEnabled(shown.tcpOpenEnabled);
    tcpClose->setEnabled(shown.tcpCloseEnabled);
    open->setEnabled(shown.serialOpenEnabled);
    close->setEnabled(shown.serialCloseEnabled);
    labelPort->setEnabled(shown.serialLabelsEnabled);
    labelBaud->setEnabled(shown.serialLabelsEnabled);
    for (QWidget* widget : kindAndFields) widget->setEnabled(shown.kindEnabled);
}

// Commands and messages -----------------------------------------------------------------------

void TFormMain::sendCommandText(std::string_view text) { station_->sendCommandText(text); }

void TFormMain::message(UiText row) { showMessage(QString::fromStdString(messageText(row))); }

void TFormMain::showMessage(const QString& text) {
    if (options_.showMessage) {
        options_.showMessage(text);
    } else {
        centredMessageBox(this, text, QMessageBox::Critical, QMessageBox::Ok);
    }
}

}  // namespace tessaly
