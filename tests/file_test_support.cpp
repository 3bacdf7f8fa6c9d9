#include "tests/file_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tessaly::test {

namespace {
constexpr uid_t kNobody = 65534;
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-settings-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    std::filesystem::permissions(path_, std::filesystem::perms::all);
}

TempFolder::~TempFolder() {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, error)) {
        if (entry.is_directory(error)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::all, error);
        }
    }
    std::filesystem::remove_all(path_, error);
}

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string utf16LeBytes(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string runUnprivileged(const std::function<std::string()>& action) {
    int channel[2];
    if (::pipe(channel) != 0) throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
        std::string result;
        try {
            result = action();
        } catch (const std::exception& error) {
            result = std::string("exception: ") + error.what();
        }
        const bool written =
            ::write(channel[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(channel[1]);
    std::string result;
    char block[4096];
    ssize_t got;
    while ((got = ::read(channel[0], block, sizeof block)) > 0) result.append(block, got);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("unprivileged child failed, status " + std::to_string(status));
    }
    return result;
}

}  // namespace tessaly::test
