#include "sim/device_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int ConnectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Whether something listens on 127.0.0.1:port, from the kernel's table of
// sockets: a connection to find out would make ser2net open its device and hold
// it for a while after, so that the test's own first connection were refused.
bool Listening(int port)
{
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", static_cast<unsigned>(port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") // TCP_LISTEN
            return true;
    }
    return false;
}

bool Fail(std::string* error, const std::string& text)
{
    if (error != nullptr)
        *error = text;
    return false;
}

} // namespace

int FreeLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

Ser2net::~Ser2net()
{
    Stop();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

bool Ser2net::Available()
{
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/", "/sbin/"}) {
        if (::access((std::string(folder) + "ser2net").c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

bool Ser2net::Start(const std::string& device, std::string* error, bool kickOldUser)
{
    Stop();
    if (m_folder.empty()) {
        char folder[] = "/tmp/korven-ser2net.XXXXXX";
        if (::mkdtemp(folder) == nullptr)
            return Fail(error, "no folder for ser2net's configuration");
        m_folder = folder;
    }
    if (m_rfc2217Port == 0) {
        m_rfc2217Port = FreeLocalPort();
        m_rawPort = FreeLocalPort();
    }
    const std::string config = m_folder + "/relay.yaml";
    const char* options = kickOldUser ? "    options:\n      kickolduser: true\n" : "";
    std::ofstream(config) << "%YAML 1.1\n---\n"
                          << "connection: &rfc2217\n"
                          << "    accepter: telnet(rfc2217),tcp,127.0.0.1," << m_rfc2217Port << "\n"
                          << "    connector: serialdev," << device << ",19200n81,local\n"
                          << options << "connection: &raw\n"
                          << "    accepter: tcp,127.0.0.1," << m_rawPort << "\n"
                          << "    connector: serialdev," << device << ",19200n81,local\n"
                          << options;
    const std::string log = m_folder + "/ser2net.log";
    const pid_t pid = ::fork();
    if (pid < 0)
        return Fail(error, "fork failed");
    if (pid == 0) {
        // Signals blocked or ignored by the parent would be ser2net's too, and it must stop on SIGTERM.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGPIPE})
            std::signal(signal, SIG_DFL);
        // A test that crashes takes its ser2net with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execlp("ser2net", "ser2net", "-n", "-u", "-c", config.c_str(), "-P", (m_folder + "/ser2net.pid").c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    m_pid = pid;
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < until) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::ifstream in(log);
            return Fail(error, "ser2net ended at once: " + std::string(std::istreambuf_iterator<char>(in), {}));
        }
        if (Listening(m_rfc2217Port) && Listening(m_rawPort))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return Fail(error, "ser2net did not take connections");
}

void Ser2net::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

DelayingRelay::~DelayingRelay()
{
    Stop();
}

bool DelayingRelay::Start(int upstreamPort, std::string* error)
{
    m_upstreamPort = upstreamPort;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(m_wake) != 0)
        return Fail(error, "the relay cannot listen");
    m_port = ntohs(address.sin_port);
    m_stop = false;
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void DelayingRelay::Stop()
{
    if (m_thread.joinable()) {
        m_stop = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (int* fd : {&m_listener, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void DelayingRelay::SetShape(const Shape& shape)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_shape = shape;
    ++m_generation;
}

DelayingRelay::Shape DelayingRelay::CurrentShape(unsigned& generation)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    generation = m_generation;
    return m_shape;
}

void DelayingRelay::Serve()
{
    struct Piece {
        Clock::time_point due;
        std::string bytes;
    };
    int client = -1;
    int upstream = -1;
    std::deque<Piece> toClient;
    std::deque<Piece> toUpstream;
    long passedToClient = 0; // since the shape was set
    unsigned shapeSeen = 0;
    const auto closePair = [&] {
        for (int* fd : {&client, &upstream}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        toClient.clear();
        toUpstream.clear();
    };
    while (!m_stop) {
        unsigned generation = 0;
        const Shape shape = CurrentShape(generation);
        if (generation != shapeSeen) {
            shapeSeen = generation;
            passedToClient = 0;
        }
        // Whatever is due goes out now.
        const auto now = Clock::now();
        while (!toUpstream.empty() && toUpstream.front().due <= now && upstream >= 0) {
            [[maybe_unused]] const ssize_t n =
                ::send(upstream, toUpstream.front().bytes.data(), toUpstream.front().bytes.size(), MSG_NOSIGNAL);
            toUpstream.pop_front();
        }
        while (!toClient.empty() && toClient.front().due <= now && client >= 0) {
            std::string& bytes = toClient.front().bytes;
            bool cut = false;
            if (shape.cutAfter >= 0 && passedToClient + static_cast<long>(bytes.size()) >= shape.cutAfter) {
                bytes.resize(static_cast<std::size_t>(shape.cutAfter - passedToClient));
                cut = true;
            }
            [[maybe_unused]] const ssize_t n = ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            passedToClient += static_cast<long>(bytes.size());
            toClient.pop_front();
            if (cut) {
                closePair();
                SetShape({shape.delay, shape.pieceSize, shape.pieceGap, -1});
                break;
            }
        }
        int wait = 50;
        for (const auto* queue : {&toClient, &toUpstream}) {
            if (!queue->empty()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(queue->front().due - Clock::now());
                wait = std::min(wait, static_cast<int>(std::max<long>(0, left.count())));
            }
        }
        pollfd fds[4] = {{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}, {client, POLLIN, 0}, {upstream, POLLIN, 0}};
        if (::poll(fds, 4, wait) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            const int accepted = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0) {
                closePair(); // one connection at a time: the new one takes over
                client = accepted;
                const int on = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                upstream = ConnectTo(m_upstreamPort);
                passedToClient = 0;
                if (upstream < 0)
                    closePair();
            }
        }
        for (int side = 2; side < 4; ++side) {
            if (fds[side].fd < 0 || !(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char chunk[4096];
            const ssize_t n = ::recv(fds[side].fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                closePair();
                break;
            }
            const std::string bytes(chunk, static_cast<std::size_t>(n));
            const auto due = Clock::now() + shape.delay;
            if (side == 2) {
                toUpstream.push_back({due, bytes});
                continue;
            }
            const std::size_t size = shape.pieceSize == 0 ? bytes.size() : shape.pieceSize;
            auto at = std::max(due, toClient.empty() ? due : toClient.back().due);
            for (std::size_t from = 0; from < bytes.size(); from += size) {
                toClient.push_back({at, bytes.substr(from, size)});
                at += shape.pieceGap;
            }
        }
    }
    closePair();
}
