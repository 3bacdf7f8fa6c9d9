// The settings ("profile") file in memory: section header lines "[name]" and "key=value" lines,
// read and written the way the system's profile functions do it, so files written by earlier
// versions of the program keep working. Sections and keys are found regardless of ASCII letter
// case; a value is read trimmed of blanks and tabs, with one pair of enclosing quotes removed and
// cut to 2047 UTF-16 code units. Writing replaces a key's line in place and keeps every other line
// (comments, unknown keys, lines that cannot be read) as it was; new keys go to the end of their
// section and new sections to the end of the file, in the order written.
//
// A file starting with the bytes FF FE is UTF-16 LE and is saved the same way; any other file is
// read as UTF-8 and saved as UTF-8; a file the program creates is UTF-16 LE. Damaged content
// (binary bytes, an odd byte count, lone surrogates, broken lines) is skipped, never fatal.
//
// Texts in and out are UTF-8. Owned by one thread at a time; nothing global.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class ProfileFile {
public:
    // An empty file that will be saved as UTF-16 LE.
    ProfileFile() = default;

    // Never throws. A file that does not exist is first created empty (see createEmpty); one that
    // cannot be read gives an empty profile.
    static ProfileFile load(const std::filesystem::path& file);

    // Creates an empty UTF-16 LE file holding only its byte-order mark. An existing file is left
    // untouched and false returned, as on any failure.
    static bool createEmpty(const std::filesystem::path& file);

    // The value of the first key named `key` in the first section named `section`.
    std::optional<std::string> read(std::string_view section, std::string_view key) const;
    std::string readText(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
    // Decimal with an optional sign, or hexadecimal after "0x" (up to 32 bits, taken as the bit
    // pattern of a signed value). Anything else, or a decimal value outside 32 bits, gives the
    // default.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // Read as an integer; non-zero is true.
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // The value is stored up to its first line break or NUL character: what follows could not be
    // read back and would otherwise turn into lines of its own.
    void write(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // Writes the whole file with CR LF line ends, atomically (see replaceFileContents). Returns
    // false on failure; never throws.
    bool save(const std::filesystem::path& file) const;

private:
    enum class Encoding { Utf16Le, Utf8, Utf8WithMark };

    std::optional<std::size_t> findSection(std::u16string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<std::size_t> findKey(std::size_t header, std::u16string_view key) const;
    std::string encoded() const;

    Encoding encoding_ = Encoding::Utf16Le;
    std::vector<std::u16string> lines_;
};

}  // namespace tessaly
