#include "settings/profile_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <utility>

#include "settings/utf16_text.h"
#include "settings/whole_file.h"

namespace tessaly {
namespace {

constexpr std::string_view kByteOrderMark = "\xFF\xFE";
constexpr std::string_view kBigEndianByteOrderMark = "\xFE\xFF";
// Some editors start a UTF-8 file with this mark; it is kept but is not part of the first line.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// The profile functions read into a buffer of 2048 UTF-16 units, one of them the terminating NUL.
constexpr std::size_t kMaxValueUnits = 2047;

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// The name of a section header line, or nothing for any other line. A "[" without a closing "]"
// is a broken line, not a header: the keys after it stay in the section before it.
std::optional<std::u16string_view> sectionName(std::u16string_view line) {
    line = trimmed(line);
    if (!line.starts_with(u'[')) return std::nullopt;
    const std::size_t close = line.find(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    return trimmed(line.substr(1, close - 1));
}

struct KeyLine {
    std::u16string_view name;
    std::size_t valueStart;  // just after the "="
};

// Comment lines (";"), headers and lines without "=" hold no key.
std::optional<KeyLine> keyLine(std::u16string_view line) {
    const std::u16string_view content = trimmed(line);
    if (content.empty() || content.front() == u';' || content.front() == u'[') return std::nullopt;
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) return std::nullopt;
    return KeyLine{trimmed(line.substr(0, equals)), equals + 1};
}

std::u16string_view unquoted(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A cut between the two halves of a surrogate pair drops the lone high half.
std::u16string_view cutToBuffer(std::u16string_view value) {
    if (value.size() <= kMaxValueUnits) return value;
    value = value.substr(0, kMaxValueUnits);
    if (value.back() >= 0xD800 && value.back() <= 0xDBFF) value.remove_suffix(1);
    return value;
}

std::u16string storedValue(std::string_view value) {
    return utf16FromUtf8(value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3))));
}

// The code units of UTF-16 bytes in either byte order.
std::u16string fromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return units;
}

void appendUtf16(std::string& bytes, std::u16string_view units, bool bigEndian) {
    for (const char16_t unit : units) {
        const auto high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
}

std::optional<std::int32_t> integerFromValue(std::string_view text) {
    std::uint64_t magnitude = 0;
    const auto parsedWhole = [&](std::string_view digits, int base) {
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, magnitude, base);
        return !digits.empty() && error == std::errc() && stop == end;
    };
    if (text.size() > 2 && text.starts_with("0x")) {
        if (!parsedWhole(text.substr(2), 16) || magnitude > UINT32_MAX) return std::nullopt;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    }
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    if (!parsedWhole(text, 10)) return std::nullopt;
    if (magnitude > (negative ? std::uint64_t{1} << 31 : std::uint64_t{INT32_MAX})) {
        return std::nullopt;
    }
    const std::int64_t value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

ProfileFile ProfileFile::load(const std::filesystem::path& file) {
    ProfileFile profile;
    if (createEmpty(file)) return profile;
    const std::optional<std::string> bytes = regularFileBytes(file);
    if (!bytes) return profile;
    std::string_view content = *bytes;
    profile.encoding_ = Encoding::Utf8;
    profile.mark_.clear();
    for (const auto& [mark, encoding] : {std::pair{kByteOrderMark, Encoding::Utf16Le},
                                         std::pair{kBigEndianByteOrderMark, Encoding::Utf16Be},
                                         std::pair{kUtf8ByteOrderMark, Encoding::Utf8}}) {
        if (!content.starts_with(mark)) continue;
        profile.encoding_ = encoding;
        profile.mark_ = mark;
        content.remove_prefix(mark.size());
        break;
    }
    profile.split(content);
    return profile;
}

// Lines end at CR LF, a lone CR or a lone LF, which in UTF-8 never occur inside another
// character; each line keeps its bytes for the save.
void ProfileFile::split(std::string_view content) {
    const std::size_t unitSize = encoding_ == Encoding::Utf8 ? 1 : 2;
    const auto unitAt = [&](std::size_t at) -> char16_t {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(content[at + k]); };
        if (unitSize == 1) return byte(0);
        return static_cast<char16_t>(encoding_ == Encoding::Utf16Be ? byte(0) << 8 | byte(1) : byte(1) << 8 | byte(0));
    };
    const auto decoded = [&](std::string_view bytes) {
        return unitSize == 1 ? utf16FromUtf8(bytes) : fromUtf16(bytes, encoding_ == Encoding::Utf16Be);
    };
    const std::size_t whole = content.size() - content.size() % unitSize;
    tail_ = content.substr(whole);
    std::size_t start = 0;
    for (std::size_t at = 0; at < whole; at += unitSize) {
        const char16_t unit = unitAt(at);
        if (unit != u'\r' && unit != u'\n') continue;
        std::size_t endSize = unitSize;
        if (unit == u'\r' && at + unitSize < whole && unitAt(at + unitSize) == u'\n') endSize += unitSize;
        const std::string_view bytes = content.substr(start, at - start);
        lines_.push_back({decoded(bytes), std::string(bytes), std::string(content.substr(at, endSize))});
        if (lineEnd_.empty()) lineEnd_ = lines_.back().end;
        at += endSize - unitSize;
        start = at + unitSize;
    }
    if (start < whole) {
        const std::string_view bytes = content.substr(start, whole - start);
        lines_.push_back({decoded(bytes), std::string(bytes), std::string()});
    }
}

std::string ProfileFile::addedLineEnd() const { return lineEnd_.empty() ? encodedText(u"\r\n") : lineEnd_; }

ProfileFile::Line ProfileFile::addedLine(std::u16string text) const {
    return {std::move(text), std::nullopt, addedLineEnd()};
}

bool ProfileFile::createEmpty(const std::filesystem::path& file) {
    struct stat status {};
    if (::lstat(file.c_str(), &status) == 0 || errno != ENOENT) return false;
    return replaceFileContents(file, kByteOrderMark);
}

std::optional<std::size_t> ProfileFile::findSection(std::u16string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i].text);
        if (name && sameName(*name, section)) return i;
    }
    return std::nullopt;
}

std::size_t ProfileFile::sectionEnd(std::size_t header) const {
    std::size_t end = header + 1;
    while (end < lines_.size() && !sectionName(lines_[end].text)) ++end;
    return end;
}

std::optional<std::size_t> ProfileFile::findKey(std::size_t header, std::u16string_view key) const {
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto line = keyLine(lines_[i].text);
        if (line && sameName(line->name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::read(std::string_view section, std::string_view key) const {
    const auto header = findSection(utf16FromUtf8(section));
    if (!header) return std::nullopt;
    const auto index = findKey(*header, utf16FromUtf8(key));
    if (!index) return std::nullopt;
    const std::u16string_view line = lines_[*index].text;
    const std::u16string_view value = line.substr(keyLine(line)->valueStart);
    return utf8FromUtf16(cutToBuffer(unquoted(trimmed(value))));
}

std::string ProfileFile::readText(std::string_view section, std::string_view key,
                                  std::string_view defaultValue) const {
    return read(section, key).value_or(std::string(defaultValue));
}

int ProfileFile::readInteger(std::string_view section, std::string_view key,
                             int defaultValue) const {
    const auto value = read(section, key);
    if (!value) return defaultValue;
    return integerFromValue(*value).value_or(defaultValue);
}

bool ProfileFile::readBool(std::string_view section, std::string_view key,
                           bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void ProfileFile::write(std::string_view section, std::string_view key, std::string_view value) {
    const std::u16string sectionText = utf16FromUtf8(section);
    const std::u16string keyText = utf16FromUtf8(key);
    const std::u16string valueText = storedValue(value);
    const auto header = findSection(sectionText);
    if (!header) {
        lines_.push_back(addedLine(u"[" + sectionText + u"]"));
        lines_.push_back(addedLine(keyText + u"=" + valueText));
        return;
    }
    if (const auto index = findKey(*header, keyText)) {
        Line& line = lines_[*index];
        std::u16string text = line.text;
        text.replace(keyLine(text)->valueStart, std::u16string::npos, valueText);
        // The same value again leaves the line as it was read.
        if (text != line.text) line = {std::move(text), std::nullopt, line.end};
        return;
    }
    // After the section's last line that is not blank, so blank lines before the next section
    // stay where they are.
    std::size_t insertAt = sectionEnd(*header);
    while (insertAt > *header + 1 && trimmed(lines_[insertAt - 1].text).empty()) --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), addedLine(keyText + u"=" + valueText));
}

void ProfileFile::writeInteger(std::string_view section, std::string_view key, int value) {
    write(section, key, std::to_string(value));
}

void ProfileFile::writeBool(std::string_view section, std::string_view key, bool value) {
    write(section, key, value ? "1" : "0");
}

std::string ProfileFile::encodedText(std::u16string_view text) const {
    if (encoding_ == Encoding::Utf8) return utf8FromUtf16(text);
    std::string bytes;
    appendUtf16(bytes, text, encoding_ == Encoding::Utf16Be);
    return bytes;
}

std::string ProfileFile::encoded() const {
    std::string bytes = mark_;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        bytes += line.original ? *line.original : encodedText(line.text);
        // A last line without its end gets one when the program added lines behind it.
        const bool last = i + 1 == lines_.size();
        bytes += line.end.empty() && !last ? addedLineEnd() : line.end;
    }
    return bytes + tail_;
}

bool ProfileFile::save(const std::filesystem::path& file, std::string* why) const {
    try {
        return replaceFileContents(file, encoded(), why);
    } catch (const std::exception&) {  // out of memory for a huge file
        if (why) *why = "out of memory";
        return false;
    }
}

}  // namespace tessaly
