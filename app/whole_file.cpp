#include "app/whole_file.h"

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

// The file that a rename must replace: the target of a symbolic link, not the link.
std::filesystem::path fileToReplace(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error)) return file;
    const auto target = std::filesystem::canonical(file, error);
    return error ? file : target;
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

bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path target = fileToReplace(file);
    std::string temporary;
    const int fd = createUniqueBeside(target, temporary);
    if (fd < 0) return false;
    struct stat old {};
    bool ok = true;
    if (::stat(target.c_str(), &old) == 0) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolderOf(target);
    return true;
}

}  // namespace tessaly
