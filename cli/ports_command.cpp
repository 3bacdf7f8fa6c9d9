#include "cli/ports_command.h"

#include <ostream>

#include "links/serial/port_map.h"

namespace tessaly {

int runPorts(const std::vector<std::string>& args, const PortListSource& source, std::ostream& out,
             std::ostream& err) {
    bool showMap = false;
    PortListSource listed = source;
    listed.numberNewDevices = false;
    for (const std::string& arg : args) {
        if (arg == "--map") {
            showMap = true;
        } else if (arg == "--number") {
            listed.numberNewDevices = true;
        } else {
            err << "tessaly-cli ports: unknown option '" << arg << "'\n";
            return 2;
        }
    }
    const std::filesystem::path folder =
        source.portsFolder.empty() ? portsDirectory() : source.portsFolder;
    const PortList list = buildPortList(listed);
    if (!list.found) {
        err << "tessaly-cli ports: the port map folder " << folder << " cannot be read\n";
        return 2;
    }
    if (showMap) out << "Port map: " << folder.string() << "\n";
    for (const PortListEntry& entry : list.entries) {
        out << entry.text;
        if (showMap) out << "  ->  " << entry.deviceNode.string();
        out << "\n";
    }
    for (const SerialDeviceInfo& device : list.unnumbered) {
        out << "(no number) " << device.friendlyName << (device.friendlyName.empty() ? "" : "  ->  ")
            << device.deviceNode << "\n";
    }
    if (!list.unnumbered.empty()) out << "tessaly-cli ports --number gives them numbers in the port map\n";
    return 0;
}

}  // namespace tessaly
