// TCustomCommX: opening and closing the port, and the properties with their line settings.
#include "links/serial/comm_x.h"

#include <system_error>

#include "links/serial/comm_receive_watch.h"
#include "links/serial/comm_session.h"
#include "links/serial/comm_transmitter.h"
#include "links/serial/port_map.h"

namespace tessaly {
namespace {

// One 10-bit character in whole milliseconds, plus one. Only called with rates of 10 and above.
std::int32_t halfWaitTime(std::int32_t bitRate) { return 1000 / (bitRate / 10) + 1; }

}  // namespace

TCustomCommX::TCustomCommX(CommEnvironment environment)
    : env_(std::move(environment)), target_(std::make_shared<CommNoticeTarget>()) {
    if (!env_.openDevice) env_.openDevice = openSerialDevice;
    if (!env_.portPath) env_.portPath = [](std::int32_t n) { return portDevicePath(n); };
    target_->component = this;
}

TCustomCommX::~TCustomCommX() {
    PortClose();
    target_->component = nullptr;
}

std::uintptr_t TCustomCommX::Handle() const {
    return session_ ? static_cast<std::uintptr_t>(session_->device->fd()) : kInvalidHandle;
}

void TCustomCommX::PortOpen() {
    if (session_) throw ECommError(comm_message::kOpenedAlready);
    const std::string path = env_.portPath(FPortNo);
    std::shared_ptr<SerialDevice> device = path.empty() ? nullptr : env_.openDevice(path);
    if (!device) throw ECommError(comm_message::kCouldNotOpen);
    try {
        session_ = std::make_shared<CommSession>(std::move(device), env_.owner, target_, env_.loop->context());
        setUpBuffers();
        session_->device->purgeOutput();
        session_->device->purgeInput();
        applyBitRate();
        applyCharSize();
        applyParityBit();
        applyStopBit();
        applyFlowCtrl();
        applyTimeOuts();
        applyXonChar();
        applyXoffChar();
        startOnLoop();
    } catch (...) {
        if (session_) {
            PortClose();
        } else if (device) {
            device->release();
        }
        throw;
    }
}

void TCustomCommX::startOnLoop() {
    session_->halfWaitTim = halfWaitTime(FBitRate);
    // The refusals keep the component's texts, which still speak of threads.
    try {
        session_->transmitter = CommTransmitter::start(session_);
    } catch (const std::system_error&) {
        throw ECommError(comm_message::kTransThread);
    }
    try {
        session_->receiveWatch = CommReceiveWatch::start(session_);
    } catch (const std::system_error&) {
        throw ECommError(comm_message::kReceiveThread);
    }
}

void TCustomCommX::PortClose() {
    if (!session_) return;
    const std::shared_ptr<CommSession> session = session_;
    try {
        session->device->setModemLine(ModemLine::Dtr, false);
        session->device->setModemLine(ModemLine::Rts, false);
        ClearTransBuf();
        ClearReceiveBuf();
    } catch (...) {
        // Closing goes on whatever the device says.
    }
    session->stop();
    session_.reset();
    // The loop's last completions may hold the device a moment longer; the port is free for a
    // new open now.
    session->device->release();
}

void TCustomCommX::setUpBuffers() {
    // Linux keeps no per-port queue sizes; the sizes only have to make sense for the chunking.
    if (FBufLenTrans < 1 || FBufLenReceive < 1) throw ECommError(comm_message::kBuffer);
}

void TCustomCommX::applyLineSettings(const char* refusal) {
    if (!session_->device->applyLineSettings(FDCB) && refusal) throw ECommError(refusal);
}

void TCustomCommX::applyBitRate() {
    FDCB.bitRate = FBitRate;
    // Below 10 bit/s a character cannot be timed (HalfWaitTim); refuse before the device sees it.
    if (FBitRate < 10) throw ECommError(comm_message::kBaudRate);
    applyLineSettings(comm_message::kBaudRate);
}

void TCustomCommX::applyCharSize() {
    FDCB.charSize = FCharSize;
    applyLineSettings(nullptr);  // a refused size is not reported
}

void TCustomCommX::applyParityBit() {
    static constexpr SerialLineSettings::Parity kParity[] = {
        SerialLineSettings::Parity::None, SerialLineSettings::Parity::Odd,
        SerialLineSettings::Parity::Even};
    FDCB.parity = kParity[static_cast<int>(FParityBit) % 3];
    applyLineSettings(comm_message::kParity);
}

void TCustomCommX::applyStopBit() {
    static constexpr SerialLineSettings::StopBits kStopBits[] = {
        SerialLineSettings::StopBits::One, SerialLineSettings::StopBits::OneAndHalf,
        SerialLineSettings::StopBits::Two};
    FDCB.stopBits = kStopBits[static_cast<int>(FStopBit) % 3];
    applyLineSettings(comm_message::kStopBits);
}

void TCustomCommX::applyFlowCtrl() {
    using H = SerialLineSettings::Handshake;
    switch (FFlowCtrl) {
        case TCommFlowCtrls::cfcRtsCts: FDCB.handshake = H::RtsCts; break;
        case TCommFlowCtrls::cfcDtrDsr: FDCB.handshake = H::DtrDsr; break;
        case TCommFlowCtrls::cfcXonXoff: FDCB.handshake = H::XonXoff; break;
        default: FDCB.handshake = H::None; break;
    }
    // The half-duplex sender keeps RTS low between batches; the other modes hold it high.
    FDCB.rtsOn = FFlowCtrl != TCommFlowCtrls::cfcHalfHigh;
    FDCB.xonLimit = FBufLenReceive / 4;
    FDCB.xoffLimit = FBufLenReceive / 4;
    session_->flowCtrl = static_cast<std::uint8_t>(FFlowCtrl);
    applyLineSettings(comm_message::kFlowCtrl);
}

void TCustomCommX::applyTimeOuts() {
    // Reads and writes time themselves out (ReceiveBlock, the transmitter).
    if (FTimeOutTrans < 0 || FTimeOutReceive < 0) throw ECommError(comm_message::kTimeOut);
    session_->timeOutTrans = FTimeOutTrans;
}

void TCustomCommX::applyXonChar() {
    FDCB.xonChar = FXonChar;
    applyLineSettings(comm_message::kXonChar);
}

void TCustomCommX::applyXoffChar() {
    FDCB.xoffChar = FXoffChar;
    applyLineSettings(comm_message::kXoffChar);
}

void TCustomCommX::SetPortNo(std::int32_t value) {
    if (!session_) {
        FPortNo = value;
        return;
    }
    PortClose();
    FPortNo = value;
    PortOpen();
}

void TCustomCommX::SetBitRate(std::int32_t value) {
    FBitRate = value;
    if (!session_) return;
    applyBitRate();
    session_->halfWaitTim = halfWaitTime(value);
}

void TCustomCommX::SetCharSize(std::int32_t value) {
    FCharSize = value;
    if (session_) applyCharSize();
}

void TCustomCommX::SetParityBit(TCommParityBits value) {
    FParityBit = value;
    if (session_) applyParityBit();
}

void TCustomCommX::SetStopBit(TCommStopBits value) {
    FStopBit = value;
    if (session_) applyStopBit();
}

void TCustomCommX::SetFlowCtrl(TCommFlowCtrls value) {
    FFlowCtrl = value;
    if (session_) applyFlowCtrl();
}

void TCustomCommX::SetTimeOutTrans(std::int32_t value) {
    FTimeOutTrans = value;
    if (session_) applyTimeOuts();
}

void TCustomCommX::SetTimeOutReceive(std::int32_t value) {
    FTimeOutReceive = value;
    if (session_) applyTimeOuts();
}

void TCustomCommX::SetXonChar(std::uint8_t value) {
    FXonChar = value;
    if (session_) applyXonChar();
}

void TCustomCommX::SetXoffChar(std::uint8_t value) {
    FXoffChar = value;
    if (session_) applyXoffChar();
}

void TCustomCommX::SetBufLenTrans(std::int32_t value) {
    FBufLenTrans = value;
    if (session_) setUpBuffers();
}

void TCustomCommX::SetBufLenReceive(std::int32_t value) {
    FBufLenReceive = value;
    if (!session_) return;
    setUpBuffers();
    applyFlowCtrl();
}

}  // namespace tessaly
