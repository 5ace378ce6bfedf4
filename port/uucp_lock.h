#pragma once
// UUCP lock files, the way terminal programs on POSIX (and many scripts) say
// that they hold a serial device: a file LCK..<name> in the lock folder that
// holds the holder's process id, as ten digits and a line end. A lock whose
// process is alive means the device is held; one whose process has died is
// stale. The POSIX serial backend honours them and writes its own while it
// holds a device, so that those programs see it too.

#include <functional>
#include <string>
#include <vector>

namespace uucp {

// The folders looked in and written to: /run/lock and /var/lock (one folder on
// most systems) unless a test put others in place; an empty list restores them.
void SetLockFolders(std::vector<std::string> folders);

// For tests: called with a stale lock file's path after its process was found
// ended and before it is taken over, where another program may replace it; {} for none.
void SetBeforeTakeOver(std::function<void(const std::string& file)> hook);

// The names of the lock files of the device at path, links followed: its name
// ("LCK..ttyUSB0"), and for a device in a folder below /dev also the form with
// the folder ("LCK..pts_3"), as the terminal programs write them.
std::vector<std::string> LockNames(const std::string& path);

// Whether a living process holds the device at path by a lock file.
bool Held(const std::string& path);

// This process's lock files for one device, removed when it ends.
class Lock {
public:
    Lock() = default;
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Writes the device's lock files, replacing stale ones. false, with none
    // written, when a living process holds one. A lock folder that cannot be
    // written, or a stale lock that we may not remove, is passed over: the
    // device is then held without our file there.
    bool Take(const std::string& path);

private:
    void Release();

    std::vector<std::string> m_files; // the lock files written, each holding our process id
};

} // namespace uucp
