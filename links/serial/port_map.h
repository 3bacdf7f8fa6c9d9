// The port map: a folder of symbolic links COM1 ... COM99, each pointing at a device node, that
// gives Linux serial devices the port numbers the user picks. $TESSALY_PORTS_DIR, else
// $XDG_CONFIG_HOME/tessaly-monitor/ports (~/.config/... when unset). Links the user made by hand
// (to a pseudo-terminal, say) are kept as they are; devices found on the system that no link
// points at yet get the lowest free number.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "links/serial/serial_device_list.h"

namespace tessaly {

inline constexpr std::int32_t kFirstPortNo = 1;
inline constexpr std::int32_t kLastPortNo = 99;

std::filesystem::path portsDirectory();

// The path PortOpen opens for a port number: the map's link; empty outside 1 to 99.
std::string portDevicePath(std::int32_t portNo);

struct PortMapLink {
    std::int32_t portNo = 0;            // any number the link's name carries, also above 99
    std::filesystem::path link;         // <folder>/COMn
    std::filesystem::path target;       // where it points, as written
    std::filesystem::path deviceNode;   // the target fully resolved; empty when it does not exist
};

// The COMn links of the folder, by ascending number. False when the folder cannot be read.
bool readPortMap(const std::filesystem::path& folder, std::vector<PortMapLink>& links);

// Links every device that no link resolves to yet, under the lowest free number from 1 to 99,
// through its stable path when it has one. Creates the folder when needed; false when it cannot.
bool addNewDevices(const std::filesystem::path& folder, const std::vector<SerialDeviceInfo>& devices);
// The devices no link of the map reaches yet, in the order found: what addNewDevices would number.
std::vector<SerialDeviceInfo> devicesWithoutNumber(const std::vector<PortMapLink>& links,
                                                   const std::vector<SerialDeviceInfo>& devices);

}  // namespace tessaly
