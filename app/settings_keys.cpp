#include "app/settings_keys.h"

#include <string>

namespace tessaly {
namespace {

constexpr const char* kOption = "Option";
constexpr const char* kCsv = "CSV";
constexpr const char* kCommand = "Command";
// The CSV header of files written by the first version is not read.
constexpr const char* kFirstVersion = "Ver1.00";

// The table: section, key and field of every setting, in the order they are written. `Settings`
// is AppSettings for reading and const AppSettings for writing.
template <typename Settings, typename Visit>
void forEachKey(Settings& s, Visit&& visit) {
    visit(kOption, "Version", s.version);
    visit(kOption, "PRNs", s.prns);
    const auto side = [&](auto& link, const char* suffix) {
        visit(kOption, std::string("ComPort") + suffix, link.comPort);
        visit(kOption, std::string("ComBaud") + suffix, link.comBaud);
        visit(kOption, std::string("TCPhost") + suffix, link.tcpHost);
        visit(kOption, std::string("TCPport") + suffix, link.tcpPort);
        visit(kOption, std::string("Serial") + suffix, link.serial);
    };
    side(s.input, "");
    side(s.output, "2");
    visit(kOption, "LogDir", s.logDir);
    visit(kOption, "SVID_PRN", s.svidPrn);
    visit(kOption, "MFG-ID", s.mfgId);
    visit(kOption, "OpenSerialInput", s.openSerialInput);
    visit(kOption, "OpenTCPInput", s.openTcpInput);
    visit(kOption, "OpenSerialOutput", s.openSerialOutput);
    visit(kOption, "OpenTCPOutput", s.openTcpOutput);
    visit(kOption, "Reconnect", s.reconnect);
    visit(kOption, "MainTop", s.mainTop);
    visit(kOption, "MainLeft", s.mainLeft);
    visit(kCsv, "CSV_Index", s.csvHeader);
    visit(kCsv, "UTC", s.utc);
    for (std::size_t i = 0; i < s.commands.size(); ++i) {
        visit(kCommand, "Cmd" + std::to_string(i + 1), s.commands[i]);
    }
}

struct KeyReader {
    const ProfileFile& file;
    void operator()(const char* section, std::string_view key, std::string& field) const {
        field = file.readText(section, key, field);
    }
    void operator()(const char* section, std::string_view key, int& field) const {
        field = file.readInteger(section, key, field);
    }
    void operator()(const char* section, std::string_view key, bool& field) const {
        field = file.readBool(section, key, field);
    }
};

struct KeyWriter {
    ProfileFile& file;
    void operator()(const char* section, std::string_view key, const std::string& field) const {
        file.write(section, key, field);
    }
    void operator()(const char* section, std::string_view key, int field) const {
        file.writeInteger(section, key, field);
    }
    void operator()(const char* section, std::string_view key, bool field) const {
        file.writeBool(section, key, field);
    }
};

}  // namespace

void readAppSettings(const ProfileFile& file, AppSettings& settings) {
    const std::string defaultHeader = settings.csvHeader;
    forEachKey(settings, KeyReader{file});
    const auto writtenBy = file.read(kOption, "Version");
    if (writtenBy && *writtenBy <= kFirstVersion) settings.csvHeader = defaultHeader;
}

void writeAppSettings(const AppSettings& settings, ProfileFile& file) {
    forEachKey(settings, KeyWriter{file});
}

}  // namespace tessaly
