// korvenctl: the relay's functions behind a command line.

#include "cli/korvenctl.h"
#include "cli/platform.h"

#include <iostream>

namespace {

std::atomic<bool> g_interrupted = false;

} // namespace

int main(int argc, char** argv)
{
    // Before anything is opened: a port must never become standard output.
    cli::KeepStandardDescriptors();
    // The first Ctrl+C asks the command to stop at its next safe point (between
    // firmware blocks, between readings); a second one ends the program at once.
    cli::WatchInterrupts(g_interrupted);
    cli::PrepareOutput();
    const cli::Console console{
        std::cout, std::cerr, cli::OutputIsTerminal(), &g_interrupted, cli::MakeOutputBinary, cli::OutputMovesCursor};
    return cli::Run(cli::CommandLineArguments(argc, argv), console);
}
