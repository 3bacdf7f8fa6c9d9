// Reading a file whole, and replacing a file's whole contents so that a reader, or the next start
// after a crash, power cut or full disk, sees either the old contents or the new ones, never a
// mixture. Used for the settings file. Any thread; no state is kept between calls.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The bytes of a regular file; nothing for a file that cannot be read or is a folder, FIFO or
// device, so a settings path naming one of those can neither block nor feed endless bytes.
std::optional<std::string> regularFileBytes(const std::filesystem::path& file);

// Writes the bytes to a new, uniquely named file beside `file`, flushes it to the disk and
// renames it over `file`. A symbolic link at `file` keeps pointing at the replaced file. The file
// keeps its permission bits; a new file gets the usual ones for the process. A FIFO, device,
// socket or folder at `file`, or at the end of its links, is never replaced: a rename would put a
// plain file where a reader or device expects its own. Returns false (and leaves `file` as it
// was, with no temporary file behind) when any step fails, with the reason in `why` when given.
bool replaceFileContents(const std::filesystem::path& file, std::string_view bytes, std::string* why = nullptr);

}  // namespace tessaly
