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

#include "app/command_text.h"
#include "app/form_main.h"
#include "app/integer_text.h"
#include "app/message_box.h"
#include "app/port_combo_box.h"
#include "app/qt_owner_thread.h"
#include "links/port_list.h"
#include "links/port_text.h"

namespace tessaly {
namespace {

bool isOpen(TCommX& comm) { return comm.Handle() != TCustomCommX::kInvalidHandle; }

std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }
std::string textOf(const QComboBox* field) { return field->currentText().toStdString(); }

}  // namespace

void TFormMain::createLinks() {
    owner_ = QtOwnerThread::create(this);
    CommEnvironment environment;
    environment.owner = owner_;
    environment.processEvents = [] { QCoreApplication::processEvents(); };
    commX1_ = std::make_unique<TCommX>(environment);
    commX2_ = std::make_unique<TCommX>(environment);
    commX1_->SetOnReceive([this](TCustomCommX&, std::int32_t size) { CommX1Receive(size); });
    commX2_->SetOnReceive([this](TCustomCommX&, std::int32_t size) { CommX2Receive(size); });

    const auto tcpHandlers = [this](bool input) {
        TcpLinkHandlers handlers;
        handlers.blockReceived = [this, input](LinkBytes block) {
            input ? router_->inputBlock(block) : router_->outputBlock(block);
        };
        handlers.readerFailed = [this](const std::string& text) { showMessage(QString::fromStdString(text)); };
        handlers.pumpEventsFor = [this](std::uint32_t ms) { eventWaiter_.processEventsFor(ms); };
        return handlers;
    };
    tcp1_ = std::make_unique<TcpLink>(TcpLinkConfig{1024, "TCP "}, owner_, tcpHandlers(true));
    tcp2_ = std::make_unique<TcpLink>(TcpLinkConfig{2048, "TCP2 "}, owner_, tcpHandlers(false));

    // A serial write hands the block to the transmit queue; a full queue waits with window
    // events flowing, and later blocks wait behind it, so no block overtakes another.
    const auto serialWriter = [](TCommX& comm) {
        return LinkWriter{[&comm] { return isOpen(comm); },
                          [&comm](LinkBytes block) {
                              comm.TransBlock(block.data(), static_cast<std::int32_t>(block.size()));
                          }};
    };
    const auto tcpWriter = [](TcpLink& link) {
        return LinkWriter{[&link] { return link.connected(); }, [&link](LinkBytes block) { link.TcpWrite(block); }};
    };
    const auto scanInput = [this](LinkBytes block) {
        rawCapture_.write(block);
        monitor_.scanBlock(block);
    };
    router_ = std::make_unique<LinkRouter>(scanInput,
                                           serialWriter(*commX1_), tcpWriter(*tcp1_),
                                           serialWriter(*commX2_), tcpWriter(*tcp2_));
}

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

void TFormMain::inputBlockReceived(ByteView block) { router_->inputBlock(block); }

// Serial links --------------------------------------------------------------------------------

bool TFormMain::openSerial(TCommX& comm, TCommX& other, PortComboBox* portField, QComboBox* baudField,
                           QPushButton* open, TcpLink& sameSideTcp, bool isInput) {
    comm.SetPortNo(portNumberFromText(textOf(portField)));
    comm.SetBitRate(portNumberFromText(textOf(baudField)));
    if (isOpen(other) && other.PortNo() == comm.PortNo()) {
        message(UiText::SamePort);
        return false;
    }
    open->setEnabled(false);
    if (sameSideTcp.connected()) sameSideTcp.TcpClose();
    if (isInput) monitorReset();
    try {
        comm.PortOpen();
        if (isInput) sendCommandText(kFirmwareVersionPoll);
    } catch (const std::exception&) {
        message(UiText::CannotOpenComPort);
        return false;
    }
    return true;
}

void TFormMain::ButtonOpenClick() {
    openSerial(*commX1_, *commX2_, ComboBoxPort, ComboBoxBaud, ButtonOpen, *tcp1_, true);
}

void TFormMain::ButtonOpen2Click() {
    openSerial(*commX2_, *commX1_, ComboBoxPort2, ComboBoxBaud2, ButtonOpen2, *tcp2_, false);
}

void TFormMain::ButtonCloseClick() {
    ButtonClose->setEnabled(false);
    commX1_->PortClose();
    view_.markInputClosed();
}

void TFormMain::ButtonClose2Click() {
    ButtonClose2->setEnabled(false);
    commX2_->PortClose();
    pumpWait(200);
    ButtonClose2->setEnabled(true);
}

void TFormMain::CommX1Receive(std::int32_t receiveSize) { serialReceive(*commX1_, receiveSize, true); }
void TFormMain::CommX2Receive(std::int32_t receiveSize) { serialReceive(*commX2_, receiveSize, false); }

void TFormMain::serialReceive(TCommX& comm, std::int32_t receiveSize, bool isInput) {
    // More may wait than one buffer holds (a fast line, or a window that was busy for a moment):
    // all of it is read and routed, a buffer at a time. Dropping it would lose corrections.
    std::int32_t waiting = receiveSize;
    while (waiting > 0) {
        const std::int32_t want = std::min(waiting, std::max(comm.BufLenReceive(), 1));
        std::vector<std::uint8_t> scratch(static_cast<std::size_t>(want) + 1);
        const std::int32_t got = comm.ReceiveBlock(scratch.data(), want);
        if (got <= 0) return;
        const LinkBytes block(scratch.data(), static_cast<std::size_t>(got));
        isInput ? router_->inputBlock(block) : router_->outputBlock(block);
        waiting -= got;
    }
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

bool TFormMain::openTcp(TcpLink& link, TcpLink& other, QLineEdit* hostField, QLineEdit* portField,
                        QPushButton* open, TCommX& sameSideSerial, bool isInput) {
    // The same host text and port as the other side's connection; no name is resolved, so
    // another spelling of the same host passes. A port text that is no integer throws here.
    if (other.connected() && textOf(hostField) == other.host() &&
        integerFromText(textOf(portField)) == other.port()) {
        message(UiText::SameHostAndPort);
        return false;
    }
    open->setEnabled(false);
    if (isOpen(sameSideSerial)) sameSideSerial.PortClose();
    if (isInput) monitorReset();
    const int port = integerFromText(textOf(portField));
    if (!link.TcpConnect(textOf(hostField), port)) {
        message(UiText::CannotOpenTcpHost);
        return false;
    }
    if (isInput) sendCommandText(kFirmwareVersionPoll);
    return true;
}

void TFormMain::ButtonTCPopenClick() {
    openTcp(*tcp1_, *tcp2_, LabeledEditTcpHost, LabeledEditTcpPort, ButtonTCPopen, *commX1_, true);
}

void TFormMain::ButtonTCPopen2Click() {
    openTcp(*tcp2_, *tcp1_, LabeledEditTcpHost2, LabeledEditTCPport2, ButtonTCPopen2, *commX2_, false);
}

void TFormMain::ButtonTCPcloseClick() {
    ButtonTCPclose->setEnabled(false);
    tcp1_->TcpClose();
    view_.markInputClosed();
}

void TFormMain::ButtonTCPclose2Click() {
    ButtonTCPclose2->setEnabled(false);
    tcp2_->TcpClose();
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
    refreshSide(tcp1_->connected(), isOpen(*commX1_), ButtonTCPopen, ButtonTCPclose, ButtonOpen, ButtonClose,
                LabelPort, LabelBaud, RadioButtonSerial,
                {RadioButtonTCP, ComboBoxPort, ComboBoxBaud, LabeledEditTcpHost, LabeledEditTcpPort});
    refreshSide(tcp2_->connected(), isOpen(*commX2_), ButtonTCPopen2, ButtonTCPclose2, ButtonOpen2, ButtonClose2,
                LabelPort2, LabelBaud2, RadioButtonSerial2,
                {RadioButtonTCP2, ComboBoxPort2, ComboBoxBaud2, LabeledEditTcpHost2, LabeledEditTCPport2});
}

void TFormMain::refreshSide(bool tcpConnected, bool serialOpen, QPushButton* tcpOpen, QPushButton* tcpClose,
                            QPushButton* open, QPushButton* close, QWidget* labelPort, QWidget* labelBaud,
                            QRadioButton* serialKind, QList<QWidget*> followers) {
    tcpOpen->setEnabled(!tcpConnected);
    tcpClose->setEnabled(tcpConnected);
    open->setEnabled(!serialOpen);
    close->setEnabled(serialOpen);
    labelPort->setEnabled(!serialOpen);
    labelBaud->setEnabled(!serialOpen);
    // The kind and the endpoint of a side change only while the side is idle.
    serialKind->setEnabled(!tcpConnected && !serialOpen);
    for (QWidget* follower : followers) follower->setEnabled(serialKind->isEnabled());
}

// Commands and messages -----------------------------------------------------------------------

void TFormMain::sendCommandText(std::string_view text) {
    CommandTextOutputs outputs;
    outputs.writeToInput = [this](const CommandBytes& bytes) { router_->ForwardToInput(bytes); };
    outputs.showError = [this](const std::string& text) { showMessage(QString::fromStdString(text)); };
    outputs.wait = [this](std::int32_t ms) { pumpWait(ms); };
    outputs.language = language_;
    runCommandText(text, outputs);
}

void TFormMain::pumpWait(std::int32_t ms) { messagePumpWait(ms, clock_, eventWaiter_); }

void TFormMain::message(UiText row) { showMessage(QString::fromStdString(messageText(row))); }

void TFormMain::showMessage(const QString& text) {
    if (options_.showMessage) {
        options_.showMessage(text);
    } else {
        centredMessageBox(this, text, QMessageBox::Critical, QMessageBox::Ok);
    }
}

}  // namespace tessaly
