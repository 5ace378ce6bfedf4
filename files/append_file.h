#pragma once
// A file that grows only at its end, for records that several programs keep
// together: while an object holds it, the file is locked against every other
// program that locks it too, and each append reaches the disk before it returns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace files {

class LockedAppendFile {
public:
    // Opens the file at path (UTF-8), creating it where it is missing, and
    // waits for its lock; null when it cannot be opened for appending (a
    // missing or read-only folder, a removed stick, a folder of that name).
    static std::unique_ptr<LockedAppendFile> Open(const std::string& path);

    virtual ~LockedAppendFile() = default; // unlocks and closes

    virtual std::optional<std::uint64_t> Size() = 0;
    // Up to count bytes from offset; fewer at the end of the file.
    virtual std::optional<std::string> ReadAt(std::uint64_t offset, std::size_t count) = 0;
    // Writes every byte at the end of the file and hands them to the disk;
    // false when any of them did not get there.
    virtual bool AppendSynced(std::string_view bytes) = 0;
};

} // namespace files
