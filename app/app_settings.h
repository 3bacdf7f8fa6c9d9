// The settings file's contents in memory, key by key (see settings_keys.h for the table that
// reads and writes them). The window reads it once at the first activation and fills its controls
// from it; at close it gathers the controls' state back into it and saves it. Between the two, the
// fields that a control shows are the control's business, and only the others are kept current.
#pragma once

#include <array>
#include <climits>
#include <string>

#include "app/window_placement.h"
#include "monitor/csv_row.h"
#include "app/name_lists.h"

namespace tessaly {

// One side's link controls: the serial port and bit rate, the TCP host and port, and which kind
// is chosen; kept as the texts the controls hold.
struct LinkSideSettings {
    std::string comPort;
    std::string comBaud;
    std::string tcpHost;
    std::string tcpPort;
    bool serial = true;

    bool operator==(const LinkSideSettings&) const = default;
};

struct AppSettings {
    std::string version;  // of the program that last wrote the file
    int prns = 192;       // kept and written back; nothing else uses it
    LinkSideSettings input;
    LinkSideSettings output;
    std::string logDir;   // the log dialog's folder
    std::string svidPrn{kDefaultSvidPrn};
    std::string mfgId{kDefaultMfgId};
    // The links open when the window closed; opened again at the next start.
    bool openSerialInput = false;
    bool openTcpInput = false;
    bool openSerialOutput = false;
    bool openTcpOutput = false;
    // A lost link is opened again with back-off; 0 closes it with a message instead.
    bool reconnect = true;
    int mainTop = kNoStoredPosition;
    int mainLeft = kNoStoredPosition;
    std::string csvHeader{kDefaultCsvHeader};
    bool utc = false;
    std::array<std::string, 4> commands = {
        "\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\68 ;H:Hot start",
        "\\B5\\62\\06\\04\\04\\00\\01\\00\\02\\00\\11\\6C ;W:Warm start",
        "\\B5\\62\\06\\04\\04\\00\\FF\\B9\\02\\00\\C8\\8F ;C:Cold start",
        "\\B5\\62\\06\\09\\0D\\00\\FF\\FF\\00\\00\\00\\00\\00\\00\\FF\\FF\\00\\00\\03\\1B\\9A ;D:Default configuration"};

    bool operator==(const AppSettings&) const = default;
};

}  // namespace tessaly
