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
