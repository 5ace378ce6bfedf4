#pragma once
// The kit's side of the program as a whole: the backend's application object,
// the message pump a long handler turns now and then, and the request to quit.

#include <functional>

namespace ui {

class CDialog;

// The backend's application: made once in main(), before the first window.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
};

// Handles what is waiting (repaints, moves, a quit request) and returns at once.
void PumpMessages();

// Ends every modal run and the program with exitCode, as the window system's
// quit does. Windows that refuse to end at the moment are left by the quit.
void ExitProgram(int exitCode);

// Sees a request to quit the program while a long handler runs: ExitProgram,
// or the window system's quit. The request is held back until PassOn, because
// it would try to close a dialog that refuses to end during the handler, and
// the quit would be lost.
class QuitWatch {
public:
    QuitWatch();
    ~QuitWatch();
    QuitWatch(const QuitWatch&) = delete;
    QuitWatch& operator=(const QuitWatch&) = delete;

    // True once a quit has been asked for; PumpMessages lets it through.
    bool Requested() const;
    // Once the handler has stopped: a held-back quit ends the program now.
    void PassOn() const;

private:
    struct State;
    State* m_state;
};

// While a handler waits for something slow (a relay behind a device server
// that does not answer), the windows go on being served: they draw, and Escape
// and the close box act as at any other time (the main window asks whether to
// end the program). Clicks and other keys meanwhile are dropped, not taken
// later, and window timers that fall due are skipped (a repeating one ticks
// again at its period): nothing the user does starts a second exchange while
// one is under way, nor long after it.
class BusyWait {
public:
    // window: the window the handler works for; the wait is given up once it has ended.
    explicit BusyWait(const CDialog& window);
    ~BusyWait();
    BusyWait(const BusyWait&) = delete;
    BusyWait& operator=(const BusyWait&) = delete;

    // Handles what is waiting, without waiting itself. false once window has
    // ended or the program is quitting: the handler gives up.
    bool Serve();

private:
    struct State;
    State* m_state;
};

// Whether a BusyWait is under way (window timers are then skipped).
bool InBusyWait();

// The dialog whose modal run is innermost, or nullptr.
CDialog* ActiveModalDialog();

// Calls action once, about milliseconds from now, from the message loop that
// runs then (a modal run's too). For tests and delayed work.
void RunLater(int milliseconds, std::function<void()> action);
// Turns the message loop until done() is true or timeoutMs has passed; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// A key as the user presses it with control id of dialog focused (0: the
// window itself), delivered through the message loop as a real key is (tests).
enum class Key { Enter, Escape, CtrlK };
void PressKey(const CDialog& dialog, int id, Key key);

} // namespace ui
