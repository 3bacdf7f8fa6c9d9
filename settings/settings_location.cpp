#include "settings/settings_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "settings/whole_file.h"

namespace tessaly {
namespace {

constexpr std::string_view kSettingsExtension = ".ini";
constexpr std::string_view kPerUserFolderName = "tessaly-monitor";
constexpr char kProbePattern[] = "$$$XXXXXX";

std::string asciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower;
}

// An argument names the settings file when its first ".ini" ends it and something comes before.
bool namesSettingsFile(std::string_view argument) {
    const std::size_t first = asciiLower(argument).find(kSettingsExtension);
    return first != std::string::npos && first >= 1 &&
           first + kSettingsExtension.size() == argument.size();
}

std::filesystem::path chosenPath(const SettingsLocationInputs& inputs) {
    std::filesystem::path path = inputs.programPath;
    path.replace_extension(kSettingsExtension);
    for (const std::string& argument : inputs.arguments) {
        if (!namesSettingsFile(argument)) continue;
        if (argument.find('/') != std::string::npos) {
            return (inputs.currentFolder / argument).lexically_normal();
        }
        return inputs.programPath.parent_path() / argument;
    }
    return path;
}

// Where packages put programs: a user's settings there would outlive the package (a purge does not
// know them) and, written as root, be shared by every user. Writable or not, never used.
bool isSystemFolder(const std::filesystem::path& folder) {
    const std::filesystem::path normal = folder.lexically_normal();
    for (const char* top : {"/usr", "/opt", "/bin", "/sbin"}) {
        const std::filesystem::path system(top);
        const auto [end, unused] = std::mismatch(system.begin(), system.end(), normal.begin(), normal.end());
        if (end == system.end()) return true;
    }
    return false;
}

// Creating a file there is the only reliable test: access() ignores read-only mounts and ACLs.
bool folderIsWritable(const std::filesystem::path& folder) {
    std::string probe = (folder / kProbePattern).string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

// The later of status-change and last-write time, in nanoseconds; zero when it cannot be read.
std::int64_t fileTimeStamp(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return 0;
    const auto nanoseconds = [](const timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    return std::max(nanoseconds(status.st_ctim), nanoseconds(status.st_mtim));
}

}  // namespace

std::filesystem::path locateSettingsFile(const SettingsLocationInputs& inputs) {
    const std::filesystem::path chosen = chosenPath(inputs);
    // A file the user named by its path is used where it is; one beside the program is not, when
    // the program was installed by a package.
    const bool besideSystemProgram = chosen.parent_path() == inputs.programPath.parent_path() &&
                                     isSystemFolder(inputs.programPath.parent_path());
    if (!besideSystemProgram && folderIsWritable(chosen.parent_path())) return chosen;

    const std::filesystem::path folder = inputs.configHome / kPerUserFolderName;
    std::error_code error;
    if (!inputs.configHome.is_relative()) std::filesystem::create_directories(folder, error);
    if (inputs.configHome.is_relative() || !std::filesystem::is_directory(folder, error)) {
        // A relative folder would depend on where the program happened to be started.
        throw std::runtime_error("Cannot create : " + folder.string() + "/");
    }
    const std::filesystem::path perUser = folder / chosen.filename();
    if (std::filesystem::is_regular_file(chosen, error) &&
        fileTimeStamp(chosen) > fileTimeStamp(perUser)) {
        // Through a whole-file replace: a copy that fails half-way must not leave the per-user
        // settings truncated.
        const std::optional<std::string> bytes = regularFileBytes(chosen);
        if (!bytes || !replaceFileContents(perUser, *bytes)) {
            throw std::runtime_error("Cannot Copy : " + perUser.string());
        }
    }
    return perUser;
}

std::filesystem::path defaultConfigHome() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && std::filesystem::path(configHome).is_absolute()) return configHome;
    const char* home = std::getenv("HOME");
    if (home && *home) return std::filesystem::path(home) / ".config";
    passwd entry {};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return std::filesystem::path(found->pw_dir) / ".config";
    }
    return {};
}

std::filesystem::path runningProgramPath() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

}  // namespace tessaly
