// Finds serial devices through libudev.
#include "links/serial/serial_device_list.h"

#include <libudev.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace tessaly {
namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string property(udev_device* device, const char* name) {
    const char* value = udev_device_get_property_value(device, name);
    return value ? value : "";
}

// udev encodes blanks in vendor and model strings as underscores.
std::string readable(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The legacy 8250 driver registers ttyS0..ttyS31 whether or not a UART is behind them; those
// hang off its platform device, while real UARTs hang off pnp, PCI or their own platform node.
bool isPlaceholderUart(udev_device* device) {
    udev_device* parent = udev_device_get_parent(device);  // owned by `device`
    if (!parent) return true;  // virtual consoles and other parentless terminals
    const char* driver = udev_device_get_driver(parent);
    const char* subsystem = udev_device_get_subsystem(parent);
    return driver && subsystem && std::string_view(driver) == "serial8250" &&
           std::string_view(subsystem) == "platform";
}

std::string friendlyNameOf(udev_device* device, const std::string& sysname, bool bluetooth) {
    std::string vendor = property(device, "ID_VENDOR_FROM_DATABASE");
    if (vendor.empty()) vendor = readable(property(device, "ID_VENDOR"));
    std::string model = property(device, "ID_MODEL_FROM_DATABASE");
    if (model.empty()) model = readable(property(device, "ID_MODEL"));
    std::string name = vendor;
    if (!model.empty()) name += (name.empty() ? "" : " ") + model;
    if (name.empty()) name = "Serial port";
    if (bluetooth && name.find("Bluetooth") == std::string::npos) name = "Bluetooth " + name;
    return name + " (" + sysname + ")";
}

std::string stableLinkOf(udev_device* device) {
    for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link;
         link = udev_list_entry_get_next(link)) {
        const std::string path = udev_list_entry_get_name(link);
        if (startsWith(path, "/dev/serial/by-id/")) return path;
    }
    return "";
}

}  // namespace

std::vector<SerialDeviceInfo> findSerialDevices() {
    std::vector<SerialDeviceInfo> found;
    UdevPtr<udev> context(udev_new());
    if (!context) return found;
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return found;
    }
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
        UdevPtr<udev_device> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device) continue;
        const char* node = udev_device_get_devnode(device.get());
        const char* sysname = udev_device_get_sysname(device.get());
        if (!node || !sysname) continue;
        const bool bluetooth = startsWith(sysname, "rfcomm");
        if (!bluetooth && isPlaceholderUart(device.get())) continue;
        found.push_back({node, stableLinkOf(device.get()),
                         friendlyNameOf(device.get(), sysname, bluetooth)});
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.deviceNode < b.deviceNode; });
    return found;
}

}  // namespace tessaly
