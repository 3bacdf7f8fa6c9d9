#include "station/program_version.h"

#include <cstdio>

namespace tessaly {

std::string programVersionString(int major, int minor) {
    char text[32];
    std::snprintf(text, sizeof text, "Ver%d.%02d", major, minor);
    return text;
}

std::string programVersionString() {
    return programVersionString(TESSALY_VERSION_MAJOR, TESSALY_VERSION_MINOR);
}

std::string programVersionLine() {
    return "Tessaly Monitor " + programVersionString() + " (" + TESSALY_RELEASE + ")";
}

}  // namespace tessaly
