// The serial devices present on the system, as libudev reports them: USB serial and ACM
// adapters, real UARTs and Bluetooth RFCOMM links. Read afresh at every build of the port list.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

struct SerialDeviceInfo {
    std::string deviceNode;    // "/dev/ttyACM0"
    std::string stableLink;    // "/dev/serial/by-id/usb-..." when udev made one, else empty
    std::string friendlyName;  // "u-blox GNSS receiver (ttyACM0)"; RFCOMM names say "Bluetooth"
};

// Empty when udev cannot be asked (no udev in a container, for example).
std::vector<SerialDeviceInfo> findSerialDevices();

}  // namespace tessaly
