#pragma once
// What the window's "Netzwerk-Schnittstelle..." sets up: the [PORTS] entry of
// one COMn as a network port (RFC 2217 or raw TCP) or as a serial device again,
// with the link's allowance, and a test that connects and asks for one reading.
// Toolkit-free: the dialog (network_port_dlg.cpp) only moves texts.

#include <cstddef>
#include <optional>
#include <string>

enum class PortKind { Rfc2217, Raw, Serial }; // in the order of the dialog's list

// The kinds as the dialog's list names them.
inline constexpr const char* kPortKindNames[] = {"RFC 2217", "TCP (roh)", "Seriell"};

struct PortSetup {
    int comPort = 1;
    PortKind kind = PortKind::Rfc2217;
    std::string host;      // the device server; for a serial port its device
    std::string port;      // the port number as typed
    std::string allowance; // milliseconds as typed; empty: the default
    // The serial device the COMn names now (or would by default), for turning it
    // back into a serial port.
    std::string serialDevice;
};

// COM<comPort> as the settings file names it now. A COMn that names no network
// port is offered as a new RFC 2217 port, its serial device kept aside.
PortSetup ReadPortSetup(int comPort, const std::string& settings);

// The [PORTS] entry for setup ("rfc2217://host:4001"); nothing, with what is
// wrong in problem, when the fields make no valid entry.
std::optional<std::string> PortEntry(const PortSetup& setup, std::string* problem);

// Writes entry as COMn's [PORTS] entry, with the allowance (COMn_ZUSCHLAG)
// where one is typed or was there before. false when the file cannot be written.
bool WritePortSetup(const PortSetup& setup, const std::string& entry, const std::string& settings);

// Opens entry as it is and asks the relay for one live reading; one line that
// says what happened.
std::string TestPort(const std::string& entry);

// text broken into lines of at most width characters (counting an umlaut as
// one) at its blanks, joined by "\r\n", for a field that does not wrap.
std::string WrapLines(const std::string& text, std::size_t width);
