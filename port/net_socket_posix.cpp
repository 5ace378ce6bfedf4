// POSIX part of a network port: getaddrinfo and a non-blocking TCP socket, the
// waits done with poll().

#include "port/net_socket.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

// Keep-alive: a silent connection is probed after 5 s, every 2 s, and given up
// after 3 probes without an answer.
constexpr int kKeepAliveIdle = 5;
constexpr int kKeepAliveInterval = 2;
constexpr int kKeepAliveCount = 3;
// Bytes the host has not acknowledged after this long end the connection: with a
// request every second keep-alive never starts, and TCP's own bound is minutes.
constexpr unsigned kUnacknowledgedMs = 10000;

int Milliseconds(std::chrono::milliseconds wait)
{
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

OpenFailure FailureOfErrno(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return OpenFailure::NobodyListens;
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
        return OpenFailure::NoAnswer;
    default:
        return OpenFailure::Other;
    }
}

class PosixSocket final : public Socket {
public:
    explicit PosixSocket(int fd) : m_fd(fd) {}
    ~PosixSocket() override { ::close(m_fd); }
    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;

    Progress FinishConnect(std::chrono::milliseconds wait, OpenFailure& failure) override
    {
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, Milliseconds(wait));
        if (ready < 0 && errno == EINTR)
            return Progress::Pending; // a signal cut the wait short: the caller waits again
        if (ready == 0)
            return Progress::Pending;
        int error = 0;
        socklen_t length = sizeof error;
        if (ready < 0 || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error == 0)
            return Progress::Done;
        failure = FailureOfErrno(error);
        return Progress::Failed;
    }

    bool Receive(std::string& into, std::chrono::milliseconds wait) override
    {
        const Clock::time_point end = Clock::now() + wait;
        for (;;) {
            char chunk[512];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n > 0) {
                into.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0)
                return false; // the server closed the connection
            if (errno == EINTR)
                continue; // interrupted before a byte was taken: read again
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false; // reset, or found dead by keep-alive
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0)
                return true;
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, Milliseconds(left)) < 0 && errno != EINTR)
                return false;
        }
    }

    bool Send(std::string_view bytes, std::chrono::milliseconds bound, bool& gone) override
    {
        gone = false;
        const Clock::time_point end = Clock::now() + bound;
        const std::size_t total = bytes.size();
        while (!bytes.empty()) {
            // MSG_NOSIGNAL: a connection the server closed fails the send instead of killing us with SIGPIPE.
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue; // interrupted before a byte was sent: send again
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The socket's buffer is full: wait for room, but not for ever.
                // Part of a frame out and the rest not: nothing may follow it, the
                // session is good for nothing more.
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
                if (left.count() <= 0) {
                    gone = bytes.size() != total;
                    return false;
                }
                pollfd pfd{m_fd, POLLOUT, 0};
                if (::poll(&pfd, 1, Milliseconds(left)) < 0 && errno != EINTR) {
                    gone = bytes.size() != total;
                    return false;
                }
                continue;
            }
            gone = true; // reset, closed, or found dead
            return false;
        }
        return true;
    }

private:
    int m_fd;
};

} // namespace

Lookup Resolve(const std::string& host, int port, bool numericOnly)
{
    Lookup lookup;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (result != 0) {
        lookup.isName = numericOnly && result == EAI_NONAME;
        lookup.failure = OpenFailure::UnknownHost;
        return lookup;
    }
    TakeEndpoints(found, lookup);
    ::freeaddrinfo(found);
    return lookup;
}

std::unique_ptr<Socket> StartConnect(const Endpoint& endpoint, OpenFailure& failure)
{
    const auto* address = reinterpret_cast<const sockaddr*>(endpoint.bytes.data());
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failure = OpenFailure::Other;
        return nullptr;
    }
    auto socket = std::make_unique<PosixSocket>(fd);
    const int on = 1;
    // Requests are a few bytes each and must go out at once, not wait for more.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A Telnet Synch sends its data mark as urgent data: kept in line, the mark
    // is read (and skipped) where it stands instead of taking a data byte's place.
    ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdle, sizeof kKeepAliveIdle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveInterval, sizeof kKeepAliveInterval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveCount, sizeof kKeepAliveCount);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedMs, sizeof kUnacknowledgedMs);
    if (::connect(fd, address, static_cast<socklen_t>(endpoint.length)) != 0 && errno != EINPROGRESS &&
        errno != EINTR) {
        failure = FailureOfErrno(errno);
        return nullptr;
    }
    return socket;
}

} // namespace net
