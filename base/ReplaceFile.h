// Files a user asked for, written whole or not at all: the bytes go to a new file beside the
// target, which takes the target's name only once every byte is on disk. A full disk, a quota
// or a crash halfway leaves the file that was there as it was.
#pragma once

#include <string>
#include <string_view>

// Writes `bytes` as `path`. False, with the system's reason in `why` (when given), when the
// file could not be written; then `path` is untouched and no stray file is left beside it.
// A new file gets the permissions the umask allows; a replaced one keeps its own.
bool replaceFileWith(const std::string& path, std::string_view bytes, std::string* why = nullptr);
