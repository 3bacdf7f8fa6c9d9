// TCommX: the serial component. It owns one serial port: PortOpen opens and configures it and
// starts two operations on the links' I/O loop: the transmitter (fed by a queue bounded at 32
// chunks, so callers never wait on the device) and the receive watch, which only waits for port
// events and sends notices to the owner thread, where OnReceive, OnBreak and OnError run. The
// port keeps no thread of its own. The window holds two of them: the serial input link and the
// serial output link.
//
// Owner thread only: every operation, the constructor and the destructor are called on the thread
// that owns the OwnerThread seam (the window's thread), and every event runs there. While it
// waits inside the component (queue full in TransBlock, read pending in ReceiveBlock) it keeps
// processing window events through CommEnvironment::processEvents, so handlers may re-enter; the
// loop never waits for it. The loop's completions hold the open port's state through a
// std::shared_ptr; PortClose ends them without waiting, and they never touch the component after
// it has closed the port or gone away.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "links/serial/comm_error.h"
#include "links/loop/io_loop.h"
#include "links/owner_thread.h"
#include "links/serial/serial_device.h"

namespace tessaly {

struct CommSession;
struct CommNoticeTarget;
enum class CommNotice : std::uint8_t;

enum class TCommParityBits : std::uint8_t { cpbNone, cpbOdd, cpbEven };
enum class TCommStopBits : std::uint8_t { csb1, csb1p5, csb2 };
enum class TCommFlowCtrls : std::uint8_t {
    cfcRtsCts, cfcDtrDsr, cfcXonXoff, cfcHalfHigh, cfcHalfLow, cfcNone
};

class TCustomCommX;
// ReceiveSize: the bytes waiting in the port's input queue.
using TCommReceiveEvent = std::function<void(TCustomCommX& sender, std::int32_t receiveSize)>;
using TCommBreakEvent = std::function<void(TCustomCommX& sender)>;
// ErrorState: the error bits below.
using TCommErrEvent = std::function<void(TCustomCommX& sender, std::int32_t errorState)>;

// Line-error bits of OnError.
inline constexpr std::int32_t kCommErrOverrun = 0x02;
inline constexpr std::int32_t kCommErrParity = 0x04;
inline constexpr std::int32_t kCommErrFrame = 0x08;
// The device went away while open (a USB receiver unplugged). Reported once; reads and writes
// fail from then on until the port is closed and opened again.
inline constexpr std::int32_t kCommErrDeviceLost = 0x100;

// What the component needs of the program around it.
struct CommEnvironment {
    std::shared_ptr<OwnerThread> owner;  // required
    // Where the open port's transmitter and receive watch wait; required. Held by the component
    // for its whole life.
    std::shared_ptr<IoLoop> loop;
    // Processes pending window events; called on the owner thread while it waits. May be empty.
    std::function<void()> processEvents;
    // Opens the device of a path exclusively; openSerialDevice when empty.
    SerialDeviceOpener openDevice;
    // The device path of a port number, empty when the number has none; the port map when empty.
    std::function<std::string(std::int32_t portNo)> portPath;
};

class TCustomCommX {
public:
    static constexpr std::int32_t kMaxOutstandingChunks = 32;
    static constexpr std::uintptr_t kInvalidHandle = ~std::uintptr_t{0};

    explicit TCustomCommX(CommEnvironment environment);
    virtual ~TCustomCommX();
    TCustomCommX(const TCustomCommX&) = delete;
    TCustomCommX& operator=(const TCustomCommX&) = delete;

    // Throws ECommError; the port is closed again when it does.
    void PortOpen();
    // Discards pending output and closes; does nothing when closed; never throws.
    void PortClose();

    bool TransChar(std::uint8_t c);
    bool TransString(const std::string& s);
    // Queues the bytes in chunks of at most BufLenTrans; false when the port is (or becomes)
    // closed. Waits, processing events, while 32 chunks are outstanding.
    virtual bool TransBlock(const void* Data, std::int32_t BufSize);
    // Reads up to MaxSize bytes, waiting at most TimeOutReceive ms: the count read, or -1.
    virtual std::int32_t ReceiveBlock(std::uint8_t* Buf, std::int32_t MaxSize);
    std::int32_t ReceiveChar();

    void ClearTransBuf();
    void ClearReceiveBuf();
    std::int32_t GetTransLength();
    std::int32_t GetReceiveLength();

    void SetRtsSignal(bool Signal);
    void SetDtrSignal(bool Signal);
    bool IsCtsSignal();
    bool IsDsrSignal();
    bool IsRingSignal();
    bool IsRlsdSignal();
    void SendBreak();

    // A notice from the port's work on the loop, run on the owner thread.
    void handleNotice(const CommSession& from, CommNotice notice, std::int32_t bits);
    // Whether `session` is the port open now; a closed port's work does not go on.
    bool holdsPort(const CommSession& session) const { return session_.get() == &session; }

protected:
    std::int32_t PortNo() const { return FPortNo; }
    void SetPortNo(std::int32_t value);
    std::int32_t BitRate() const { return FBitRate; }
    void SetBitRate(std::int32_t value);
    std::int32_t CharSize() const { return FCharSize; }
    void SetCharSize(std::int32_t value);
    TCommParityBits ParityBit() const { return FParityBit; }
    void SetParityBit(TCommParityBits value);
    TCommStopBits StopBit() const { return FStopBit; }
    void SetStopBit(TCommStopBits value);
    TCommFlowCtrls FlowCtrl() const { return FFlowCtrl; }
    void SetFlowCtrl(TCommFlowCtrls value);
    std::int32_t TimeOutTrans() const { return FTimeOutTrans; }
    void SetTimeOutTrans(std::int32_t value);
    std::int32_t TimeOutReceive() const { return FTimeOutReceive; }
    void SetTimeOutReceive(std::int32_t value);
    std::uint8_t XonChar() const { return FXonChar; }
    void SetXonChar(std::uint8_t value);
    std::uint8_t XoffChar() const { return FXoffChar; }
    void SetXoffChar(std::uint8_t value);
    std::int32_t BufLenTrans() const { return FBufLenTrans; }
    void SetBufLenTrans(std::int32_t value);
    std::int32_t BufLenReceive() const { return FBufLenReceive; }
    void SetBufLenReceive(std::int32_t value);
    // The open device's descriptor; kInvalidHandle while closed.
    std::uintptr_t Handle() const;

    const TCommReceiveEvent& OnReceive() const { return FOnReceive; }
    void SetOnReceive(TCommReceiveEvent handler) { FOnReceive = std::move(handler); }
    const TCommBreakEvent& OnBreak() const { return FOnBreak; }
    void SetOnBreak(TCommBreakEvent handler) { FOnBreak = std::move(handler); }
    const TCommErrEvent& OnError() const { return FOnError; }
    void SetOnError(TCommErrEvent handler) { FOnError = std::move(handler); }

private:
    // Line settings: each writes its own member of the working record and applies all of it.
    void applyBitRate();
    void applyCharSize();
    void applyParityBit();
    void applyStopBit();
    void applyFlowCtrl();
    void applyTimeOuts();
    void applyXonChar();
    void applyXoffChar();
    void applyLineSettings(const char* refusal);
    void setUpBuffers();
    void startOnLoop();
    void processEvents();

    CommEnvironment env_;
    std::shared_ptr<CommNoticeTarget> target_;  // stands for the hidden notification window
    std::shared_ptr<CommSession> session_;     // the open port; none while closed

    TCommReceiveEvent FOnReceive;
    TCommBreakEvent FOnBreak;
    TCommErrEvent FOnError;
    std::int32_t FPortNo = 1;
    std::int32_t FBitRate = 9600;
    std::int32_t FCharSize = 8;
    TCommParityBits FParityBit = TCommParityBits::cpbNone;
    TCommStopBits FStopBit = TCommStopBits::csb1;
    TCommFlowCtrls FFlowCtrl = TCommFlowCtrls::cfcRtsCts;
    std::int32_t FTimeOutTrans = 3000;
    std::int32_t FTimeOutReceive = 3000;
    std::uint8_t FXonChar = 17;
    std::uint8_t FXoffChar = 19;
    std::int32_t FBufLenTrans = 2048;
    std::int32_t FBufLenReceive = 2048;
    SerialLineSettings FDCB;  // working copy of the line settings while open
};

// Publishes the properties and events; adds nothing else.
class TCommX : public TCustomCommX {
public:
    using TCustomCommX::TCustomCommX;

    using TCustomCommX::PortNo;
    using TCustomCommX::SetPortNo;
    using TCustomCommX::BitRate;
    using TCustomCommX::SetBitRate;
    using TCustomCommX::CharSize;
    using TCustomCommX::SetCharSize;
    using TCustomCommX::ParityBit;
    using TCustomCommX::SetParityBit;
    using TCustomCommX::StopBit;
    using TCustomCommX::SetStopBit;
    using TCustomCommX::FlowCtrl;
    using TCustomCommX::SetFlowCtrl;
    using TCustomCommX::TimeOutTrans;
    using TCustomCommX::SetTimeOutTrans;
    using TCustomCommX::TimeOutReceive;
    using TCustomCommX::SetTimeOutReceive;
    using TCustomCommX::XonChar;
    using TCustomCommX::SetXonChar;
    using TCustomCommX::XoffChar;
    using TCustomCommX::SetXoffChar;
    using TCustomCommX::BufLenTrans;
    using TCustomCommX::SetBufLenTrans;
    using TCustomCommX::BufLenReceive;
    using TCustomCommX::SetBufLenReceive;
    using TCustomCommX::Handle;
    using TCustomCommX::OnReceive;
    using TCustomCommX::SetOnReceive;
    using TCustomCommX::OnBreak;
    using TCustomCommX::SetOnBreak;
    using TCustomCommX::OnError;
    using TCustomCommX::SetOnError;
};

}  // namespace tessaly
