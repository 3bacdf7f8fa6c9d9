// Real files for the settings tests: a temporary folder removed afterwards, whole-file reads and
// writes, and a way to act as a user whose permissions are enforced even when the tests run as
// root (who can write into any folder whatever its mode bits).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace tessaly::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string fileBytes(const std::filesystem::path& file);
void writeFileBytes(const std::filesystem::path& file, std::string_view bytes);
// UTF-16 LE bytes of a text, without byte-order mark.
std::string utf16LeBytes(std::u16string_view text);

// Runs `action` in a child process that, when started as root, becomes the user "nobody" first.
// Returns what the action returned, or "exception: <what>" when it threw. Folders the action
// must reach need to be open to others.
std::string runUnprivileged(const std::function<std::string()>& action);

}  // namespace tessaly::test
