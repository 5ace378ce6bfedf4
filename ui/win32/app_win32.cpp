// The program as a whole on Win32: common controls, the message pump, the quit
// request and what tests need to drive the windows.

#include "ui/win32/windows_lean.h"

#include <map>
#include <optional>

#include "ui/app.h"
#include "ui/win32/win32_access.h"

namespace ui {
namespace {

// A quit seen by PumpMessages while a QuitWatch lives, held back until PassOn.
int g_watches = 0;
std::optional<int> g_heldQuit;

int g_busyWaits = 0;

// The user's input that a handler's wait drops: every key but Escape, every
// click, to the kit's windows. Other windows (a message box open meanwhile, the
// question Escape asks) take theirs as usual: none of them starts an exchange.
bool DroppedWhileBusy(const MSG& msg)
{
    bool input = false;
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        const bool escape = msg.message == WM_CHAR ? msg.wParam == 0x1B : msg.wParam == VK_ESCAPE;
        input = !escape || msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSKEYUP;
    } else {
        // The close box asks as Escape does.
        const bool closeBox = msg.message >= WM_NCLBUTTONDOWN && msg.message <= WM_NCLBUTTONDBLCLK && msg.wParam == HTCLOSE;
        input = (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST && msg.message != WM_MOUSEMOVE) ||
                (msg.message >= WM_NCLBUTTONDOWN && msg.message <= WM_NCXBUTTONDBLCLK && !closeBox) ||
                msg.message == WM_CONTEXTMENU;
    }
    return input && IsKitWindow(msg.hwnd);
}

std::map<UINT_PTR, std::function<void()>>& LaterActions()
{
    static std::map<UINT_PTR, std::function<void()>> actions;
    return actions;
}

void CALLBACK RunLaterAction(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    const auto found = LaterActions().find(id);
    if (found == LaterActions().end())
        return;
    const std::function<void()> action = std::move(found->second);
    LaterActions().erase(found);
    action();
}

} // namespace

Application::Application(int&, char**)
{
    // The progress bar and, with the manifest, the visual styles of every control.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

Application::~Application() = default;

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            if (g_watches > 0)
                g_heldQuit = static_cast<int>(msg.wParam);
            else
                PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop that waits for it
            return;
        }
        DispatchKitMessage(msg);
    }
}

void ExitProgram(int exitCode)
{
    PostQuitMessage(exitCode);
}

struct QuitWatch::State {};

QuitWatch::QuitWatch() : m_state(nullptr)
{
    ++g_watches;
}

QuitWatch::~QuitWatch()
{
    --g_watches;
}

bool QuitWatch::Requested() const
{
    return g_heldQuit.has_value();
}

void QuitWatch::PassOn() const
{
    if (g_heldQuit) {
        PostQuitMessage(*g_heldQuit);
        g_heldQuit.reset();
    }
}

struct BusyWait::State {
    const CDialog& window;
    std::optional<int> quit; // a quit seen meanwhile, passed on when the wait ends
};

BusyWait::BusyWait(const CDialog& window) : m_state(new State{window, {}})
{
    ++g_busyWaits;
}

BusyWait::~BusyWait()
{
    --g_busyWaits;
    if (m_state->quit)
        PostQuitMessage(*m_state->quit);
    delete m_state;
}

bool BusyWait::Serve()
{
    // A message box opened meanwhile (the question Escape asks) runs a loop of
    // its own, which takes its input as usual.
    MSG msg;
    while (!m_state->quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            m_state->quit = static_cast<int>(msg.wParam);
        else if (!DroppedWhileBusy(msg))
            DispatchKitMessage(msg);
    }
    return m_state->window.IsWindowVisible() && !m_state->quit;
}

bool InBusyWait()
{
    return g_busyWaits > 0;
}

void RunLater(int milliseconds, std::function<void()> action)
{
    const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(milliseconds > 0 ? milliseconds : 1), RunLaterAction);
    if (id != 0)
        LaterActions()[id] = std::move(action);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!done() && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
    }
    return done();
}

void PressKey(const CDialog& dialog, int id, Key key)
{
    HWND target = id == 0 ? DialogWindow(dialog) : ItemWindow(dialog, id);
    if (target == nullptr)
        return;
    const WPARAM code = key == Key::Enter ? VK_RETURN : key == Key::Escape ? VK_ESCAPE : 'K';
    // The key takes the way a real one takes from the message loop on, and only
    // that: a timer that falls due meanwhile waits for the test's own loop. Ctrl
    // is down in the keyboard state while the key is handled.
    BYTE state[256];
    GetKeyboardState(state);
    const BYTE control = state[VK_CONTROL];
    state[VK_CONTROL] = key == Key::CtrlK ? 0x80 : 0;
    SetKeyboardState(state);
    MSG msg{};
    msg.hwnd = target;
    msg.message = WM_KEYDOWN;
    msg.wParam = code;
    msg.lParam = 1;
    msg.time = GetTickCount();
    DispatchKitMessage(msg);
    state[VK_CONTROL] = control;
    SetKeyboardState(state);
}

} // namespace ui
