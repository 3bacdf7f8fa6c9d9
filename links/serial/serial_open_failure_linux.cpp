#include "links/serial/serial_open_failure.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tessaly {

std::string serialOpenFailure(const std::string& path, bool mapped) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (path.empty()) return "no such port (COM1 to COM99)";
    const fs::path file(path);
    if (mapped && !fs::is_symlink(file, error) && !fs::exists(file, error)) {
        return "not in the port map " + file.parent_path().string() + "; tessaly-cli ports --number numbers the devices found";
    }
    if (!fs::exists(file, error)) return "the device " + (mapped ? fs::read_symlink(file, error).string() : path) +
                                         " is not there (unplugged?)";
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return "permission denied (a member of the dialout group may use it)";
        return std::strerror(errno);
    }
    std::string why = "in use by another program";
    if (!::isatty(fd)) why = "not a serial device";
    ::close(fd);
    return why;
}

}  // namespace tessaly
