#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include "settings/profile_file.h"
#include "tests/file_test_support.h"

namespace tessaly {
namespace {

using test::fileBytes;
using test::utf16LeBytes;
using test::writeFileBytes;

const std::string kUtf16Mark = "\xFF\xFE";
const std::string kJapanese = "\xE5\x8F\x97\xE4\xBF\xA1\xE6\xA9\x9F";  // U+53D7 U+4FE1 U+6A5F

class ProfileFileTest : public ::testing::Test {
protected:
    ProfileFile loadText(std::string_view utf8Content) {
        writeFileBytes(file, utf8Content);
        return ProfileFile::load(file);
    }

    test::TempFolder folder;
    std::filesystem::path file = folder / "tessaly-monitor.ini";
};

TEST_F(ProfileFileTest, FreshFileIsUtf16WithSectionsAndKeysInWrittenOrder) {
    ProfileFile profile = ProfileFile::load(file);
    EXPECT_EQ(fileBytes(file), kUtf16Mark);  // the load created it empty
    profile.write("Option", "Version", "Ver1.08");
    profile.writeInteger("Option", "PRNs", 192);
    profile.writeBool("Option", "Serial", true);
    profile.write("CSV", "CSV_Index", "DateTime,VersionA");
    profile.writeBool("CSV", "UTC", false);
    profile.write("Option", "MainTop", "-20");  // into its section, not after [CSV]
    profile.write("Command", "Cmd1", "\\B5\\62 ;H:Hot start");
    ASSERT_TRUE(profile.save(file));
    EXPECT_EQ(fileBytes(file),
              kUtf16Mark + utf16LeBytes(u"[Option]\r\nVersion=Ver1.08\r\nPRNs=192\r\nSerial=1\r\n"
                                        u"MainTop=-20\r\n[CSV]\r\nCSV_Index=DateTime,VersionA\r\n"
                                        u"UTC=0\r\n[Command]\r\nCmd1=\\B5\\62 ;H:Hot start\r\n"));
}

TEST_F(ProfileFileTest, CreateEmptyNeverTouchesAnExistingFile) {
    writeFileBytes(file, "[Option]\r\nPRNs=5\r\n");
    EXPECT_FALSE(ProfileFile::createEmpty(file));
    EXPECT_EQ(fileBytes(file), "[Option]\r\nPRNs=5\r\n");
}

TEST_F(ProfileFileTest, EveryKindOfValueSurvivesSaveAndLoad) {
    const std::string longValue(3000, 'x');
    // A cut at 2047 units would fall between the two halves of U+1F600.
    const std::string pairAtCut = std::string(2046, 'a') + "\xF0\x9F\x98\x80" + "tail";
    ProfileFile profile;
    profile.write("Option", "TCPhost", kJapanese);
    profile.writeInteger("Option", "MainLeft", INT32_MIN);
    profile.writeInteger("Option", "MainTop", INT32_MAX);
    profile.writeBool("Option", "Serial2", false);
    profile.writeBool("Option", "OpenTCPInput", true);
    profile.write("Option", "LogDir", "");
    profile.write("Command", "Cmd1", longValue);
    profile.write("Command", "Cmd2", pairAtCut);
    profile.write("Command", "Cmd3", "first line\r\n[Option]\nSerial2=1");
    ASSERT_TRUE(profile.save(file));

    const ProfileFile loaded = ProfileFile::load(file);
    EXPECT_EQ(loaded.readText("Option", "TCPhost", ""), kJapanese);
    EXPECT_EQ(loaded.readInteger("Option", "MainLeft", 0), INT32_MIN);
    EXPECT_EQ(loaded.readInteger("Option", "MainTop", 0), INT32_MAX);
    EXPECT_FALSE(loaded.readBool("Option", "Serial2", true));
    EXPECT_TRUE(loaded.readBool("Option", "OpenTCPInput", false));
    EXPECT_EQ(loaded.read("Option", "LogDir"), "");
    EXPECT_EQ(loaded.readText("Command", "Cmd1", ""), longValue.substr(0, 2047));
    EXPECT_EQ(loaded.readText("Command", "Cmd2", ""), std::string(2046, 'a'));
    // A line break in a value must not plant keys or sections in the file.
    EXPECT_EQ(loaded.readText("Command", "Cmd3", ""), "first line");
    EXPECT_FALSE(loaded.readBool("Option", "Serial2", true));
}

TEST_F(ProfileFileTest, ReadingRules) {
    const ProfileFile profile = loadText(
        "[Option]\n"
        "Hex=0x1F\nHexAlone=0x\nHexUpper=0xFF\nHexAll=0xFFFFFFFF\nHexTooWide=0x100000000\n"
        "Signed=-12\nPlus=+7\nTooBig=2147483648\nTooSmall=-2147483649\nSmallest=-2147483648\n"
        "Trailing=12abc\nEmpty=\nBlanks= \t 42 \t\nTrue=1\nFalse=0\nTwo=2\nWord=yes\n"
        "Double=\"  quoted  \"\nSingle='x'\nMixed=\"x'\nLoneQuote=\"\nInner=a\"b\"\n"
        "  Spaced Key  =  value with  inner  blanks  \n"
        "[ csv ]\nutc=1\n");
    const struct {
        const char* key;
        int integer;  // with default -1
    } integers[] = {
        {"Hex", 31},  {"HexAlone", -1}, {"HexUpper", 255}, {"HexAll", -1}, {"HexTooWide", -1},
        {"Signed", -12}, {"Plus", 7}, {"TooBig", -1}, {"TooSmall", -1}, {"Smallest", INT32_MIN},
        {"Trailing", -1}, {"Empty", -1}, {"Blanks", 42}, {"Missing", -1}, {"Word", -1},
    };
    for (const auto& entry : integers) {
        EXPECT_EQ(profile.readInteger("Option", entry.key, -1), entry.integer) << entry.key;
    }
    EXPECT_TRUE(profile.readBool("Option", "True", false));
    EXPECT_FALSE(profile.readBool("Option", "False", true));
    EXPECT_TRUE(profile.readBool("Option", "Two", false));
    EXPECT_TRUE(profile.readBool("Option", "Word", true));
    EXPECT_FALSE(profile.readBool("Option", "Word", false));
    EXPECT_TRUE(profile.readBool("Option", "Missing", true));

    EXPECT_EQ(profile.read("Option", "Double"), "  quoted  ");
    EXPECT_EQ(profile.read("Option", "Single"), "x");
    EXPECT_EQ(profile.read("Option", "Mixed"), "\"x'");
    EXPECT_EQ(profile.read("Option", "LoneQuote"), "\"");
    EXPECT_EQ(profile.read("Option", "Inner"), "a\"b\"");
    EXPECT_EQ(profile.read("Option", "Blanks"), "42");
    EXPECT_EQ(profile.read("Option", "spaced key"), "value with  inner  blanks");
    EXPECT_EQ(profile.read("OPTION", "hex"), "0x1F");
    EXPECT_TRUE(profile.readBool("CSV", "UTC", false));
    EXPECT_EQ(profile.read("Option", "Missing"), std::nullopt);
    EXPECT_EQ(profile.read("Missing", "Hex"), std::nullopt);
    EXPECT_EQ(profile.read("CSV", "Hex"), std::nullopt);
    EXPECT_EQ(profile.readText("Command", "Cmd1", "default"), "default");
}

// Lines the program does not change keep their line ends too; added lines end as the first does.
TEST_F(ProfileFileTest, ReplacingAValueKeepsEveryOtherLineInPlace) {
    ProfileFile profile = loadText(
        "; written by hand\r\n[Option]\r\nunknown=keep me\r\n  comport = COM3 \r\n"
        "; comment in Option\r\n\r\n[CSV]\nUTC=1\rbroken line\r\n");
    profile.write("Option", "ComPort", "COM7");
    profile.write("Option", "ComBaud", "9600");
    profile.write("csv", "CSV_Index", "A,B");
    profile.write("Command", "Cmd1", "X");
    ASSERT_TRUE(profile.save(file));
    EXPECT_EQ(fileBytes(file),
              "; written by hand\r\n[Option]\r\nunknown=keep me\r\n  comport =COM7\r\n"
              "; comment in Option\r\nComBaud=9600\r\n\r\n[CSV]\nUTC=1\rbroken line\r\n"
              "CSV_Index=A,B\r\n[Command]\r\nCmd1=X\r\n");
}

TEST_F(ProfileFileTest, FileWithoutByteOrderMarkIsUtf8AndStaysUtf8) {
    ProfileFile profile = loadText("[Option]\nTCPhost=" + kJapanese + "\n");
    EXPECT_EQ(profile.read("Option", "TCPhost"), kJapanese);
    profile.write("Option", "TCPport", "5555");
    ASSERT_TRUE(profile.save(file));
    EXPECT_EQ(fileBytes(file), "[Option]\nTCPhost=" + kJapanese + "\nTCPport=5555\n");
}

TEST_F(ProfileFileTest, Utf8ByteOrderMarkIsNotPartOfTheFirstSection) {
    ProfileFile profile = loadText("\xEF\xBB\xBF[Option]\nPRNs=3\n");
    EXPECT_EQ(profile.readInteger("Option", "PRNs", 0), 3);
    ASSERT_TRUE(profile.save(file));
    EXPECT_EQ(fileBytes(file), "\xEF\xBB\xBF[Option]\nPRNs=3\n");
}

TEST_F(ProfileFileTest, DamagedContentGivesDefaultsAndALaterSaveWritesAGoodFile) {
    std::mt19937 random(6);
    std::string noise(64 * 1024, '\0');
    for (char& byte : noise) byte = static_cast<char>(random());
    const std::u16string loneHigh = u"[Option]\r\nTCPhost=a" + std::u16string(1, char16_t(0xD800)) +
                                    u"b\r\nTCPport=" + std::u16string(1, char16_t(0xDC00)) + u"\r\n";
    const struct {
        const char* what;
        std::string bytes;
        std::optional<std::string> host;
    } cases[] = {
        {"random bytes", noise, std::nullopt},
        {"random bytes after a mark", kUtf16Mark + noise, std::nullopt},
        {"odd byte count", kUtf16Mark + utf16LeBytes(u"[Option]\r\nTCPhost=h") + "\x41", "h"},
        {"cut inside a pair", kUtf16Mark + utf16LeBytes(u"[Option]\r\nTCPhost=h\xD83D"), "h\xEF\xBF\xBD"},
        {"lone surrogates", kUtf16Mark + utf16LeBytes(loneHigh), "a\xEF\xBF\xBD" "b"},
        {"line without =", "[Option]\nTCPhost\nTCPport=1\n", std::nullopt},
        {"header without ]", "[Option]\n[CSV\nTCPhost=kept in Option\n", "kept in Option"},
        {"key before any section", "TCPhost=x\n[Option]\n", std::nullopt},
        {"invalid UTF-8", "[Option]\nTCPhost=\xFF\xC3\n", "\xC3\xBF\xC3\x83"},
        {"NUL bytes", std::string("[Option]\nTCPhost=a\0b\n", 20), std::string("a\0b", 3)},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.what);
        ProfileFile profile = loadText(entry.bytes);
        EXPECT_EQ(profile.read("Option", "TCPhost"), entry.host);
        EXPECT_EQ(profile.readInteger("Option", "PRNs", 192), 192);
        profile.writeInteger("Option", "PRNs", 7);
        profile.write("Option", "TCPhost", "good");
        ASSERT_TRUE(profile.save(file));
        const ProfileFile reloaded = ProfileFile::load(file);
        EXPECT_EQ(reloaded.readInteger("Option", "PRNs", 192), 7);
        EXPECT_EQ(reloaded.read("Option", "TCPhost"), "good");
    }
}

TEST_F(ProfileFileTest, LoneSurrogatesAreKeptInAUtf16File) {
    const std::string bytes =
        kUtf16Mark + utf16LeBytes(u"[Option]\r\nX=\xDC00\xD800\r\n");
    ProfileFile profile = loadText(bytes);
    ASSERT_TRUE(profile.save(file));
    EXPECT_EQ(fileBytes(file), bytes);
}

TEST_F(ProfileFileTest, FolderOrFifoInsteadOfAFileGivesAnEmptyProfile) {
    std::filesystem::create_directory(folder / "folder.ini");
    EXPECT_EQ(ProfileFile::load(folder / "folder.ini").read("Option", "PRNs"), std::nullopt);
    ASSERT_EQ(::mkfifo((folder / "fifo.ini").c_str(), 0600), 0);
    EXPECT_EQ(ProfileFile::load(folder / "fifo.ini").read("Option", "PRNs"), std::nullopt);
    EXPECT_FALSE(ProfileFile().save(folder / "folder.ini"));
}

std::size_t filesIn(const std::filesystem::path& path) {
    return std::distance(std::filesystem::directory_iterator(path), {});
}

// The limit on file size makes every write past it fail as on a full disk, even for root.
TEST_F(ProfileFileTest, SaveOnAFullDiskLeavesTheOldFileWhole) {
    const std::string old = kUtf16Mark + utf16LeBytes(u"[Option]\r\nPRNs=1\r\n");
    writeFileBytes(file, old);
    ProfileFile profile = ProfileFile::load(file);
    profile.write("Command", "Cmd1", std::string(4096, 'z'));

    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = profile.save(file);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(fileBytes(file), old);
    EXPECT_EQ(filesIn(folder.path()), 1u);  // no temporary file left behind
}

TEST_F(ProfileFileTest, SaveIntoAReadOnlyFolderFailsAndKeepsTheFile) {
    writeFileBytes(file, "[Option]\r\nPRNs=1\r\n");
    std::filesystem::permissions(file, std::filesystem::perms::all);
    std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::filesystem::permissions(folder.path(), std::filesystem::perms::others_write |
                                                    std::filesystem::perms::group_write,
                                 std::filesystem::perm_options::remove);
    const std::string result = test::runUnprivileged([&] {
        ProfileFile profile = ProfileFile::load(file);
        profile.writeInteger("Option", "PRNs", 2);
        return std::string(profile.save(file) ? "saved" : "failed");
    });
    EXPECT_EQ(result, "failed");
    EXPECT_EQ(fileBytes(file), "[Option]\r\nPRNs=1\r\n");
}

TEST_F(ProfileFileTest, SaveThroughASymbolicLinkReplacesItsTarget) {
    writeFileBytes(folder / "real.ini", "[Option]\r\nPRNs=1\r\n");
    std::filesystem::create_symlink("real.ini", file);
    ProfileFile profile = ProfileFile::load(file);
    profile.writeInteger("Option", "PRNs", 2);
    ASSERT_TRUE(profile.save(file));
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(fileBytes(folder / "real.ini"), "[Option]\r\nPRNs=2\r\n");
    // A link to a file not there yet is kept too, and the file made.
    std::filesystem::create_symlink("later.ini", folder / "later-link.ini");
    ASSERT_TRUE(profile.save(folder / "later-link.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "later-link.ini"));
    EXPECT_EQ(fileBytes(folder / "later.ini"), "[Option]\r\nPRNs=2\r\n");
}

std::string utf8Of(char32_t code) {
    if (code < 0x80) return std::string(1, static_cast<char>(code));
    const int extra = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    std::string text(1, static_cast<char>((0xFF00 >> (extra + 1)) | code >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) text.push_back(static_cast<char>(0x80 | (code >> (6 * k) & 0x3F)));
    return text;
}

// Every save writes every key: one written with the value it had keeps its line as well.
TEST_F(ProfileFileTest, LinesTheProgramDoesNotChangeKeepTheirBytes) {
    writeFileBytes(file, "\xEF\xBB\xBF[Option]\nName=\xFF\xFE\xFD\rPRNs=1\r\nTCPhost=\xC3\n; \xE9t\xE9");
    ProfileFile profile = ProfileFile::load(file);
    profile.writeInteger("Option", "PRNs", 2);
    profile.write("Option", "TCPhost", *profile.read("Option", "TCPhost"));
    profile.write("Option", "TCPport", "5555");
    ASSERT_TRUE(profile.save(file));
    EXPECT_EQ(fileBytes(file),
              "\xEF\xBB\xBF[Option]\nName=\xFF\xFE\xFD\rPRNs=2\r\nTCPhost=\xC3\n; \xE9t\xE9\nTCPport=5555\n");
}

// Code points from every plane, surrogate pairs included, in each encoding a file can have.
TEST_F(ProfileFileTest, CodePointsOfTheWholeUnicodeRangeComeBackInEveryEncoding) {
    std::vector<std::string> values(1, "<");  // never a blank or quote at the ends, which are trimmed
    for (char32_t code : {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF}) {
        values[0] += utf8Of(code);
    }
    for (char32_t code = 1; code <= 0x10FFFF; code += 241) {
        if (values.back().size() > 1000) values.push_back("<");
        if ((code < 0xD800 || code > 0xDFFF) && code != u'\r' && code != u'\n') values.back() += utf8Of(code);
    }
    for (std::string& value : values) value += ">";
    const struct {
        const char* encoding;
        std::string emptyFile;
        std::string pairBytes;  // U+1F600 as the file holds it
    } encodings[] = {
        {"UTF-16 LE", "\xFF\xFE", "\x3D\xD8\x00\xDE"},
        {"UTF-16 BE", "\xFE\xFF", "\xD8\x3D\xDE\x00"},
        {"UTF-8", "", "\xF0\x9F\x98\x80"},
    };
    for (const auto& encoding : encodings) {
        SCOPED_TRACE(encoding.encoding);
        writeFileBytes(file, encoding.emptyFile);
        ProfileFile profile = ProfileFile::load(file);
        for (std::size_t i = 0; i < values.size(); ++i) profile.write("Text", "V" + std::to_string(i), values[i]);
        ASSERT_TRUE(profile.save(file));
        EXPECT_NE(fileBytes(file).find(encoding.pairBytes), std::string::npos);
        const ProfileFile loaded = ProfileFile::load(file);
        for (std::size_t i = 0; i < values.size(); ++i) {
            ASSERT_EQ(loaded.read("Text", "V" + std::to_string(i)), values[i]) << "value " << i;
        }
    }
}

TEST_F(ProfileFileTest, PathThatIsNotARegularFileIsNeverReplaced) {
    ASSERT_EQ(::mkfifo((folder / "fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink("fifo.ini", folder / "to-fifo.ini");
    std::filesystem::create_symlink("/dev/null", folder / "to-device.ini");
    for (const char* name : {"fifo.ini", "to-fifo.ini", "to-device.ini"}) {
        ProfileFile profile = ProfileFile::load(folder / name);
        profile.writeInteger("Option", "PRNs", 2);
        std::string why;
        EXPECT_FALSE(profile.save(folder / name, &why)) << name;
        EXPECT_EQ(why, "not a regular file") << name;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(folder / "fifo.ini")));
    EXPECT_EQ(std::filesystem::read_symlink(folder / "to-fifo.ini"), "fifo.ini");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(filesIn(folder.path()), 3u) << "no temporary file left behind";
}

}  // namespace
}  // namespace tessaly
