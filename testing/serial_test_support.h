// What the serial tests stand on: pseudo-terminal pairs as ports, a temporary port map folder,
// and a device wrapper that records what the component asked of the device and can hold writes
// back or play line errors and breaks that a pseudo-terminal cannot produce.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "links/serial/serial_device.h"

namespace tessaly::testing {

using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal: the test keeps the far end (master); the component opens the near end by
// its path, as it would open a receiver's device node.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    const std::string& nearPath() const { return nearPath_; }
    int farFd() const { return farFd_; }
    void writeFar(const Bytes& bytes);
    // Reads from the far end until `count` bytes came or `limit` passed.
    Bytes readFar(std::size_t count, std::chrono::milliseconds limit);
    // Everything that arrives within `quiet` of the last byte.
    Bytes drainFar(std::chrono::milliseconds quiet);
    // Plays an unplugged receiver: the near end sees a hang-up.
    void closeFar();

private:
    int farFd_ = -1;
    std::string nearPath_;
};

// A temporary port map folder with COMn links.
class PortsFolder {
public:
    PortsFolder();
    ~PortsFolder();
    const std::filesystem::path& path() const { return path_; }
    void link(std::int32_t portNo, const std::filesystem::path& target);
    std::string portPath(std::int32_t portNo) const;

private:
    std::filesystem::path path_;
};

// Holds a port the way another program would: an exclusive flock on the device.
class ForeignLock {
public:
    explicit ForeignLock(const std::string& path);
    ~ForeignLock();

private:
    int fd_ = -1;
};

// Wraps a real device. Thread-safe: the owner thread, the I/O loop and the test call it at once.
class RecordingDevice final : public SerialDevice {
public:
    struct Event {
        enum class Kind { Write, RtsUp, RtsDown, DtrUp, DtrDown, PurgeOutput } kind;
        std::size_t size = 0;
    };

    explicit RecordingDevice(std::shared_ptr<SerialDevice> inner) : inner_(std::move(inner)) {}

    // While held, a write blocks (inside the component's write lock) until releaseWrites(); the
    // I/O loop that writes stands still meanwhile, as no real device would make it.
    void holdWrites();
    // With `parityError`, the write that was waiting fails and a parity error is counted.
    void releaseWrites(bool parityError = false);
    void addLineEvents(const SerialLineCounters& more);
    std::vector<Event> events() const;
    std::vector<std::size_t> writeSizes() const;
    SerialLineSettings lastSettings() const;
    bool writeWaiting() const { return writeWaiting_; }

    int fd() const override { return inner_->fd(); }
    bool applyLineSettings(const SerialLineSettings& settings) override;
    IoResult read(std::uint8_t* buffer, std::size_t size) override { return inner_->read(buffer, size); }
    IoResult write(const std::uint8_t* data, std::size_t size) override;
    void purgeOutput() override;
    void purgeInput() override { inner_->purgeInput(); }
    std::optional<std::int32_t> inputQueueLength() override { return inner_->inputQueueLength(); }
    std::optional<SerialLineCounters> lineCounters() override;
    bool setModemLine(ModemLine line, bool raised) override;
    std::optional<unsigned> modemStatus() override { return inner_->modemStatus(); }
    bool setBreak(bool on) override { return inner_->setBreak(on); }
    void release() override { inner_->release(); }

private:
    void record(Event event);

    std::shared_ptr<SerialDevice> inner_;
    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable released_;
    bool holding_ = false;
    bool failReleased_ = false;
    std::atomic<bool> writeWaiting_{false};
    std::vector<Event> events_;
    SerialLineCounters added_;
    SerialLineSettings lastSettings_;
};

// Polls `condition` every millisecond until it holds or `limit` passes; its last value.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

}  // namespace tessaly::testing
