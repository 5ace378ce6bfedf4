#pragma once
// What korvenctl asks of its operating system: the command line, Ctrl+C, and
// whether the output is a terminal. One file per platform (platform_posix.cpp,
// platform_win32.cpp), chosen by CMake.

#include "cli/korvenctl.h"

#include <atomic>
#include <string>
#include <vector>

namespace cli {

// Fills each of the standard descriptors 0, 1 and 2 that the program was started
// without, so that no port or file opened later takes its place and receives
// the output: on POSIX with /dev/null opened for reading, so that output to it
// fails as to a closed pipe. On Windows a missing standard handle is simply not
// written to, and nothing else ever becomes one.
void KeepStandardDescriptors();

// The arguments after the program's name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// From now on the first Ctrl+C, SIGTERM or SIGHUP (on Windows Ctrl+C, Ctrl+Break
// or the console window closed) sets token to its exit code, and the command
// stops at its next safe point; a second one ends the program at once.
void WatchInterrupts(CancelToken& token);

// Makes output that cannot be written an error the streams report, rather than
// the end of the program (a closed pipe), and lets UTF-8 text show on a console.
void PrepareOutput();

// Makes standard output pass its bytes as they are: Windows opens it in text
// mode, where every "\n" becomes "\r\n". Nothing to do on POSIX.
void MakeOutputBinary();

// Whether standard output is a terminal or console window, where the progress
// is drawn as a bar.
bool OutputIsTerminal();

// Whether that terminal also takes ANSI cursor movement, for a bar per port
// redrawn in place (on Windows: a console that takes virtual terminal sequences
// once this has switched them on).
bool OutputMovesCursor();

} // namespace cli
