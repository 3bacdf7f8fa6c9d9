#include "cli/ports_command.h"

#include <ostream>

#include "links/serial/port_map.h"

namespace tessaly {

int runPorts(const std::vector<std::string>& args, const PortListSource& source, std::ostream& out,
             std::ostream& err) {
    bool showMap = false;
    for (const std::string& arg : args) {
        if (arg != "--map") {
            err << "tessaly-cli ports: unknown option '" << arg << "'\n";
            return 2;
        }
        showMap = true;
    }
    const std::filesystem::path folder =
        source.portsFolder.empty() ? portsDirectory() : source.portsFolder;
    const PortList list = buildPortList(source);
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
    return 0;
}

}  // namespace tessaly
