#include "links/serial/port_list.h"

#include <algorithm>

#include "links/serial/port_map.h"
#include "links/serial/serial_device.h"

namespace tessaly {
namespace fs = std::filesystem;

bool isPortAvailable(std::int32_t portNo, const fs::path& portsFolder) {
    if (portNo < kFirstPortNo || portNo > kLastPortNo) return false;
    // The device is released and closed again as the pointer goes.
    return openSerialDevice((portsFolder / ("COM" + std::to_string(portNo))).string()) != nullptr;
}

std::string portListEntry(std::int32_t portNo, std::string_view friendlyName) {
    std::string entry = "COM" + std::to_string(portNo);
    if (friendlyName.empty()) return entry;
    entry += entry.size() < 5 ? "  " : " ";
    entry += friendlyName;
    return entry;
}

std::string PortList::text() const {
    std::string joined;
    for (const PortListEntry& entry : entries) joined += entry.text + "\r\n";
    return joined;
}

PortList buildPortList(const PortListSource& source) {
    const fs::path folder = source.portsFolder.empty() ? portsDirectory() : source.portsFolder;
    const std::vector<SerialDeviceInfo> devices =
        source.findDevices ? source.findDevices() : findSerialDevices();
    const auto isAvailable = source.isAvailable
        ? source.isAvailable
        : [&folder](std::int32_t portNo) { return isPortAvailable(portNo, folder); };

    PortList list;
    if (source.numberNewDevices) addNewDevices(folder, devices);
    std::vector<PortMapLink> links;
    if (!readPortMap(folder, links)) return list;
    list.found = true;
    if (!source.numberNewDevices) list.unnumbered = devicesWithoutNumber(links, devices);

    for (const PortMapLink& link : links) {
        // Links to devices that are not there (a receiver unplugged) and numbers above 99 are
        // not offered; two links with one number cannot exist in one folder.
        if (link.portNo > kLastPortNo || link.deviceNode.empty()) continue;
        std::string friendlyName;
        for (const SerialDeviceInfo& device : devices) {
            std::error_code error;
            if (fs::canonical(device.deviceNode, error) == link.deviceNode) {
                friendlyName = device.friendlyName;
                break;
            }
        }
        list.entries.push_back({portListEntry(link.portNo, friendlyName), link.deviceNode, link.portNo});
    }

    // Bluetooth links are kept untried: a trial open would start a radio connection each time.
    std::erase_if(list.entries, [&](const PortListEntry& entry) {
        return entry.text.find("Bluetooth") == std::string::npos &&
               !isAvailable(entry.portNo);
    });
    return list;
}

std::vector<std::string> portListLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace tessaly
