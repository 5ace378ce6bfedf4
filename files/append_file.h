#pragma once
// A file that grows only at its end, for records that several programs keep
// together: while an object holds it, the file is locked against every other
// program that locks it too, and each append reaches the disk before it returns.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// Why an append file could not be had.
enum class AppendProblem {
    None,
    CannotOpen,   // a removed stick, a folder of that name
    NoFolder,     // the file's folder does not exist
    NotPermitted, // the file or its folder may not be written by this user
    ReadOnly,     // the medium is read-only
    Busy,         // another program held the lock for longer than kLockWait
    HeldOpen,     // another program keeps the file open against writers (a spreadsheet on Windows)
};

// How long an open tries to get the lock. A writer holds it for the few
// milliseconds of an append; one that holds it longer (a program stopped in the
// middle of an append, a hung network share) must not freeze the window.
inline constexpr std::chrono::milliseconds kLockWait{2000};

// What a sync is of: the file's bytes, or the folder entry of a new file.
enum class SyncOf { File, Folder };

// The medium under every append file. By default the system's; a test puts its
// own in place to see each sync (it calls systemSync, or fails as a dying stick
// does) and to say how much room is left.
struct AppendMedium {
    std::function<bool(SyncOf what, const std::function<bool()>& systemSync)> sync;
    std::function<std::optional<std::uintmax_t>(const std::string& path)> room;
};
// {} puts the system's back.
void SetAppendMedium(AppendMedium medium);

// Bytes free for the file at path on its medium; nothing where the system cannot tell.
std::optional<std::uintmax_t> RoomFor(const std::string& path);

class LockedAppendFile {
public:
    // Opens the file at path (UTF-8), creating it where it is missing, and tries
    // for its lock for at most kLockWait; null, with the reason in problem, when
    // it cannot be had for appending.
    static std::unique_ptr<LockedAppendFile> Open(const std::string& path, AppendProblem* problem = nullptr);

    virtual ~LockedAppendFile() = default; // unlocks and closes

    virtual std::optional<std::uint64_t> Size() = 0;
    // Up to count bytes from offset; fewer at the end of the file. Read through
    // the handle that holds the lock: on Windows the lock keeps out every other reader.
    virtual std::optional<std::string> ReadAt(std::uint64_t offset, std::size_t count) = 0;
    // Writes every byte at the end of the file and hands them to the disk (and,
    // the first time a new file gets bytes, its folder entry too); false when any
    // of them did not get there.
    virtual bool AppendSynced(std::string_view bytes) = 0;

protected:
    enum class Try { Done, Failed, Again };
    // Calls attempt until it is done or has failed, a few times a millisecond
    // apart, for at most kLockWait; Again once that time has passed.
    static Try KeepTrying(const std::function<Try()>& attempt);
    // The system's sync, through the medium a test may have put in place.
    static bool Sync(SyncOf what, const std::function<bool()>& systemSync);
};

} // namespace files
