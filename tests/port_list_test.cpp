// Port discovery: entry texts, the port map and the port list the port
// combo boxes show.
#include <gtest/gtest.h>

#include "links/serial/port_list.h"
#include "links/serial/port_map.h"
#include "testing/serial_test_support.h"

namespace tessaly::testing {
namespace {

TEST(PortListEntry, FriendlyNameStartsAtTheSeventhCharacter) {
    EXPECT_EQ(portListEntry(3, ""), "COM3");
    EXPECT_EQ(portListEntry(12, ""), "COM12");
    EXPECT_EQ(portListEntry(3, "GNSS receiver"), "COM3  GNSS receiver");
    EXPECT_EQ(portListEntry(12, "GNSS receiver"), "COM12 GNSS receiver");
    EXPECT_EQ(portListEntry(99, "x").find('x'), 6u);
    EXPECT_EQ(portListEntry(1, "x").find('x'), 6u);
}

class PortListTest : public ::testing::Test {
protected:
    PortList build(std::vector<SerialDeviceInfo> devices = {}) {
        PortListSource source;
        source.portsFolder = folder.path();
        source.findDevices = [devices] { return devices; };
        return buildPortList(source);
    }

    static std::vector<std::string> texts(const PortList& list) {
        std::vector<std::string> out;
        for (const auto& entry : list.entries) out.push_back(entry.text);
        return out;
    }

    PortsFolder folder;
    PtyPair one, two, ten, hundredTwenty, bluetooth;
};

TEST_F(PortListTest, ListsAvailablePortsFromOneToNinetyNineInOrder) {
    folder.link(10, ten.nearPath());
    folder.link(2, two.nearPath());
    folder.link(120, hundredTwenty.nearPath());
    folder.link(1, one.nearPath());
    ForeignLock twoIsInUse(two.nearPath());
    const PortList list = build({{ten.nearPath(), "", "u-blox GNSS receiver (ttyACM0)"},
                                 {bluetooth.nearPath(), "", "Bluetooth serial port (rfcomm0)"}});
    ASSERT_TRUE(list.found);
    // The Bluetooth device had no link: it got the lowest free number, 3.
    EXPECT_EQ(texts(list), (std::vector<std::string>{"COM1", "COM3  Bluetooth serial port (rfcomm0)",
                                                     "COM10 u-blox GNSS receiver (ttyACM0)"}));
    EXPECT_EQ(list.text(),
              "COM1\r\nCOM3  Bluetooth serial port (rfcomm0)\r\nCOM10 u-blox GNSS receiver (ttyACM0)\r\n");
    EXPECT_EQ(portListLines(list.text()), texts(list));
    EXPECT_EQ(list.entries[0].deviceNode, std::filesystem::canonical(one.nearPath()));
}

TEST_F(PortListTest, BluetoothEntriesStayWithoutATrialOpen) {
    ForeignLock held(bluetooth.nearPath());
    const PortList list = build({{bluetooth.nearPath(), "", "Bluetooth serial port (rfcomm0)"}});
    EXPECT_EQ(texts(list), (std::vector<std::string>{"COM1  Bluetooth serial port (rfcomm0)"}));
}

TEST_F(PortListTest, NewDevicesKeepTheirNumbersAndHandMadeLinksStay) {
    folder.link(1, one.nearPath());
    const std::vector<SerialDeviceInfo> devices = {{two.nearPath(), "", "Receiver A (ttyUSB0)"}};
    EXPECT_EQ(texts(build(devices)), (std::vector<std::string>{"COM1", "COM2  Receiver A (ttyUSB0)"}));
    // A second build finds the device linked already and adds nothing.
    EXPECT_EQ(texts(build(devices)), (std::vector<std::string>{"COM1", "COM2  Receiver A (ttyUSB0)"}));
    EXPECT_EQ(std::filesystem::read_symlink(folder.path() / "COM1"), one.nearPath());
}

TEST_F(PortListTest, LinksToAbsentDevicesAreNotListedButKeepTheirNumber) {
    folder.link(1, folder.path() / "unplugged-receiver");
    const PortList list = build({{ten.nearPath(), "", "Receiver B (ttyUSB1)"}});
    EXPECT_EQ(texts(list), (std::vector<std::string>{"COM2  Receiver B (ttyUSB1)"}));
}

TEST_F(PortListTest, UnreadableMapGivesAnEmptyList) {
    PortListSource source;
    source.portsFolder = "/proc/version/ports";  // below a file: cannot exist
    source.findDevices = [] { return std::vector<SerialDeviceInfo>{}; };
    const PortList list = buildPortList(source);
    EXPECT_FALSE(list.found);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.text(), "");
}

TEST_F(PortListTest, AvailabilityIsTheExclusiveOpen) {
    folder.link(1, one.nearPath());
    folder.link(3, folder.path() / "missing");
    EXPECT_TRUE(isPortAvailable(1, folder.path()));
    EXPECT_FALSE(isPortAvailable(2, folder.path()));
    EXPECT_FALSE(isPortAvailable(3, folder.path()));
    EXPECT_FALSE(isPortAvailable(0, folder.path()));
    {
        ForeignLock held(one.nearPath());
        EXPECT_FALSE(isPortAvailable(1, folder.path()));
    }
    EXPECT_TRUE(isPortAvailable(1, folder.path()));
}

TEST(PortsDirectory, FollowsTheEnvironment) {
    ::setenv("TESSALY_PORTS_DIR", "/tmp/some-ports", 1);
    EXPECT_EQ(portsDirectory(), std::filesystem::path("/tmp/some-ports"));
    EXPECT_EQ(portDevicePath(7), "/tmp/some-ports/COM7");
    EXPECT_EQ(portDevicePath(100), "");
    ::unsetenv("TESSALY_PORTS_DIR");
    ::setenv("XDG_CONFIG_HOME", "/tmp/config", 1);
    EXPECT_EQ(portsDirectory(), std::filesystem::path("/tmp/config/tessaly-monitor/ports"));
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tessaly::testing
