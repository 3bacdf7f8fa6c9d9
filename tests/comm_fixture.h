// The fixture of the serial component tests: an I/O loop, a test owner thread that plays the
// window's thread, a port map folder whose COM1 is a pseudo-terminal, and a TCommX created,
// driven and destroyed on the owner thread. At the end every device the component opened must
// have been let go by its work on the loop: an operation that outlives its port is a fault.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "links/serial/comm_x.h"
#include "testing/serial_test_support.h"
#include "testing/test_owner_thread.h"

namespace tessaly::testing {

class CommTest : public ::testing::Test {
protected:
    CommTest() { ports.link(1, pty.nearPath()); }

    void TearDown() override {
        owner->call([&] { comm.reset(); });
        recorder.reset();
        EXPECT_TRUE(devicesLetGo()) << "a thread still holds a closed port's device";
    }

    // Creates the component on the owner thread; with `record`, opened devices are wrapped.
    TCommX& create(bool record = false) {
        recordDevices = record;
        CommEnvironment environment;
        environment.owner = owner;
        environment.loop = loop;
        environment.processEvents = [o = owner.get()] { o->processEvents(); };
        environment.portPath = [this](std::int32_t n) {
            return n >= 1 && n <= 99 ? ports.portPath(n) : std::string();
        };
        environment.openDevice = [this](const std::string& path) -> std::shared_ptr<SerialDevice> {
            std::shared_ptr<SerialDevice> device = openSerialDevice(path);
            if (device && recordDevices) {
                recorder = std::make_shared<RecordingDevice>(device);
                device = recorder;
            }
            if (device) opened.push_back(device);
            return device;
        };
        owner->call([&] { comm = std::make_unique<TCommX>(environment); });
        return *comm;
    }

    void open() { owner->call([&] { comm->PortOpen(); }); }
    void close() { owner->call([&] { comm->PortClose(); }); }
    bool isOpen() { return owner->call([&] { return comm->Handle() != TCommX::kInvalidHandle; }); }
    bool transmit(const Bytes& bytes) {
        return owner->call([&] { return comm->TransBlock(bytes.data(), static_cast<std::int32_t>(bytes.size())); });
    }

    bool devicesLetGo() {
        return eventually([&] {
            for (const auto& device : opened) {
                if (!device.expired()) return false;
            }
            return true;
        });
    }

    std::shared_ptr<IoLoop> loop = std::make_shared<IoLoop>();
    std::shared_ptr<TestOwnerThread> owner = std::make_shared<TestOwnerThread>();
    PortsFolder ports;
    PtyPair pty;
    std::unique_ptr<TCommX> comm;
    bool recordDevices = false;
    std::shared_ptr<RecordingDevice> recorder;  // the last device opened, when recording
    std::vector<std::weak_ptr<SerialDevice>> opened;
};

// A pattern in which every byte value occurs, in an order that is not a plain count.
Bytes everyByteValue(std::size_t size);

}  // namespace tessaly::testing
