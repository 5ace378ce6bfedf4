#include "files/atomic_file.h"

#include "files/utf8_path.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
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

// A new file only, never one that is there already.
std::FILE* CreateForWriting(const fs::path& path)
{
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return fd < 0 ? nullptr : _fdopen(fd, "wb");
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

std::FILE* CreateForWriting(const fs::path& path)
{
    return std::fopen(path.c_str(), "wbx");
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

// A temporary name beside the target of 12 characters, the size of an 8.3 name:
// it fits wherever the file's folder could be made without long paths (Windows
// keeps a folder 12 characters short of its 260), and under any limit on the
// length of a name, so that a file that can be written in place can also be
// written this way. A name taken by another file is passed over.
fs::path TemporaryPathBeside(const fs::path& target)
{
    static std::atomic<unsigned> serial{0};
    constexpr unsigned kNameDigits = 7;
    const auto stamp = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned number = stamp ^ (serial++ * 0x9E3779B9u);
    std::string name = "~";
    for (unsigned i = 0; i < kNameDigits; ++i, number >>= 4)
        name += "0123456789abcdef"[number & 0xF];
    return target.parent_path() / (name + ".tmp");
}

// A file nobody may write (chmod a-w, or the read-only attribute) is refused
// even where the folder would let a rename replace it.
bool ReadOnly(const fs::path& path, const fs::file_status& status)
{
    constexpr fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (status.permissions() & anyWrite) == fs::perms::none || !UserMayWrite(path);
}

enum class WriteOutcome { Written, NotCreated, Failed };

// Writes bytes to the file at path, flushed to the disk: a new file where
// asked (a temporary one), else created or truncated.
WriteOutcome WriteWholeFile(const fs::path& path, std::string_view bytes, bool newFile)
{
    std::FILE* file = newFile ? CreateForWriting(path) : OpenForWriting(path);
    if (file == nullptr)
        return WriteOutcome::NotCreated; // missing folder, no permission, a name too long, taken
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

    constexpr int kNameTries = 8;
    fs::path temp;
    WriteOutcome outcome = WriteOutcome::NotCreated;
    for (int tries = 0; tries < kNameTries && outcome == WriteOutcome::NotCreated; ++tries) {
        temp = TemporaryPathBeside(target);
        outcome = WriteWholeFile(temp, bytes, true);
        if (outcome == WriteOutcome::NotCreated && errno != EEXIST)
            break;
    }
    if (outcome == WriteOutcome::NotCreated && fs::exists(old)) {
        // A writable file in a folder that takes no new files (a shared folder)
        // is still saved: in place, without the protection of the rename.
        return WriteWholeFile(target, bytes, false) == WriteOutcome::Written;
    }
    if (outcome == WriteOutcome::NotCreated)
        return false; // nothing was created, and a file of that name is another's
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
