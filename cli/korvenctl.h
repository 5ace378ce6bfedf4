#pragma once
// korvenctl: the relay's functions behind a command line, for scripts. It runs
// on the same core as the program, so the bytes on the line are exactly the
// program's, and its messages are the program's texts.

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitRelay = 1,         // the relay refused or did not answer
    kExitInput = 2,         // bad input: usage, checks, files
    kExitPort = 3,          // the port could not be opened
    kExitOutput = 4,        // the output could not be written (a full disk, a closed pipe)
    kExitDiffers = 5,       // compare: a relay does not hold its reference
    kExitHangUp = 129,      // stopped by SIGHUP (a closed terminal or ssh session; on Windows the console closed)
    kExitInterrupted = 130, // stopped by Ctrl+C (on Windows also Ctrl+Break)
    kExitTerminated = 143,  // stopped by SIGTERM (timeout, a service stop)
};

// The run's one cancellation token: 0 while no stop was asked for, else the exit
// code of the stop (kExitInterrupted, kExitTerminated, kExitHangUp). A change
// looks at it before each frame, so that it stops between two frames, never in one.
using CancelToken = std::atomic<int>;

// Whether code is that of a stop asked for by a signal.
inline bool IsStopCode(int code)
{
    return code == kExitInterrupted || code == kExitTerminated || code == kExitHangUp;
}

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool outIsTerminal = false;          // progress as a bar instead of lines
    const CancelToken* cancel = nullptr; // set by Ctrl+C, SIGTERM, SIGHUP
    // Makes out pass its bytes as they are (no "\n" to "\r\n"), for output that
    // carries its own line ends; null where out does so already.
    void (*makeOutputBinary)() = nullptr;
    // Whether the terminal takes ANSI cursor movement (asked only by a run over
    // several ports, which then draws a bar per port, redrawn in place); null: no.
    bool (*outMovesCursor)() = nullptr;
};

// Runs one command line (the arguments after the program name) and returns the
// exit code.
int Run(const std::vector<std::string>& args, const Console& console);

} // namespace cli
