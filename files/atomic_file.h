#pragma once
// Writing a whole file so that it is never seen half-written: the new content
// goes to a temporary file in the same folder, is flushed to the disk, and then
// replaces the old file in one rename. Used by the settings file and by
// parameter files.

#include <string>
#include <string_view>

namespace files {

// Replaces the file at path with bytes (creating it when missing). Where path is
// a symbolic link, the file it points to is replaced and the link stays. The
// replacement keeps the old file's permissions. A read-only file is refused.
// Where no temporary file can be created beside an existing writable file (a
// folder the user may not write), the file is written in place instead. false
// when anything fails (missing folder, no permission, full disk, path is a
// folder): except in place, the old file is then untouched and no temporary
// file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

} // namespace files
