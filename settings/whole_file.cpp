#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

namespace tessaly {
namespace {

constexpr int kNameAttempts = 16;
constexpr int kLinkHops = 40;  // as many as the kernel follows

// The file that a rename must replace: the end of a chain of symbolic links, not a link, also
// when that end does not exist yet.
std::filesystem::path fileToReplace(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::path at = file;
    for (int hop = 0; hop < kLinkHops && std::filesystem::is_symlink(at, error); ++hop) {
        const std::filesystem::path target = std::filesystem::read_symlink(at, error);
        if (error) break;
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    return at;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Created with O_EXCL and mode 0666 so that the process's umask applies as for any new file.
int createUniqueBeside(const std::filesystem::path& file, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = file.string() + ".tmp" + std::to_string(random());
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void syncFolderOf(const std::filesystem::path& file) {
    const int fd = ::open(file.parent_path().empty() ? "." : file.parent_path().c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the rename has happened; only its durability is less certain
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::optional<std::string> regularFileBytes(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        bytes.emplace();
        char block[65536];
        for (;;) {
            const ssize_t got = ::read(fd, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) bytes.reset();
            if (got <= 0) break;
            bytes->append(block, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return bytes;
}

bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes, std::string* why) {
    const auto failed = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    const std::filesystem::path target = fileToReplace(file);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) return failed(std::generic_category().message(errno));
    if (exists && !S_ISREG(old.st_mode)) return failed("not a regular file");
    std::string temporary;
    const int fd = createUniqueBeside(target, temporary);
    if (fd < 0) return failed(std::generic_category().message(errno));
    bool ok = !exists || ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failed(std::generic_category().message(error));
    }
    syncFolderOf(target);
    return true;
}

}  // namespace tessaly
