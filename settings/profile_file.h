// The settings ("profile") file in memory: section header lines "[name]" and "key=value" lines,
// read and written the way the system's profile functions do it, so files written by earlier
// versions of the program keep working. Sections and keys are found regardless of ASCII letter
// case; a value is read trimmed of blanks and tabs, with one pair of enclosing quotes removed and
// cut to 2047 UTF-16 code units. Writing replaces a key's line in place; new keys go to the end of
// their section and new sections to the end of the file, in the order written. Every line the
// program does not change (comments, unknown keys, lines that cannot be read, keys written with
// the value they had) is saved with the very bytes it was read with, line end included, whatever
// their encoding; lines the program writes end as the file's first line does.
//
// A file starting with the bytes FF FE is UTF-16 LE, one starting with FE FF UTF-16 BE, and each
// is saved the same way; any other file is read as UTF-8 and saved as UTF-8; a file the program
// creates is UTF-16 LE. Damaged content (binary bytes, an odd byte count, lone surrogates, broken
// lines) is skipped, never fatal.
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

    // Writes the whole file atomically (see replaceFileContents). Returns false on failure, with
    // the reason in `why` when given, and never replaces a path that is not a regular file (nor a
    // link to one); never throws.
    bool save(const std::filesystem::path& file, std::string* why = nullptr) const;

private:
    enum class Encoding { Utf16Le, Utf16Be, Utf8 };

    struct Line {
        std::u16string text;
        // The bytes the line was read with, without its line end; absent for a line the program
        // added or changed, which is encoded from its text.
        std::optional<std::string> original;
        // As read, or the file's own for an added line; empty only when the file ended without one.
        std::string end;
    };

    void split(std::string_view content);
    std::string addedLineEnd() const;
    Line addedLine(std::u16string text) const;
    std::optional<std::size_t> findSection(std::u16string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<std::size_t> findKey(std::size_t header, std::u16string_view key) const;
    std::string encodedText(std::u16string_view text) const;
    std::string encoded() const;

    Encoding encoding_ = Encoding::Utf16Le;
    std::string mark_{"\xFF\xFE"};  // the byte-order mark the file starts with, if any
    std::string lineEnd_;            // for added lines: the first line end read; CR LF without one
    std::vector<Line> lines_;
    std::string tail_;  // half a code unit at the end of a UTF-16 file, kept at the end
};

}  // namespace tessaly
