// POSIX part of CSerialPort: a terminal device in raw mode, the read time-outs
// done with poll().

#include "files/settings_file.h"
#include "port/net_device.h"
#include "port/read_timing.h"
#include "port/serial_device.h"
#include "port/serial_port.h"
#include "port/uucp_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bound of a write whose bytes the driver does not take: 1 s plus 1 ms per byte.
constexpr std::chrono::milliseconds kWriteTimeBase{1000};
constexpr std::chrono::milliseconds kWriteTimePerByte{1};

// Default for the [PORTS] look-up that no value in the file can have (values never
// hold a line end), so that a key present but empty is told apart from a missing key.
const std::string kNoPortsKey = "\n";

speed_t SpeedConstant(int baudRate)
{
    switch (baudRate) {
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B9600;
    }
}

class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice(int fd, std::unique_ptr<uucp::Lock> lock) : m_fd(fd), m_lock(std::move(lock)) {}
    ~PosixSerialDevice() override
    {
        // TIOCEXCL stays on a terminal as long as anyone has it open: a program that
        // held it beside us, unseen, must be able to open it again after we are gone.
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        // m_lock removes our lock files after the device is closed.
    }
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    bool Configure(int baudRate) override
    {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
        // CLOCAL: no modem control, so a port with nothing attached never blocks or hangs up.
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        // Reads never wait inside the driver; poll() does the waiting.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        const speed_t speed = SpeedConstant(baudRate);
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
            return false;
        return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    bool Read(unsigned char* buffer, unsigned size, unsigned& count) override
    {
        count = 0;
        ReadDeadline deadline(ReadClock::now(), size);
        while (count < size) {
            const int waitMs = deadline.PollTimeoutMs(ReadClock::now());
            pollfd pfd{m_fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, waitMs);
            if (ready < 0) {
                if (errno == EINTR)
                    continue; // a signal cut the wait short: the deadline still holds
                return DeviceGone(count);
            }
            if (ready > 0) {
                // Hang-up or error without data: the device has gone.
                if (!(pfd.revents & POLLIN))
                    return DeviceGone(count);
                const ssize_t n = ::read(m_fd, buffer + count, size - count);
                if (n > 0) {
                    count += static_cast<unsigned>(n);
                    deadline.BytesArrived(ReadClock::now());
                } else if (n < 0 && errno == EINTR) {
                    // interrupted before a byte was taken: the next pass reads again
                } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    // the bytes poll() saw are gone already: the next pass waits again
                } else {
                    // Readable but nothing to read (end of file, EIO, ENXIO, ENODEV): the
                    // device hung up (adapter pulled, other end closed).
                    return DeviceGone(count);
                }
            }
            if (waitMs == 0)
                break; // that was the last look after the deadline
        }
        return true;
    }

    bool Write(const unsigned char* data, std::size_t length) override
    {
        const ReadClock::time_point limit =
            ReadClock::now() + kWriteTimeBase + kWriteTimePerByte * static_cast<std::chrono::milliseconds::rep>(length);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::write(m_fd, data + done, length - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue; // interrupted before a byte was written: write again
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The driver's queue is full: wait until it takes more, but not for ever.
                const ReadClock::time_point now = ReadClock::now();
                if (now >= limit)
                    return false;
                const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(limit - now).count();
                pollfd pfd{m_fd, POLLOUT, 0};
                const int ready = ::poll(&pfd, 1, static_cast<int>(waitMs));
                if (ready < 0 && errno != EINTR)
                    return false;
                if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    m_gone = true; // hung up while we waited to write
                    return false;
                }
                continue;
            }
            // EIO, ENXIO, ENODEV: the device has gone; anything else fails this write only.
            if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV))
                m_gone = true;
            return false;
        }
        return true;
    }

    bool StillThere() override
    {
        // A hung-up terminal refuses every request for its state.
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0 && errno != EINTR)
            m_gone = true;
        return !m_gone;
    }

private:
    // The device has gone: bytes that came before are still a reply; an empty read fails.
    bool DeviceGone(unsigned count)
    {
        m_gone = true;
        return count > 0;
    }

    int m_fd;
    std::unique_ptr<uucp::Lock> m_lock;
};

OpenFailure FailureOfErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: // a device node whose hardware is not there
        return OpenFailure::Missing;
    case EBUSY:
    case EWOULDBLOCK: // the lock of another program
        return OpenFailure::Busy;
    case EACCES:
    case EPERM:
        return OpenFailure::NotPermitted;
    case EIO: // a serial device node without a working line behind it
        return OpenFailure::NotSerial;
    default:
        return OpenFailure::Other;
    }
}

// Opens path as an exclusive terminal device, with our lock files written; -1
// and why when it cannot. Nothing of the device is set before we know we hold it.
int OpenTerminal(const std::string& path, uucp::Lock& lock, OpenFailure& failure)
{
    struct stat st {};
    // Only character devices can be terminals; nothing else is even opened.
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        failure = path.empty() ? OpenFailure::Missing : FailureOfErrno(errno);
        return -1;
    }
    if (!S_ISCHR(st.st_mode)) {
        failure = OpenFailure::NotSerial;
        return -1;
    }
    // Terminal programs (and agetty, and many scripts) hold a device by a lock
    // file only: such a device is not even opened.
    if (uucp::Held(path)) {
        failure = OpenFailure::Busy;
        return -1;
    }
    // O_NONBLOCK: the open does not wait for a carrier, and reads and writes never block (poll() waits).
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = FailureOfErrno(errno);
        return -1;
    }
    // The locks first: a device another program holds must not get our TIOCEXCL set on its behalf.
    // TIOCEXCL alone does not stop root; the flock stops every program that also locks.
    if (!::isatty(fd))
        failure = OpenFailure::NotSerial;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        failure = errno == EWOULDBLOCK || errno == EBUSY ? OpenFailure::Busy : FailureOfErrno(errno);
    else if (!lock.Take(path))
        failure = OpenFailure::Busy; // a terminal program took its lock file just now
    else if (::ioctl(fd, TIOCEXCL) != 0)
        failure = FailureOfErrno(errno);
    else
        return fd;
    ::close(fd);
    return -1;
}

// The name of the user the program runs as, for the command that gives them the port.
std::string UserName()
{
    // The reentrant form: korvenctl may explain a refused port on several threads at once.
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_name != nullptr)
        return found->pw_name;
    const char* user = std::getenv("USER");
    return user != nullptr && *user != '\0' ? user : "$USER";
}

} // namespace

std::string SerialDevicePath(int port)
{
    const std::string key = "COM" + std::to_string(port);
    const std::string& settings = CSerialPort::GetHooks().settingsPath;
    if (!settings.empty()) {
        std::string path = ReadProfileString("PORTS", key, kNoPortsKey, settings);
        if (path != kNoPortsKey)
            return path;
    }
    return DefaultSerialDevice(port);
}

std::string DefaultSerialDevice(int port)
{
    return "/dev/ttyS" + std::to_string(port - 1);
}

DeviceOpening OpenSerialDevice(const std::string& path)
{
    if (IsNetworkPath(path)) // a port of a device server
        return OpenNetworkDevice(path);
    DeviceOpening opening;
    auto lock = std::make_unique<uucp::Lock>();
    const int fd = OpenTerminal(path, *lock, opening.failure);
    if (fd >= 0)
        opening.device = std::make_unique<PosixSerialDevice>(fd, std::move(lock));
    return opening;
}

std::string DeviceDisplayName(const std::string& path)
{
    return path;
}

std::string NotPermittedReason(const std::string& device)
{
    const std::string user = UserName();
    return "Keine Berechtigung für " + device + ": den Benutzer in die Gruppe dialout aufnehmen (sudo adduser " + user +
           " dialout) und neu anmelden.";
}
