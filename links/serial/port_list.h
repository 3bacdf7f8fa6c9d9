// The port list that the window's port combo boxes show when they drop down, and that
// `tessaly-cli ports` prints: one entry per available port from 1 to 99, in ascending order,
// "COMn" with the device's friendly name from the seventh character on. Built afresh every time:
// the map is brought up to date with the devices present (unless only listed), and every port is
// tried.
//
// Called on the window's thread (or the CLI's); the trial opens take a moment per port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "links/serial/serial_device_list.h"

namespace tessaly {

// Opens the port exactly as PortOpen does and closes it at once. A port that another program or
// the other link of this program holds is not available.
bool isPortAvailable(std::int32_t portNo, const std::filesystem::path& portsFolder);

struct PortListSource {
    std::filesystem::path portsFolder;  // portsDirectory() when empty
    std::function<std::vector<SerialDeviceInfo>()> findDevices;  // findSerialDevices when empty
    std::function<bool(std::int32_t)> isAvailable;              // isPortAvailable when empty
    // The window's drop-down numbers the devices it finds; a listing leaves the map as it is.
    bool numberNewDevices = true;
};

struct PortListEntry {
    std::string text;                 // "COM3  u-blox GNSS receiver (ttyACM0)"
    std::filesystem::path deviceNode; // what the map's link resolves to
    std::int32_t portNo = 0;
};

// "COM" and the number, then the friendly name (when there is one) so that it starts at the
// seventh character: "COM3  u-blox GNSS receiver (ttyACM0)", "COM12 Bluetooth ...".
std::string portListEntry(std::int32_t portNo, std::string_view friendlyName);

struct PortList {
    bool found = false;  // false when the map folder cannot be read: no entries then
    std::vector<PortListEntry> entries;
    // Without numberNewDevices: the devices found that no port of the map reaches yet.
    std::vector<SerialDeviceInfo> unnumbered;

    // The entries as one text, each line ended by CR LF: what replaces a combo box's items.
    std::string text() const;
};

PortList buildPortList(const PortListSource& source = {});

// The lines of a port list text, for the combo box's item list.
std::vector<std::string> portListLines(const std::string& text);

}  // namespace tessaly
