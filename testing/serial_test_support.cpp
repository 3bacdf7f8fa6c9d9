#include "testing/serial_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace tessaly::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

PtyPair::PtyPair() {
    int nearFd = -1;
    char name[256] = {};
    if (::openpty(&farFd_, &nearFd, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    // The near end is opened by path, as a device; the far end stays open so the pair lives.
    ::close(nearFd);
    nearPath_ = name;
    ::fcntl(farFd_, F_SETFL, ::fcntl(farFd_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() { closeFar(); }

void PtyPair::writeFar(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(farFd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else {
            pollfd fd{farFd_, POLLOUT, 0};
            if (::poll(&fd, 1, 3000) <= 0) throw std::runtime_error("pty far end does not take bytes");
        }
    }
}

Bytes PtyPair::readFar(std::size_t count, milliseconds limit) {
    Bytes got;
    const auto deadline = Clock::now() + limit;
    std::uint8_t buffer[65536];
    while (got.size() < count && Clock::now() < deadline) {
        const ssize_t n = ::read(farFd_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        } else {
            pollfd fd{farFd_, POLLIN, 0};
            ::poll(&fd, 1, 10);
        }
    }
    return got;
}

Bytes PtyPair::drainFar(milliseconds quiet) {
    Bytes got;
    for (;;) {
        Bytes more = readFar(65536, quiet);
        if (more.empty()) return got;
        got.insert(got.end(), more.begin(), more.end());
    }
}

void PtyPair::closeFar() {
    if (farFd_ >= 0) ::close(farFd_);
    farFd_ = -1;
}

PortsFolder::PortsFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-ports-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

PortsFolder::~PortsFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

void PortsFolder::link(std::int32_t portNo, const std::filesystem::path& target) {
    std::filesystem::create_symlink(target, path_ / ("COM" + std::to_string(portNo)));
}

std::string PortsFolder::portPath(std::int32_t portNo) const {
    return (path_ / ("COM" + std::to_string(portNo))).string();
}

ForeignLock::ForeignLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) throw std::runtime_error("cannot lock " + path);
}

ForeignLock::~ForeignLock() { ::close(fd_); }

void RecordingDevice::holdWrites() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

void RecordingDevice::releaseWrites(bool parityError) {
    {
        std::lock_guard lock(mutex_);
        holding_ = false;
        failReleased_ = parityError;
    }
    released_.notify_all();
}

void RecordingDevice::addLineEvents(const SerialLineCounters& more) {
    std::lock_guard lock(mutex_);
    added_.overrun += more.overrun;
    added_.parity += more.parity;
    added_.frame += more.frame;
    added_.brk += more.brk;
}

std::vector<RecordingDevice::Event> RecordingDevice::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::size_t> RecordingDevice::writeSizes() const {
    std::vector<std::size_t> sizes;
    for (const Event& event : events()) {
        if (event.kind == Event::Kind::Write) sizes.push_back(event.size);
    }
    return sizes;
}

SerialLineSettings RecordingDevice::lastSettings() const {
    std::lock_guard lock(mutex_);
    return lastSettings_;
}

bool RecordingDevice::applyLineSettings(const SerialLineSettings& settings) {
    {
        std::lock_guard lock(mutex_);
        lastSettings_ = settings;
    }
    return inner_->applyLineSettings(settings);
}

SerialDevice::IoResult RecordingDevice::write(const std::uint8_t* data, std::size_t size) {
    {
        std::unique_lock lock(mutex_);
        writeWaiting_ = holding_;
        released_.wait(lock, [&] { return !holding_; });
        writeWaiting_ = false;
        if (failReleased_) {
            failReleased_ = false;
            ++added_.parity;
            return {IoResult::Kind::Failed, 0};
        }
    }
    const IoResult result = inner_->write(data, size);
    if (result.kind == IoResult::Kind::Done) record({Event::Kind::Write, result.count});
    return result;
}

void RecordingDevice::purgeOutput() {
    record({Event::Kind::PurgeOutput, 0});
    inner_->purgeOutput();
}

std::optional<SerialLineCounters> RecordingDevice::lineCounters() {
    SerialLineCounters counters = inner_->lineCounters().value_or(SerialLineCounters{});
    std::lock_guard lock(mutex_);
    counters.overrun += added_.overrun;
    counters.parity += added_.parity;
    counters.frame += added_.frame;
    counters.brk += added_.brk;
    return counters;
}

bool RecordingDevice::setModemLine(ModemLine line, bool raised) {
    using K = Event::Kind;
    record({line == ModemLine::Rts ? (raised ? K::RtsUp : K::RtsDown) : (raised ? K::DtrUp : K::DtrDown)});
    return inner_->setModemLine(line, raised);
}

void RecordingDevice::record(Event event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
}

bool eventually(const std::function<bool()>& condition, milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

}  // namespace tessaly::testing
