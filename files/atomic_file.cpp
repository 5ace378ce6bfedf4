#include "files/atomic_file.h"

#include "files/utf8_path.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace files {
namespace {

#ifdef _WIN32
// The path crosses into the system as UTF-16, so any character works.
std::FILE* OpenForWriting(const fs::path& path)
{
    return _wfopen(path.c_str(), L"wb");
}

// Hands the file's buffered data to the disk before it replaces the old file.
bool FlushToDisk(std::FILE* file)
{
    return _commit(_fileno(file)) == 0;
}

// The read-only attribute shows in the permissions; Windows has no other owner check here.
bool UserMayWrite(const fs::path&)
{
    return true;
}

// Windows has no way to flush a folder's entries; the rename is journalled.
void FlushFolder(const fs::path&) {}
#else
std::FILE* OpenForWriting(const fs::path& path)
{
    return std::fopen(path.c_str(), "wb");
}

bool FlushToDisk(std::FILE* file)
{
    return fsync(fileno(file)) == 0;
}

// A file of another owner or group may be closed to this user.
bool UserMayWrite(const fs::path& path)
{
    return access(path.c_str(), W_OK) == 0;
}

// Makes the rename itself survive a power loss. A folder that can't be opened
// or flushed (some file systems refuse) leaves the rename as it is.
void FlushFolder(const fs::path& folder)
{
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    (void)fsync(fd);
    close(fd);
}
#endif

fs::path TemporaryPathBeside(const fs::path& target)
{
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path temp = target;
    temp += ".tmp" + std::to_string(stamp) + "-" + std::to_string(serial++);
    return temp;
}

// A file nobody may write (chmod a-w, or the read-only attribute) is refused
// even where the folder would let a rename replace it.
bool ReadOnly(const fs::path& path, const fs::file_status& status)
{
    constexpr fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (status.permissions() & anyWrite) == fs::perms::none || !UserMayWrite(path);
}

enum class WriteOutcome { Written, NotCreated, Failed };

// Writes bytes to the file at path (created or truncated), flushed to the disk.
WriteOutcome WriteWholeFile(const fs::path& path, std::string_view bytes)
{
    std::FILE* file = OpenForWriting(path);
    if (file == nullptr)
        return WriteOutcome::NotCreated; // missing folder, no permission, a name too long
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok; // a full disk shows here at the latest
    ok = ok && FlushToDisk(file);
    ok = std::fclose(file) == 0 && ok;
    return ok ? WriteOutcome::Written : WriteOutcome::Failed;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    std::error_code ec;
    fs::path target = PathFromUtf8(path);
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec); // replace the file the link points to, not the link
        if (ec)
            return false;
    }
    const fs::file_status old = fs::status(target, ec);
    if (fs::exists(old) && (!fs::is_regular_file(old) || ReadOnly(target, old)))
        return false;

    const fs::path temp = TemporaryPathBeside(target);
    const WriteOutcome outcome = WriteWholeFile(temp, bytes);
    if (outcome == WriteOutcome::NotCreated && fs::exists(old)) {
        // A writable file in a folder that takes no new files (a shared folder)
        // is still saved: in place, without the protection of the rename.
        return WriteWholeFile(target, bytes) == WriteOutcome::Written;
    }
    if (outcome != WriteOutcome::Written) {
        fs::remove(temp, ec);
        return false;
    }
    if (fs::exists(old))
        fs::permissions(temp, old.permissions(), ec);
    fs::rename(temp, target, ec);
    if (ec) {
        // The temporary file took the old file's permissions; Windows deletes no read-only file.
        fs::permissions(temp, fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove(temp, ec);
        return false;
    }
    FlushFolder(target.parent_path());
    return true;
}

} // namespace files
