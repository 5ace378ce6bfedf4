#include "sim/sim.h"

#include "link/frame.h"
#include "sim/device_server.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

// Where an unplugged relay's link points: nowhere. A link that is gone would let
// Wine fall back to the machine's own /dev/ttyS<n-1> for COMn.
std::string UnpluggedTarget(const std::string& link)
{
    return link + ".unplugged";
}

using Clock = std::chrono::steady_clock;

// A byte on its way, with the moment it has crossed the simulated line.
struct TimedByte {
    char byte;
    Clock::time_point due;
};

std::string Timestamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03d", text, static_cast<int>(millis));
    return withMillis;
}

void SetError(std::string* error, const std::string& what)
{
    if (error)
        *error = what + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
}

bool SetFlags(int fd, int statusFlags)
{
    const int current = fcntl(fd, F_GETFL);
    return current >= 0 && fcntl(fd, F_SETFL, current | statusFlags) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

KorvenSim::KorvenSim(SimOptions options) : m_options(std::move(options)) {}

KorvenSim::~KorvenSim()
{
    Stop();
    // The link of a relay that was left unplugged, if it is still ours.
    char target[4096];
    const ssize_t length = m_unpluggedLink.empty() ? -1 : readlink(m_unpluggedLink.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == UnpluggedTarget(m_unpluggedLink))
        unlink(m_unpluggedLink.c_str());
}

bool KorvenSim::Start(std::string* error)
{
    if (m_thread.joinable()) {
        if (error)
            *error = "already running";
        return false;
    }
    errno = 0;
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 || !SetFlags(m_master, O_NONBLOCK)) {
        SetError(error, "cannot open a pseudo-terminal");
        CloseFd(m_master);
        return false;
    }
    const char* name = ptsname(m_master);
    if (!name) {
        SetError(error, "no name for the pseudo-terminal");
        CloseFd(m_master);
        return false;
    }
    const std::string devicePath = name;

    // Our own slave descriptor, never read: while it is open the master never sees
    // a hang-up, whether or not a client has the device open.
    m_slave = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (m_slave < 0 || tcgetattr(m_slave, &settings) != 0) {
        SetError(error, "cannot open " + devicePath);
        CloseFd(m_slave);
        CloseFd(m_master);
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    tcsetattr(m_slave, TCSANOW, &settings);

    if (pipe(m_wakePipe) != 0 || !SetFlags(m_wakePipe[0], O_NONBLOCK) || !SetFlags(m_wakePipe[1], O_NONBLOCK)) {
        SetError(error, "cannot create a pipe");
        CloseFd(m_wakePipe[0]);
        CloseFd(m_wakePipe[1]);
        CloseFd(m_slave);
        CloseFd(m_master);
        return false;
    }

    // A client that opens the device for exclusive use (TIOCEXCL) leaves that mark on
    // it when it closes, because our own descriptor keeps the terminal alive: the
    // next open by anyone but root would then fail. Every close of the device is
    // watched for and the mark taken off (and whenever the client writes, below).
    // Exclusive use among clients still holds through their lock on the device.
    m_closeWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_closeWatch >= 0 && inotify_add_watch(m_closeWatch, devicePath.c_str(), IN_CLOSE) < 0)
        CloseFd(m_closeWatch);

    {
        std::lock_guard lock(m_mutex);
        m_devicePath = devicePath;
        m_stop = false;
    }
    m_thread = std::thread(&KorvenSim::Serve, this);
    return true;
}

void KorvenSim::Stop()
{
    // The device server first: it must not see the pty hang up under it.
    if (m_deviceServer)
        m_deviceServer->Stop();
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        Wake();
        m_thread.join();
    }
    RemoveLink();
    CloseFd(m_wakePipe[0]);
    CloseFd(m_wakePipe[1]);
    CloseFd(m_closeWatch);
    CloseFd(m_slave);
    CloseFd(m_master);
    std::lock_guard lock(m_mutex);
    m_devicePath.clear();
}

void KorvenSim::Unplug()
{
    const std::string link = m_linkPath;
    Stop();
    if (!link.empty() && symlink(UnpluggedTarget(link).c_str(), link.c_str()) == 0)
        m_unpluggedLink = link;
}

bool KorvenSim::Plug(std::string* error)
{
    if (!Start(error))
        return false;
    const std::string link = std::exchange(m_unpluggedLink, std::string());
    return link.empty() || MakeLink(link, error);
}

std::string KorvenSim::DeviceServerUrl(bool rfc2217, std::string* error)
{
    const char* missing = !Ser2net::Available() ? kNoDeviceServer : !IsRunning() ? "the relay is not running" : nullptr;
    if (missing) {
        if (error)
            *error = missing;
        return {};
    }
    if (!m_deviceServer)
        m_deviceServer = std::make_unique<Ser2net>();
    if (!m_deviceServer->Running() && !m_deviceServer->Start(DevicePath(), error))
        return {};
    return rfc2217 ? m_deviceServer->Rfc2217Url() : m_deviceServer->RawUrl();
}

bool KorvenSim::IsRunning() const
{
    return m_thread.joinable();
}

std::string KorvenSim::DevicePath() const
{
    std::lock_guard lock(m_mutex);
    return m_devicePath;
}

bool KorvenSim::MakeLink(const std::string& path, std::string* error)
{
    const std::string device = DevicePath();
    errno = 0;
    if (device.empty()) {
        SetError(error, "not running");
        return false;
    }
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        errno = 0;
        SetError(error, path + " exists and is not a symbolic link");
        return false;
    }
    RemoveLink();         // a link made earlier by this object, possibly at this very path
    unlink(path.c_str()); // an old link of someone else's: replaced
    if (symlink(device.c_str(), path.c_str()) != 0) {
        SetError(error, "cannot link " + path);
        return false;
    }
    m_linkPath = path;
    return true;
}

void KorvenSim::RemoveLink()
{
    if (m_linkPath.empty())
        return;
    // Only our own link: another instance may have taken the name over since.
    char target[4096];
    const ssize_t length = readlink(m_linkPath.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == DevicePath())
        unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

bool KorvenSim::OpenLog(const std::string& path, std::string* error)
{
    std::lock_guard lock(m_mutex);
    m_log.close();
    m_log.clear();
    m_log.open(path, std::ios::out | std::ios::trunc);
    if (!m_log) {
        errno = 0;
        SetError(error, "cannot write " + path);
        return false;
    }
    return true;
}

void KorvenSim::Update(const std::function<void(SimOptions&)>& change)
{
    {
        std::lock_guard lock(m_mutex);
        change(m_options);
    }
    Wake();
}

SimOptions KorvenSim::Options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

std::vector<std::string> KorvenSim::ReceivedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void KorvenSim::ClearReceivedFrames()
{
    std::lock_guard lock(m_mutex);
    m_frames.clear();
}

bool KorvenSim::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_frameArrived.wait_for(lock, timeout, [&] { return m_frames.size() >= count; });
}

RelayParameters KorvenSim::Parameters() const
{
    std::lock_guard lock(m_mutex);
    return m_relay.Parameters();
}

void KorvenSim::SetParameters(const RelayParameters& params)
{
    std::lock_guard lock(m_mutex);
    m_relay.SetParameters(params);
}

bool KorvenSim::PresetParameters(std::string_view fileBytes, std::string* error)
{
    std::lock_guard lock(m_mutex);
    return m_relay.PresetFromFile(fileBytes, error);
}

bool KorvenSim::LoadParameterFile(const std::string& path, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        errno = 0;
        SetError(error, "cannot read " + path);
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string reason;
    if (!PresetParameters(bytes, &reason)) {
        if (error)
            *error = path + ": " + reason;
        return false;
    }
    return true;
}

std::map<unsigned, std::string> KorvenSim::FirmwareBlocks() const
{
    std::lock_guard lock(m_mutex);
    return m_relay.Blocks();
}

bool KorvenSim::InUpdateMode() const
{
    std::lock_guard lock(m_mutex);
    return m_relay.InUpdateMode();
}

int KorvenSim::RestartCount() const
{
    std::lock_guard lock(m_mutex);
    return m_relay.Restarts();
}

void KorvenSim::Inject(std::string_view bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_injected += bytes;
    }
    Wake();
}

void KorvenSim::Wake()
{
    if (m_wakePipe[1] >= 0) {
        const char signal = 1;
        // A full pipe already holds a wake-up: nothing lost when this write fails.
        (void)!write(m_wakePipe[1], &signal, 1);
    }
}

std::string KorvenSim::OnFrame(const std::string& frame)
{
    std::lock_guard lock(m_mutex);
    m_frames.push_back(frame);
    // A loop-back plug has no relay behind it: the frame only goes back as it came.
    const RelayReply reply = m_options.echo ? RelayReply{"", "echo"} : m_relay.Handle(frame, m_options);
    if (m_log.is_open()) {
        m_log << Timestamp() << "  " << Printable(frame) << "  ->  "
              << (reply.bytes.empty() ? std::string("(no answer)") : Printable(reply.bytes)) << "  [" << reply.note
              << "]" << std::endl;
    }
    m_frameArrived.notify_all();
    return reply.bytes;
}

void KorvenSim::Serve()
{
    std::deque<TimedByte> incoming; // read from the client, not yet across the line
    std::deque<TimedByte> outgoing; // for the client, waiting for their moment
    Clock::time_point inLineFree{};
    Clock::time_point outLineFree{};
    Clock::time_point nextChatter = Clock::now();
    std::string partial;
    bool inFrame = false;
    bool outBlocked = false;

    for (;;) {
        bool lineSpeed = false;
        bool echo = false;
        bool chatter = false;
        std::string injected;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
            lineSpeed = m_options.lineSpeed;
            echo = m_options.echo;
            chatter = m_options.chatter;
            injected.swap(m_injected);
        }
        const Clock::time_point now = Clock::now();

        // With line pacing a byte is across only one byte time after the one before it.
        auto pace = [&](Clock::time_point& lineFree) {
            const Clock::time_point due = lineSpeed ? std::max(now, lineFree) + kByteTime : now;
            lineFree = due;
            return due;
        };
        auto send = [&](std::string_view bytes) {
            for (char c : bytes)
                outgoing.push_back({c, pace(outLineFree)});
        };

        send(injected);

        char buffer[4096];
        for (;;) {
            const ssize_t got = read(m_master, buffer, sizeof buffer);
            if (got > 0) {
                for (ssize_t i = 0; i < got; ++i)
                    incoming.push_back({buffer[i], pace(inLineFree)});
                // A client that writes has long set its exclusive mark: take it off now,
                // so that even a close and an instant reopen find the device free.
                ioctl(m_slave, TIOCNXCL);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue; // interrupted before anything was read: just read again
            break;        // EAGAIN: nothing more for now
        }

        while (!incoming.empty() && incoming.front().due <= now) {
            const char c = incoming.front().byte;
            incoming.pop_front();
            if (echo)
                send(std::string_view(&c, 1));
            // Bytes outside a frame are noise; a new STX starts the frame afresh.
            if (c == STX) {
                partial.assign(1, c);
                inFrame = true;
            } else if (inFrame) {
                partial += c;
                if (c == ETX) {
                    send(OnFrame(partial));
                    inFrame = false;
                    partial.clear();
                } else if (partial.size() > kMaxFrame) {
                    inFrame = false;
                    partial.clear();
                }
            }
        }

        if (chatter && now >= nextChatter) {
            if (outgoing.empty())
                outgoing.push_back({static_cast<char>(kChatterByte), pace(outLineFree)});
            nextChatter = now + kChatterInterval;
        }

        outBlocked = false;
        if (!outgoing.empty() && outgoing.front().due <= now) {
            std::string due;
            for (const auto& b : outgoing) {
                if (b.due > now)
                    break;
                due += b.byte;
            }
            const ssize_t written = write(m_master, due.data(), due.size());
            if (written > 0) {
                outgoing.erase(outgoing.begin(), outgoing.begin() + written);
            } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                outBlocked = true; // the client is not reading and the pty is full: wait until it drains
            } else if (written < 0 && errno != EINTR) {
                outgoing.clear(); // the line is gone; keeping the bytes would only spin
            }
        }

        Clock::time_point deadline = Clock::time_point::max();
        if (!incoming.empty())
            deadline = std::min(deadline, incoming.front().due);
        if (!outgoing.empty() && !outBlocked)
            deadline = std::min(deadline, outgoing.front().due);
        if (chatter && outgoing.empty())
            deadline = std::min(deadline, nextChatter);

        pollfd fds[3] = {{m_master, static_cast<short>(POLLIN | (outBlocked ? POLLOUT : 0)), 0},
                         {m_wakePipe[0], POLLIN, 0},
                         {m_closeWatch, POLLIN, 0}};
        timespec wait{};
        timespec* timeout = nullptr;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
            const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(nanos / 1000000000);
            wait.tv_nsec = static_cast<long>(nanos % 1000000000);
            timeout = &wait;
        }
        // EINTR needs nothing: the loop looks at everything again.
        ppoll(fds, m_closeWatch >= 0 ? 3 : 2, timeout, nullptr);
        if (fds[1].revents & POLLIN) {
            char drained[64];
            while (read(m_wakePipe[0], drained, sizeof drained) > 0) {
            }
        }
        if (m_closeWatch >= 0 && (fds[2].revents & POLLIN)) {
            alignas(inotify_event) char events[1024];
            while (read(m_closeWatch, events, sizeof events) > 0) {
            }
            ioctl(m_slave, TIOCNXCL);
        }
    }
}
