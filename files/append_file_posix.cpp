// POSIX part of the append file: O_APPEND, an flock() lock, fsync().

#include "files/append_file.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

// fsync of the folder that holds path: a new file's name is on the disk only
// once its folder is, and a power cut would otherwise lose the file whole.
bool SyncFolderOf(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

class PosixAppendFile final : public LockedAppendFile {
public:
    PosixAppendFile(int fd, std::string path, bool empty) : m_fd(fd), m_path(std::move(path)), m_folderDue(empty) {}
    ~PosixAppendFile() override { ::close(m_fd); } // the lock goes with the descriptor
    PosixAppendFile(const PosixAppendFile&) = delete;
    PosixAppendFile& operator=(const PosixAppendFile&) = delete;

    std::optional<std::uint64_t> Size() override
    {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(st.st_size);
    }

    std::optional<std::string> ReadAt(std::uint64_t offset, std::size_t count) override
    {
        std::string bytes(count, '\0');
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(m_fd, bytes.data() + got, count - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR)
                continue; // a signal came before any byte: read again
            if (n < 0)
                return std::nullopt;
            if (n == 0)
                break; // the end of the file
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

    bool AppendSynced(std::string_view bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue; // a signal came before any byte: write again
            if (n <= 0)
                return false; // a full disk, a removed stick
            done += static_cast<std::size_t>(n);
        }
        if (!Sync(SyncOf::File, [this] { return ::fsync(m_fd) == 0; }))
            return false;
        // A file that was empty may be new: its name too, once.
        if (m_folderDue && !Sync(SyncOf::Folder, [this] { return SyncFolderOf(m_path); }))
            return false;
        m_folderDue = false;
        return true;
    }

private:
    int m_fd;
    std::string m_path;
    bool m_folderDue; // the folder entry has yet to be synced
};

} // namespace

std::unique_ptr<LockedAppendFile> LockedAppendFile::Open(const std::string& path, AppendProblem* problem)
{
    const auto fail = [problem](AppendProblem why) -> std::unique_ptr<LockedAppendFile> {
        if (problem != nullptr)
            *problem = why;
        return nullptr;
    };
    // Reading too: the record looks at its header and its last byte before it appends.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return fail(AppendProblem::NoFolder);
        case EACCES:
        case EPERM:
            return fail(AppendProblem::NotPermitted);
        case EROFS:
            return fail(AppendProblem::ReadOnly);
        default:
            return fail(AppendProblem::CannotOpen);
        }
    }
    const Try locked = KeepTrying([fd] {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return Try::Done;
        // Held by another (or a signal came): try again shortly.
        return errno == EWOULDBLOCK || errno == EINTR ? Try::Again : Try::Failed;
    });
    struct stat st {};
    if (locked != Try::Done || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(locked == Try::Again ? AppendProblem::Busy : AppendProblem::CannotOpen);
    }
    if (problem != nullptr)
        *problem = AppendProblem::None;
    return std::make_unique<PosixAppendFile>(fd, path, st.st_size == 0);
}

} // namespace files
