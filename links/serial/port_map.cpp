#include "links/serial/port_map.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string_view>

namespace tessaly {
namespace fs = std::filesystem;

namespace {

// "COM" and a decimal number without leading zero; 0 for any other name.
std::int32_t portNoOfLinkName(std::string_view name) {
    if (name.size() < 4 || name.size() > 12 || name.substr(0, 3) != "COM" || name[3] == '0') return 0;
    std::int64_t value = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value <= INT32_MAX ? static_cast<std::int32_t>(value) : 0;
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    return error ? fs::path() : real;
}

}  // namespace

fs::path portsDirectory() {
    if (const char* dir = std::getenv("TESSALY_PORTS_DIR"); dir && *dir) return dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        return fs::path(config) / "tessaly-monitor" / "ports";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : ".") / ".config" / "tessaly-monitor" / "ports";
}

std::string portDevicePath(std::int32_t portNo) {
    if (portNo < kFirstPortNo || portNo > kLastPortNo) return "";
    return (portsDirectory() / ("COM" + std::to_string(portNo))).string();
}

bool readPortMap(const fs::path& folder, std::vector<PortMapLink>& links) {
    links.clear();
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return false;
    for (const fs::directory_entry& entry : it) {
        const std::int32_t portNo = portNoOfLinkName(entry.path().filename().string());
        if (portNo == 0 || !entry.is_symlink(error)) continue;
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (error) continue;
        links.push_back({portNo, entry.path(), target, resolved(entry.path())});
    }
    std::sort(links.begin(), links.end(),
              [](const PortMapLink& a, const PortMapLink& b) { return a.portNo < b.portNo; });
    return true;
}

std::vector<SerialDeviceInfo> devicesWithoutNumber(const std::vector<PortMapLink>& links,
                                                   const std::vector<SerialDeviceInfo>& devices) {
    std::set<fs::path> linked;
    for (const PortMapLink& link : links) {
        if (!link.deviceNode.empty()) linked.insert(link.deviceNode);
        // A link through a stable path whose device is unplugged still holds its number.
        linked.insert(link.target.lexically_normal());
    }
    std::vector<SerialDeviceInfo> without;
    for (const SerialDeviceInfo& device : devices) {
        const fs::path node = resolved(device.deviceNode);
        const bool stableLinked = !device.stableLink.empty() && linked.count(device.stableLink);
        if (stableLinked || linked.count(node) || linked.count(device.deviceNode)) continue;
        without.push_back(device);
        // The same device found twice (two names of one node) gets one number.
        if (!node.empty()) linked.insert(node);
    }
    return without;
}

bool addNewDevices(const fs::path& folder, const std::vector<SerialDeviceInfo>& devices) {
    std::error_code error;
    fs::create_directories(folder, error);
    std::vector<PortMapLink> links;
    if (!readPortMap(folder, links)) return false;
    std::set<std::int32_t> taken;
    for (const PortMapLink& link : links) taken.insert(link.portNo);
    std::int32_t next = kFirstPortNo;
    for (const SerialDeviceInfo& device : devicesWithoutNumber(links, devices)) {
        while (next <= kLastPortNo && taken.count(next)) ++next;
        if (next > kLastPortNo) break;
        const fs::path target = device.stableLink.empty() ? device.deviceNode : device.stableLink;
        fs::create_symlink(target, folder / ("COM" + std::to_string(next)), error);
        if (!error) taken.insert(next);
    }
    return true;
}

}  // namespace tessaly
