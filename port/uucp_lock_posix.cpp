// UUCP lock files: LCK..<name> in /run/lock or /var/lock, holding the process id
// of the program that has the device.

#include "port/uucp_lock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace uucp {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_folders;
std::function<void(const std::string&)> g_beforeTakeOver;

// The lock folders, each once: /var/lock is a link to /run/lock on most systems.
std::vector<fs::path> LockFolders()
{
    std::vector<std::string> folders;
    {
        std::lock_guard lock(g_mutex);
        folders = g_folders.empty() ? std::vector<std::string>{"/run/lock", "/var/lock"} : g_folders;
    }
    std::vector<fs::path> unique;
    for (const std::string& folder : folders) {
        std::error_code error;
        fs::path resolved = fs::canonical(folder, error);
        if (error)
            resolved = folder;
        if (std::find(unique.begin(), unique.end(), resolved) == unique.end())
            unique.push_back(resolved);
    }
    return unique;
}

// The process id a lock file holds: ten digits and a line end as most programs
// write it, or four bytes of a binary int as some old ones did; 0 where it holds none.
pid_t LockHolder(const fs::path& file)
{
    // O_NONBLOCK: a FIFO of that name (anyone may make one in /run/lock) must not hang the open.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n == static_cast<ssize_t>(sizeof(int)) && std::none_of(text, text + n, [](char c) { return c == '\n'; })) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        if (binary > 0 && std::any_of(text, text + n, [](char c) { return c < ' '; }))
            return binary;
    }
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

// A process that exists, whether or not we may signal it.
bool Alive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

bool HeldByLiveProcess(const fs::path& file)
{
    return Alive(LockHolder(file));
}

// A unique name of ours beside file, for a lock file being made or taken over.
fs::path OwnName(const fs::path& file)
{
    static std::atomic<unsigned> serial{0};
    return file.parent_path() / ("LTMP." + std::to_string(::getpid()) + "." + std::to_string(serial++));
}

enum class Stale { Live, Removed, Stays };

// Takes the lock file at file away where its process has ended. Two programs
// may find one stale lock at once, and the faster may have put its own in its
// place before the slower removes "the stale one": so the file is first renamed
// to a name of our own, which only one program can do, and its holder looked at
// again there; a live lock moved aside that way goes back. Stays where we may
// not remove it (another user's file in the sticky lock folder).
Stale TakeOverStale(const fs::path& file)
{
    if (HeldByLiveProcess(file))
        return Stale::Live;
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(g_mutex);
        hook = g_beforeTakeOver;
    }
    if (hook)
        hook(file.string());
    const fs::path aside = OwnName(file);
    if (::rename(file.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? Stale::Removed : Stale::Stays; // gone already: another program took it over
    if (HeldByLiveProcess(aside)) {
        // Another program's new lock: back to its name, unless a third has made one there meanwhile.
        ::link(aside.c_str(), file.c_str());
        ::unlink(aside.c_str());
        return Stale::Live;
    }
    ::unlink(aside.c_str());
    return Stale::Removed;
}

// Writes our lock file at file: the process id to a file of our own beside it,
// then linked to the lock's name, so that no other program ever reads a half-written
// lock. The outcome, and whether the folder took files at all.
enum class TakeOutcome { Taken, Held, NoFolder };

TakeOutcome TakeFile(const fs::path& file)
{
    const fs::path temp = OwnName(file);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return TakeOutcome::NoFolder; // missing, read-only or not ours to write
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    // umask may have taken the read bits that other programs need to see who holds the device.
    const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length && ::fchmod(fd, 0644) == 0;
    ::close(fd);
    TakeOutcome outcome = written ? TakeOutcome::Held : TakeOutcome::NoFolder;
    // A stale lock (its process has ended) is replaced; a live one is left alone.
    for (int attempt = 0; written && attempt < 3; ++attempt) {
        if (::link(temp.c_str(), file.c_str()) == 0) {
            outcome = TakeOutcome::Taken;
            break;
        }
        if (errno != EEXIST) {
            outcome = TakeOutcome::NoFolder;
            break;
        }
        const Stale stale = TakeOverStale(file);
        if (stale == Stale::Live)
            break;
        if (stale == Stale::Stays) {
            // A stale lock does not hold the device, whether or not we may remove
            // it: the device is held without our file of that name (flock and
            // TIOCEXCL still keep other programs like us out).
            outcome = TakeOutcome::NoFolder;
            break;
        }
    }
    ::unlink(temp.c_str());
    return outcome;
}

} // namespace

void SetLockFolders(std::vector<std::string> folders)
{
    std::lock_guard lock(g_mutex);
    g_folders = std::move(folders);
}

std::vector<std::string> LockNames(const std::string& path)
{
    std::error_code error;
    const fs::path device = fs::canonical(path, error);
    if (error)
        return {};
    std::vector<std::string> names{"LCK.." + device.filename().string()};
    const std::string text = device.string();
    const std::string dev = "/dev/";
    if (text.rfind(dev, 0) == 0 && text.find('/', dev.size()) != std::string::npos) {
        std::string below = text.substr(dev.size());
        std::replace(below.begin(), below.end(), '/', '_');
        names.push_back("LCK.." + below);
    }
    return names;
}

bool Held(const std::string& path)
{
    const std::vector<std::string> names = LockNames(path);
    for (const fs::path& folder : LockFolders()) {
        for (const std::string& name : names) {
            if (HeldByLiveProcess(folder / name))
                return true;
        }
    }
    return false;
}

void SetBeforeTakeOver(std::function<void(const std::string& file)> hook)
{
    std::lock_guard lock(g_mutex);
    g_beforeTakeOver = std::move(hook);
}

Lock::~Lock()
{
    Release();
}

bool Lock::Take(const std::string& path)
{
    Release();
    const std::vector<std::string> names = LockNames(path);
    for (const fs::path& folder : LockFolders()) {
        for (const std::string& name : names) {
            const fs::path file = folder / name;
            switch (TakeFile(file)) {
            case TakeOutcome::Taken:
                m_files.push_back(file.string());
                break;
            case TakeOutcome::Held:
                Release();
                return false;
            case TakeOutcome::NoFolder:
                break;
            }
        }
    }
    return true;
}

void Lock::Release()
{
    // Only a file that still holds our process id is ours to remove.
    for (const std::string& file : m_files) {
        if (LockHolder(file) == ::getpid())
            ::unlink(file.c_str());
    }
    m_files.clear();
}

} // namespace uucp
