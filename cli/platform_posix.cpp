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

CancelToken* g_cancel = nullptr;

void OnStop(int signal)
{
    const int code = signal == SIGTERM ? kExitTerminated : signal == SIGHUP ? kExitHangUp : kExitInterrupted;
    int none = 0;
    if (g_cancel->compare_exchange_strong(none, code))
        return;
    // The second stop meets the default action and ends the program at once.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
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

void WatchInterrupts(CancelToken& token)
{
    g_cancel = &token;
    // A closed ssh session, timeout or a service stop ask as Ctrl+C does: the
    // change stops between two frames, notes its outcome and frees its port.
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
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
