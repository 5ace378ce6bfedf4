// Win32 part of a network port: Winsock, a non-blocking socket, the waits done
// with select(). Each socket holds a reference on Winsock of its own
// (WSAStartup and WSACleanup count), so nothing here is process-wide.

#include "port/net_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

// Keep-alive: a silent connection is probed after 5 s, then every 2 s; Windows
// gives it up after 10 probes without an answer.
constexpr ULONG kKeepAliveIdleMs = 5000;
constexpr ULONG kKeepAliveIntervalMs = 2000;
// Bytes the host has not acknowledged after this many seconds end the connection:
// with a request every second keep-alive never starts, and TCP's own bound is
// minutes. The option TCP_MAXRT, which mingw's headers lack.
constexpr int kTcpMaxRt = 5;
constexpr DWORD kUnacknowledgedSeconds = 10;

// Holds Winsock for as long as it lives.
class WinsockUse {
public:
    WinsockUse()
    {
        WSADATA data{};
        m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse()
    {
        if (m_started)
            WSACleanup();
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

timeval Timeval(std::chrono::milliseconds wait)
{
    const long ms = static_cast<long>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

OpenFailure FailureOfError(int error)
{
    switch (error) {
    case WSAECONNREFUSED:
        return OpenFailure::NobodyListens;
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAEHOSTDOWN:
        return OpenFailure::NoAnswer;
    default:
        return OpenFailure::Other;
    }
}

class WinsockSocket final : public Socket {
public:
    explicit WinsockSocket(std::unique_ptr<WinsockUse> use, SOCKET s) : m_use(std::move(use)), m_socket(s) {}
    ~WinsockSocket() override { closesocket(m_socket); }
    WinsockSocket(const WinsockSocket&) = delete;
    WinsockSocket& operator=(const WinsockSocket&) = delete;

    Progress FinishConnect(std::chrono::milliseconds wait, OpenFailure& failure) override
    {
        // A connect that failed shows in the exception set, one that succeeded in the write set.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(m_socket, &writable);
        FD_SET(m_socket, &failed);
        timeval timeout = Timeval(wait);
        const int ready = select(0, nullptr, &writable, &failed, &timeout);
        if (ready == 0)
            return Progress::Pending;
        int error = 0;
        int length = sizeof error;
        if (ready == SOCKET_ERROR ||
            getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
            error = WSAGetLastError();
        if (error == 0 && FD_ISSET(m_socket, &writable))
            return Progress::Done;
        failure = FailureOfError(error == 0 ? WSAECONNREFUSED : error);
        return Progress::Failed;
    }

    bool Receive(std::string& into, std::chrono::milliseconds wait) override
    {
        const Clock::time_point end = Clock::now() + wait;
        for (;;) {
            char chunk[512];
            const int n = recv(m_socket, chunk, sizeof chunk, 0);
            if (n > 0) {
                into.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0)
                return false; // the server closed the connection
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                return false; // reset, or found dead by keep-alive
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0)
                return true;
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_socket, &readable);
            timeval timeout = Timeval(left);
            if (select(0, &readable, nullptr, nullptr, &timeout) == SOCKET_ERROR)
                return false;
        }
    }

    bool Send(std::string_view bytes, std::chrono::milliseconds bound, bool& gone) override
    {
        gone = false;
        const Clock::time_point end = Clock::now() + bound;
        const std::size_t total = bytes.size();
        while (!bytes.empty()) {
            const int n = send(m_socket, bytes.data(), static_cast<int>(bytes.size()), 0);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
                // The socket's buffer is full: wait for room, but not for ever.
                // Part of a frame out and the rest not: nothing may follow it, the
                // session is good for nothing more.
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
                if (left.count() <= 0) {
                    gone = bytes.size() != total;
                    return false;
                }
                fd_set writable;
                FD_ZERO(&writable);
                FD_SET(m_socket, &writable);
                timeval timeout = Timeval(left);
                select(0, nullptr, &writable, nullptr, &timeout);
                continue;
            }
            gone = true; // reset, closed, or found dead
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<WinsockUse> m_use;
    SOCKET m_socket;
};

} // namespace

Lookup Resolve(const std::string& host, int port, bool numericOnly)
{
    Lookup lookup;
    const WinsockUse use;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const int result = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (result != 0) {
        lookup.isName = numericOnly && result == EAI_NONAME;
        lookup.failure = OpenFailure::UnknownHost;
        return lookup;
    }
    TakeEndpoints(found, lookup);
    freeaddrinfo(found);
    return lookup;
}

std::unique_ptr<Socket> StartConnect(const Endpoint& endpoint, OpenFailure& failure)
{
    auto use = std::make_unique<WinsockUse>();
    const auto* address = reinterpret_cast<const sockaddr*>(endpoint.bytes.data());
    const SOCKET s = use->Started() ? socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) {
        failure = OpenFailure::Other;
        return nullptr;
    }
    auto connection = std::make_unique<WinsockSocket>(std::move(use), s);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    const BOOL on = TRUE;
    // Requests are a few bytes each and must go out at once, not wait for more.
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    // A Telnet Synch sends its data mark as urgent data: kept in line, the mark
    // is read (and skipped) where it stands instead of taking a data byte's place.
    setsockopt(s, SOL_SOCKET, SO_OOBINLINE, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepAlive{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
    DWORD returned = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
    setsockopt(s, IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&kUnacknowledgedSeconds),
               sizeof kUnacknowledgedSeconds);
    if (connect(s, address, endpoint.length) == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) {
        failure = FailureOfError(WSAGetLastError());
        return nullptr;
    }
    return connection;
}

} // namespace net
