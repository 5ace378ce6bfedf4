#pragma once
// The platform part of a network port: name look-up and one TCP connection,
// BSD sockets in net_socket_posix.cpp, Winsock in net_socket_win32.cpp, chosen
// by CMake. Nothing here is shared between connections: each port of a program
// that serves many at once has its own.

#include "port/serial_device.h"

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// One address of a host, as the platform's sockets take it.
struct Endpoint {
    std::array<unsigned char, 128> bytes{};
    int length = 0;
};

struct Lookup {
    std::vector<Endpoint> endpoints;
    OpenFailure failure = OpenFailure::None; // UnknownHost when the name does not resolve
    bool isName = false;                     // numericOnly found a name: look it up without it
};

// The addresses of host at port. With numericOnly only an address written as
// numbers is taken, at once; a name is then left for a look-up that may wait
// on a name server (isName).
Lookup Resolve(const std::string& host, int port, bool numericOnly);

// Takes the addresses of a getaddrinfo result (of either platform's addrinfo).
template <class AddrInfo> void TakeEndpoints(const AddrInfo* found, Lookup& lookup)
{
    for (const AddrInfo* at = found; at != nullptr; at = at->ai_next) {
        Endpoint endpoint;
        if (static_cast<std::size_t>(at->ai_addrlen) > endpoint.bytes.size())
            continue;
        std::memcpy(endpoint.bytes.data(), at->ai_addr, at->ai_addrlen);
        endpoint.length = static_cast<int>(at->ai_addrlen);
        lookup.endpoints.push_back(endpoint);
    }
    if (lookup.endpoints.empty())
        lookup.failure = OpenFailure::UnknownHost;
}

enum class Progress { Done, Pending, Failed };

class Socket {
public:
    virtual ~Socket() = default;
    // Waits at most wait for the connect to finish; why it failed in failure.
    virtual Progress FinishConnect(std::chrono::milliseconds wait, OpenFailure& failure) = 0;
    // Waits at most wait for bytes and appends what came, as soon as some came.
    // false when the connection has ended (closed, reset, found dead).
    virtual bool Receive(std::string& into, std::chrono::milliseconds wait) = 0;
    // Sends every byte, waiting at most bound for room. false when it could not:
    // gone then says whether the connection is good for nothing more (it has
    // ended, or the bound passed with part of the bytes sent).
    virtual bool Send(std::string_view bytes, std::chrono::milliseconds bound, bool& gone) = 0;
};

// Starts a connect without waiting for it, with TCP keep-alive on, so that a
// dead connection is found even while nothing is sent. nullptr, and why, when
// it fails at once.
std::unique_ptr<Socket> StartConnect(const Endpoint& endpoint, OpenFailure& failure);

} // namespace net
