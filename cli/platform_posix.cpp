// The POSIX side of korvenctl: signals and terminals.

#include "cli/korvenctl.h"
#include "cli/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

std::atomic<bool>* g_interrupted = nullptr;

void OnInterrupt(int)
{
    *g_interrupted = true;
}

} // namespace

void KeepStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        // open() takes the lowest free descriptor: this one, while it is closed.
        // Where not even that works, nothing can be written safely.
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDONLY) != fd)
            ::_exit(kExitOutput);
    }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    // The arguments come as the bytes the shell passed, UTF-8 on any current system.
    return std::vector<std::string>(argv + 1, argv + argc);
}

void WatchInterrupts(std::atomic<bool>& flag)
{
    g_interrupted = &flag;
    // SA_RESETHAND: the second Ctrl+C meets the default action and ends the program.
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void PrepareOutput()
{
    // A reader that has gone away makes write() fail with EPIPE instead of
    // killing the program silently; the stream then reports it.
    std::signal(SIGPIPE, SIG_IGN);
}

void MakeOutputBinary() {}

bool OutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool OutputMovesCursor()
{
    // Every terminal of today does, except one that says it is dumb (an editor's shell buffer).
    const char* term = std::getenv("TERM");
    return OutputIsTerminal() && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

} // namespace cli
