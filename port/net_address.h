#pragma once
// Network ports: a [PORTS] entry or a --port of the form rfc2217://host:port
// (Telnet with the COM-PORT-OPTION, which also sets the line) or tcp://host:port
// (a raw socket whose line the device server has set up beforehand). The host is
// a name, an IPv4 address, or an IPv6 address in brackets (with its interface
// after a '%' where it is link-local); the port is required.

#include "port/serial_device.h"

#include <optional>
#include <string>
#include <string_view>

enum class NetScheme {
    Rfc2217, // Telnet with the COM-PORT-OPTION
    Raw,     // plain TCP: the server's own line settings hold
};

struct NetAddress {
    NetScheme scheme = NetScheme::Rfc2217;
    std::string host; // without the brackets of an IPv6 address
    int port = 0;
};

// Whether path names a network port rather than a device: it has a scheme
// ("...://"), well-formed or not.
bool IsNetworkPath(std::string_view path);

// The address, or nothing with what is wrong with it in problem (a German
// sentence for the reason line).
std::optional<NetAddress> ParseNetAddress(std::string_view text, std::string* problem = nullptr);

// "rfc2217://host:4001", "tcp://[::1]:4001".
std::string FormatNetAddress(const NetAddress& address);

// "host:4001", "[::1]:4001": the server as the reason lines name it.
std::string ServerName(const NetAddress& address);

// The [PORTS] entry of COM<port> in the settings file (CSerialPort's hooks)
// where it names a network port; empty otherwise. On Windows such an entry
// takes the place of the COM port.
std::string NetworkPortEntry(int port);

// Whether failure is one only a network port has.
bool IsNetworkFailure(OpenFailure failure);

// The reason line for a network port that did not open, in the network's own
// words, with what to do about it; detail as NetworkDevice::FailureDetail gives it.
std::string NetworkFailureReason(OpenFailure failure, const std::string& path, const std::string& detail = {});
