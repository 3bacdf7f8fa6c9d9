// The serial device on Linux: termios2 (any bit rate through BOTHER), flock for the exclusive
// claim, TIOCGICOUNT for line errors and breaks, TIOCM* for the modem lines. <termios.h> is not
// used here because its struct termios clashes with the kernel's termios2.
#include "links/serial/serial_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tessaly {
namespace {

tcflag_t charSizeFlag(std::int32_t charSize) {
    switch (charSize) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

class LinuxSerialDevice final : public SerialDevice {
public:
    explicit LinuxSerialDevice(int fd) : fd_(fd) {}
    ~LinuxSerialDevice() override {
        release();
        ::close(fd_);
    }

    int fd() const override { return fd_; }

    bool applyLineSettings(const SerialLineSettings& s) override {
        // A rate below 10 bit/s cannot time a character; 5 to 8 data bits are all a UART has;
        // one and a half stop bits exist only with 5 data bits.
        if (s.bitRate < 10 || s.charSize < 5 || s.charSize > 8) return false;
        if (s.stopBits == SerialLineSettings::StopBits::OneAndHalf && s.charSize != 5) return false;
        termios2 t{};
        if (::ioctl(fd_, TCGETS2, &t) != 0) return false;
        // Raw bytes both ways: no echo, no line editing, no signal characters, no translation.
        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                            ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC |
                                            IMAXBEL);
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD |
                                            (CBAUD << IBSHIFT));
        t.c_cflag |= CREAD | CLOCAL | HUPCL | charSizeFlag(s.charSize) | BOTHER | (BOTHER << IBSHIFT);
        if (s.parity != SerialLineSettings::Parity::None) t.c_cflag |= PARENB;
        if (s.parity == SerialLineSettings::Parity::Odd) t.c_cflag |= PARODD;
        if (s.stopBits != SerialLineSettings::StopBits::One) t.c_cflag |= CSTOPB;
        if (s.handshake == SerialLineSettings::Handshake::RtsCts) t.c_cflag |= CRTSCTS;
        if (s.handshake == SerialLineSettings::Handshake::XonXoff) t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = s.xonChar;
        t.c_cc[VSTOP] = s.xoffChar;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        t.c_ispeed = static_cast<speed_t>(s.bitRate);
        t.c_ospeed = static_cast<speed_t>(s.bitRate);
        if (::ioctl(fd_, TCSETS2, &t) != 0) return false;
        // The modem lines follow the handshake; pseudo-terminals have none, so failures pass.
        setModemLine(ModemLine::Dtr, true);
        if (s.handshake != SerialLineSettings::Handshake::RtsCts) setModemLine(ModemLine::Rts, s.rtsOn);
        return true;
    }

    IoResult read(std::uint8_t* buffer, std::size_t size) override {
        if (released_) return {IoResult::Kind::Failed, 0};
        const ssize_t got = ::read(fd_, buffer, size);
        return outcome(got);
    }

    IoResult write(const std::uint8_t* data, std::size_t size) override {
        if (released_) return {IoResult::Kind::Failed, 0};
        const ssize_t put = ::write(fd_, data, size);
        return outcome(put);
    }

    void purgeOutput() override { ::ioctl(fd_, TCFLSH, TCOFLUSH); }
    void purgeInput() override { ::ioctl(fd_, TCFLSH, TCIFLUSH); }

    std::optional<std::int32_t> inputQueueLength() override {
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) != 0) return std::nullopt;
        return waiting;
    }

    std::optional<SerialLineCounters> lineCounters() override {
        serial_icounter_struct icount{};
        if (::ioctl(fd_, TIOCGICOUNT, &icount) != 0) return std::nullopt;
        return SerialLineCounters{icount.overrun, icount.parity, icount.frame, icount.brk};
    }

    bool setModemLine(ModemLine line, bool raised) override {
        const int bit = line == ModemLine::Rts ? TIOCM_RTS : TIOCM_DTR;
        return ::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &bit) == 0;
    }

    std::optional<unsigned> modemStatus() override {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0) return std::nullopt;
        unsigned status = 0;
        if (lines & TIOCM_CTS) status |= kModemCts;
        if (lines & TIOCM_DSR) status |= kModemDsr;
        if (lines & TIOCM_RNG) status |= kModemRing;
        if (lines & TIOCM_CD) status |= kModemRlsd;
        return status;
    }

    bool setBreak(bool on) override { return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }

    void release() override {
        if (released_.exchange(true)) return;
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
    }

private:
    // The one place where errno becomes a device outcome. A read of 0 bytes from a terminal in
    // raw mode with VMIN 1 only happens once the far side has hung up.
    static IoResult outcome(ssize_t n) {
        if (n > 0) return {IoResult::Kind::Done, static_cast<std::size_t>(n)};
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return {IoResult::Kind::WouldBlock, 0};
        return {IoResult::Kind::Failed, 0};
    }

    const int fd_;
    std::atomic<bool> released_{false};
};

}  // namespace

std::shared_ptr<SerialDevice> openSerialDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // flock decides "in use": TIOCEXCL alone does not stop a second open by root.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<LinuxSerialDevice>(fd);
}

}  // namespace tessaly
