// korvenctl: the relay's functions behind a command line.

#include "cli/korvenctl.h"
#include "cli/platform.h"

#include <iostream>

namespace {

cli::CancelToken g_cancel = 0;

} // namespace

int main(int argc, char** argv)
{
    // Before anything is opened: a port must never become standard output.
    cli::KeepStandardDescriptors();
    // The first Ctrl+C, SIGTERM or SIGHUP asks the command to stop at its next safe
    // point (between two frames, between readings); a second one ends the program at once.
    cli::WatchInterrupts(g_cancel);
    cli::PrepareOutput();
    const cli::Console console{
        std::cout, std::cerr, cli::OutputIsTerminal(), &g_cancel, cli::MakeOutputBinary, cli::OutputMovesCursor};
    return cli::Run(cli::CommandLineArguments(argc, argv), console);
}
