// The serial device under the serial component: one open port, reduced to the few operations the
// component needs. The termios and ioctl details live in serial_device_linux.cpp; tests wrap a real
// device to record what the component asked of it or to play line errors a pty cannot produce.
//
// Shared by the component (owner thread) and its work on the I/O loop through a std::shared_ptr:
// the receive watch only waits on a duplicate of fd() and queries counters, the transmitter
// writes, the owner reads, purges and configures. The descriptor is closed when the last holder lets go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessaly {

// Line settings as the component hands them to the device, in the component's own terms.
struct SerialLineSettings {
    enum class Parity : std::uint8_t { None, Odd, Even };
    enum class StopBits : std::uint8_t { One, OneAndHalf, Two };
    enum class Handshake : std::uint8_t { RtsCts, DtrDsr, XonXoff, None };

    std::int32_t bitRate = 9600;
    std::int32_t charSize = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    Handshake handshake = Handshake::RtsCts;
    bool rtsOn = true;  // the level RTS is left at when RTS is not a handshake line
    std::uint8_t xonChar = 17;
    std::uint8_t xoffChar = 19;
    // Linux has no per-port Xon/Xoff thresholds; the component still records them.
    std::int32_t xonLimit = 512;
    std::int32_t xoffLimit = 512;
};

// Cumulative line-event counters of the driver; they only ever grow.
struct SerialLineCounters {
    std::int64_t overrun = 0;
    std::int64_t parity = 0;
    std::int64_t frame = 0;
    std::int64_t brk = 0;
};

enum class ModemLine : std::uint8_t { Rts, Dtr };

// Modem status bits, the values the component reports them by.
inline constexpr unsigned kModemCts = 0x10;
inline constexpr unsigned kModemDsr = 0x20;
inline constexpr unsigned kModemRing = 0x40;
inline constexpr unsigned kModemRlsd = 0x80;

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // What a read or write achieved: a byte count, nothing for now, or the end of the device.
    struct IoResult {
        enum class Kind : std::uint8_t { Done, WouldBlock, Failed } kind = Kind::Failed;
        std::size_t count = 0;
    };

    // The descriptor to poll: readable when bytes wait, POLLHUP/POLLERR when the device is gone.
    virtual int fd() const = 0;
    virtual bool applyLineSettings(const SerialLineSettings& settings) = 0;
    // Never waits: Done with a count of at least 1, WouldBlock, or Failed (error or hang-up).
    virtual IoResult read(std::uint8_t* buffer, std::size_t size) = 0;
    virtual IoResult write(const std::uint8_t* data, std::size_t size) = 0;
    virtual void purgeOutput() = 0;
    virtual void purgeInput() = 0;
    // Bytes waiting in the driver's input queue; nothing when the query fails.
    virtual std::optional<std::int32_t> inputQueueLength() = 0;
    // Nothing when the driver keeps no counters (pseudo-terminals, most USB adapters).
    virtual std::optional<SerialLineCounters> lineCounters() = 0;
    virtual bool setModemLine(ModemLine line, bool raised) = 0;
    // The kModem* bits of the input lines; nothing when the query fails.
    virtual std::optional<unsigned> modemStatus() = 0;
    virtual bool setBreak(bool on) = 0;
    // Gives up the claim on the port (lock and exclusive mode) at once, so the port can be opened
    // again although a thread may still hold this object for a moment. Reads and writes fail
    // afterwards.
    virtual void release() = 0;
};

// Opens a port exclusively: fails when the path does not exist, is no terminal, or another
// process (or another link of this program) holds the port. Nothing on failure.
using SerialDeviceOpener = std::function<std::shared_ptr<SerialDevice>(const std::string& path)>;

std::shared_ptr<SerialDevice> openSerialDevice(const std::string& path);

}  // namespace tessaly
