// POSIX part of the append file: O_APPEND, an flock() lock, fsync().

#include "files/append_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

class PosixAppendFile final : public LockedAppendFile {
public:
    explicit PosixAppendFile(int fd) : m_fd(fd) {}
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
        return ::fsync(m_fd) == 0;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<LockedAppendFile> LockedAppendFile::Open(const std::string& path)
{
    // Reading too: the record looks at its header and its last byte before it appends.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    int locked = -1;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        // a signal cut the wait for the lock short: wait again
    }
    struct stat st {};
    if (locked != 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixAppendFile>(fd);
}

} // namespace files
