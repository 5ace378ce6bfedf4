// The platform-neutral part of the append file: the medium's seam, the room
// left on it, and the bounded wait for the lock.

#include "files/append_file.h"

#include <filesystem>
#include <thread>

#include "files/utf8_path.h"

namespace files {

namespace {

AppendMedium& Medium()
{
    static AppendMedium medium;
    return medium;
}

} // namespace

void SetAppendMedium(AppendMedium medium)
{
    Medium() = std::move(medium);
}

std::optional<std::uintmax_t> RoomFor(const std::string& path)
{
    if (Medium().room)
        return Medium().room(path);
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(PathFromUtf8(path), error);
    if (error)
        return std::nullopt;
    return space.available;
}

bool LockedAppendFile::Sync(SyncOf what, const std::function<bool()>& systemSync)
{
    return Medium().sync ? Medium().sync(what, systemSync) : systemSync();
}

LockedAppendFile::Try LockedAppendFile::KeepTrying(const std::function<Try()>& attempt)
{
    // Short pauses: the other writer's append ends within milliseconds, and a
    // writer that appends again at once must not keep the lock from us for good.
    constexpr std::chrono::microseconds kPause{500};
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        const Try result = attempt();
        if (result != Try::Again || std::chrono::steady_clock::now() >= deadline)
            return result;
        std::this_thread::sleep_for(kPause);
    }
}

} // namespace files
