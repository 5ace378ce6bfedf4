// korvenctl: the relay's functions behind a command line.

#include "cli/korvenctl.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> g_interrupted = false;

void OnInterrupt(int)
{
    g_interrupted = true;
}

} // namespace

int main(int argc, char** argv)
{
    // The first Ctrl+C asks the command to stop at its next safe point (between
    // firmware blocks, between readings); a second one ends the program at once.
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    const cli::Console console{std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1, &g_interrupted};
    return cli::Run(std::vector<std::string>(argv + 1, argv + argc), console);
}
