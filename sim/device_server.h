#pragma once
// What stands between a relay and a network port in the tests and benchmarks:
// Debian's ser2net as a device server in front of korven-sim's pseudo-terminal,
// and a small relay of TCP bytes that delays and splits what passes through it,
// as a real network and a device server's packing do (ser2net alone on the
// loopback hands every reply over at once). Both listen on 127.0.0.1 only, on
// free ports, and stop what they started by its PID.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

// A free TCP port on 127.0.0.1 (bound to port 0 and read back); 0 on failure.
int FreeLocalPort();

class Ser2net {
public:
    Ser2net() = default;
    ~Ser2net(); // stops it
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Whether the program is installed (scripts/install-deps installs it).
    static bool Available();

    // Starts ser2net in front of device (19200 8N1), with an RFC 2217 accepter and
    // a raw one on free ports (the same ports again after a Stop), and waits
    // until both take connections. false with the reason. A second client is
    // turned away while one is connected; with kickOldUser it takes the port
    // over instead, and the first one's session is closed.
    bool Start(const std::string& device, std::string* error = nullptr, bool kickOldUser = false);
    // Stops it (SIGTERM, then waits for it). Harmless when not running.
    void Stop();
    bool Running() const { return m_pid > 0; }

    int Rfc2217Port() const { return m_rfc2217Port; }
    int RawPort() const { return m_rawPort; }
    std::string Rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(m_rfc2217Port); }
    std::string RawUrl() const { return "tcp://127.0.0.1:" + std::to_string(m_rawPort); }

private:
    std::string m_folder;
    pid_t m_pid = -1;
    int m_rfc2217Port = 0;
    int m_rawPort = 0;
};

// Passes TCP bytes between a client and an upstream server on 127.0.0.1, one
// connection at a time, with a delay each way; bytes towards the client may be
// cut into pieces with a gap between them, and the connection may be cut after
// a number of bytes towards the client.
class DelayingRelay {
public:
    struct Shape {
        std::chrono::milliseconds delay{0}; // each way
        std::size_t pieceSize = 0;          // towards the client; 0: as received
        std::chrono::milliseconds pieceGap{0};
        long cutAfter = -1; // bytes towards the client from now on, then both connections close; -1: never
    };

    DelayingRelay() = default;
    ~DelayingRelay(); // stops it
    DelayingRelay(const DelayingRelay&) = delete;
    DelayingRelay& operator=(const DelayingRelay&) = delete;

    // Listens on a free port and passes connections on to upstreamPort.
    bool Start(int upstreamPort, std::string* error = nullptr);
    void Stop();
    int Port() const { return m_port; }

    // Applies to bytes received from now on.
    void SetShape(const Shape& shape);

private:
    void Serve();
    Shape CurrentShape(unsigned& generation);

    std::mutex m_mutex;
    Shape m_shape;
    unsigned m_generation = 0;
    int m_listener = -1;
    int m_port = 0;
    int m_upstreamPort = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
