// The settings the program holds in memory between the load at the first activation and the save
// at close; everything else lives in the window's controls.
#pragma once

#include <array>
#include <climits>
#include <string>

#include "monitor/csv_row.h"
#include "monitor/name_lists.h"

namespace tessaly {

struct AppSettings {
    std::string version;  // of the program that last wrote the file
    int prns = 192;       // kept and written back; nothing else uses it
    std::string svidPrn{kDefaultSvidPrn};
    std::string mfgId{kDefaultMfgId};
    bool openSerialInput = false;
    bool openTcpInput = false;
    bool openSerialOutput = false;
    bool openTcpOutput = false;
    // A lost link is opened again with back-off until the user closes it; off, it is closed
    // with a message.
    bool reconnect = true;
    std::string csvHeader{kDefaultCsvHeader};
    bool utc = false;
    std::array<std::string, 4> commands = {
        "\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\68 ;H:Hot start",
        "\\B5\\62\\06\\04\\04\\00\\01\\00\\02\\00\\11\\6C ;W:Warm start",
        "\\B5\\62\\06\\04\\04\\00\\FF\\B9\\02\\00\\C8\\8F ;C:Cold start",
        "\\B5\\62\\06\\09\\0D\\00\\FF\\FF\\00\\00\\00\\00\\00\\00\\FF\\FF\\00\\00\\03\\1B\\9A ;D:Default configuration"};
};

}  // namespace tessaly
