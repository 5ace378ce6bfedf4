#include "files/atomic_file.h"

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
// Hands the file's buffered data to the disk before it replaces the old file.
bool FlushToDisk(std::FILE* file)
{
    return _commit(_fileno(file)) == 0;
}

// Windows has no way to flush a folder's entries; the rename is journalled.
void FlushFolder(const fs::path&) {}
#else
bool FlushToDisk(std::FILE* file)
{
    return fsync(fileno(file)) == 0;
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

// Writes bytes to a new file at path, flushed to the disk. false on any failure.
bool WriteNewFile(const fs::path& path, std::string_view bytes)
{
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr)
        return false; // missing folder or no permission: nothing was created
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok; // a full disk shows here at the latest
    ok = ok && FlushToDisk(file);
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec); // replace the file the link points to, not the link
        if (ec)
            return false;
    }
    const fs::file_status old = fs::status(target, ec);
    if (fs::exists(old) && !fs::is_regular_file(old))
        return false;

    const fs::path temp = TemporaryPathBeside(target);
    if (!WriteNewFile(temp, bytes)) {
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
