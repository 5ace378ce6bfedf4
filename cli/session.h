#pragma once
// What every command of korvenctl works with: the console, the global options
// and the port, which is opened only once a command has checked its input.

#include "cli/korvenctl.h"
#include "link/serial_port.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace cli {

struct GlobalOptions {
    std::string port;  // COMn or a device path
    std::string ini;   // settings file whose [PORTS] maps COMn, and [CONNECTION] COM
    std::string trace; // protocol trace file
};

class Session {
public:
    Session(const Console& console, GlobalOptions options) : m_console(console), m_options(std::move(options)) {}

    const Console& console() const { return m_console; }
    std::ostream& out() const { return m_console.out; }
    bool Interrupted() const { return m_console.interrupted != nullptr && m_console.interrupted->load(); }

    // Opens the port named by the options; on failure the port's own message has
    // gone to standard error and the command ends with kExitPort. --port auto
    // takes the first port where a relay answers, and names it on standard error.
    bool OpenPort();
    // The port's messages go to standard error, and COMn is looked up in the
    // --ini file's [PORTS].
    void UsePortSettings();
    CSerialPort& Port() { return m_port; }

    // Writes a message to standard error (the program's "\r\n" line ends as "\n")
    // and returns code.
    int Fail(int code, const std::string& message) const;
    // A usage problem: the message and a hint to the command's help; kExitInput.
    int Usage(const std::string& command, const std::string& message) const;

private:
    bool OpenFoundPort();

    const Console& m_console;
    GlobalOptions m_options;
    CSerialPort m_port;
};

// Turns the program's "\r\n" line ends into "\n" for a terminal or a pipe.
std::string UnixLines(std::string text);

// Counts characters, not bytes, so that umlauts line up.
std::size_t DisplayWidth(std::string_view text);

} // namespace cli
