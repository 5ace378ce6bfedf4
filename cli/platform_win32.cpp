// The Windows side of korvenctl: the console's control events and code page,
// and the command line as UTF-16.

#include "cli/korvenctl.h"
#include "cli/platform.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

namespace cli {

namespace {

CancelToken* g_cancel = nullptr;
UINT g_consoleCodePage = 0; // the console's own, restored at the end
DWORD g_consoleMode = 0;    // the output's mode before the sequences were switched on, restored at the end
bool g_consoleModeSet = false;

void RestoreConsoleMode()
{
    if (g_consoleModeSet)
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), g_consoleMode);
}

void RestoreCodePage()
{
    if (g_consoleCodePage != 0)
        SetConsoleOutputCP(g_consoleCodePage);
}

// How long a closed console window's handler keeps the program alive while the
// change stops: Windows ends the program itself some 5 s after the close.
constexpr DWORD kCloseGrace = 4500;

BOOL WINAPI OnControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE; // logging off, shutting down: the default ends the program
    const int code = event == CTRL_CLOSE_EVENT ? kExitHangUp : kExitInterrupted;
    int none = 0;
    if (g_cancel->compare_exchange_strong(none, code)) {
        // The window closes once the handler returns: the change has that long
        // to stop between two frames and note its outcome, and the main thread
        // ends the program first where it gets there.
        if (event == CTRL_CLOSE_EVENT)
            Sleep(kCloseGrace);
        return TRUE;
    }
    // The second stop ends the program at once, with the code of the first.
    RestoreCodePage();
    ExitProcess(static_cast<UINT>(g_cancel->load()));
}

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back(); // the terminating zero
    return utf8;
}

} // namespace

void KeepStandardDescriptors() {}

std::vector<std::string> CommandLineArguments(int, char**)
{
    // argv holds the arguments in the ANSI code page, where an umlaut may
    // survive but most other characters become '?': ask for the UTF-16 line.
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; words != nullptr && i < count; ++i)
        args.push_back(Utf8(words[i]));
    LocalFree(words);
    return args;
}

void WatchInterrupts(CancelToken& token)
{
    g_cancel = &token;
    SetConsoleCtrlHandler(OnControl, TRUE);
}

void PrepareOutput()
{
    // The texts are UTF-8; a console shows them as such only in code page 65001.
    // Redirected output gets the bytes as they are.
    const UINT codePage = GetConsoleOutputCP();
    if (codePage != 0 && codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        g_consoleCodePage = codePage;
        std::atexit(RestoreCodePage);
    }
}

void MakeOutputBinary()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool OutputIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool OutputMovesCursor()
{
    // Consoles from Windows 10 on take the sequences once asked to; older ones refuse.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) == 0)
        return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0)
        return true;
    if (SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0)
        return false;
    // The console goes back to its own mode when the program ends.
    g_consoleMode = mode;
    g_consoleModeSet = true;
    std::atexit(RestoreConsoleMode);
    return true;
}

} // namespace cli
