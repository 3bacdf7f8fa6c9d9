// The keys of the settings file, listed once: the same table reads a file into AppSettings and
// writes AppSettings back, so a key cannot be loaded under one name and saved under another, or
// loaded and never saved. Plain functions over ProfileFile; any thread.
#pragma once

#include "app/app_settings.h"
#include "settings/profile_file.h"

namespace tessaly {

// Every key present in the file replaces the field's value; a missing or unreadable key leaves
// it as it was, so `settings` comes in holding the defaults. A file written by the first version
// holds an older CSV header line, which is replaced by the current default.
void readAppSettings(const ProfileFile& file, AppSettings& settings);

// Writes every key, in the order of the table (the order new files get).
void writeAppSettings(const AppSettings& settings, ProfileFile& file);

}  // namespace tessaly
