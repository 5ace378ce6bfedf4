// The program as a whole on Qt: the application object, the message pump, the
// quit request and what tests need to drive the windows.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QStyleFactory>
#include <QTimer>

#include "ui/app.h"
#include "ui/qt/qt_access.h"

namespace ui {
namespace {

// True once QCoreApplication::exit() has been called: every running event loop
// has been told to end, and a new one ends at once, before the event posted to
// end it has been handled. Only that posted event is let through here.
bool ApplicationExiting()
{
    QEventLoop probe;
    bool handled = false;
    QTimer::singleShot(0, &probe, [&] {
        handled = true;
        probe.exit(0);
    });
    probe.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
    return !handled;
}

// Holds back the window system's quit event while it lives.
class QuitFilter final : public QObject {
public:
    QuitFilter() { QCoreApplication::instance()->installEventFilter(this); }
    ~QuitFilter() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool quitEvent = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
            quitEvent = true;
            return true;
        }
        return false;
    }
};

QApplication* g_application = nullptr;

int g_busyWaits = 0;

// Drops the user's input to the kit's windows while a handler waits, but for
// Escape. Other windows (a message box open meanwhile, or the question Escape
// asks) take their input as usual: none of them starts an exchange.
class InputDrop final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                return false;
            [[fallthrough]];
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return watched->isWidgetType() && IsKitWindow(static_cast<QWidget*>(watched)->window());
        default:
            return false;
        }
    }
};

} // namespace

Application::Application(int& argc, char** argv)
{
    g_application = new QApplication(argc, argv);
    // One look on every platform, close to the classic three-dimensional controls.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

Application::~Application()
{
    delete g_application;
    g_application = nullptr;
}

void PumpMessages()
{
    // What the handlers posted meanwhile is handled too: a quit event left
    // waiting would be dropped by the next event loop that starts.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

void ExitProgram(int exitCode)
{
    QCoreApplication::exit(exitCode);
}

struct QuitWatch::State {
    QuitFilter filter;
};

QuitWatch::QuitWatch() : m_state(new State) {}

QuitWatch::~QuitWatch()
{
    delete m_state;
}

bool QuitWatch::Requested() const
{
    return m_state->filter.quitEvent || ApplicationExiting();
}

void QuitWatch::PassOn() const
{
    if (m_state->filter.quitEvent)
        QCoreApplication::exit(0);
}

struct BusyWait::State {
    const CDialog& window;
    QuitWatch quit;
};

BusyWait::BusyWait(const CDialog& window) : m_state(new State{window, {}})
{
    ++g_busyWaits;
}

BusyWait::~BusyWait()
{
    --g_busyWaits;
    m_state->quit.PassOn();
    delete m_state;
}

bool BusyWait::Serve()
{
    {
        InputDrop drop;
        QCoreApplication::instance()->installEventFilter(&drop);
        PumpMessages();
        QCoreApplication::instance()->removeEventFilter(&drop);
    }
    return m_state->window.IsWindowVisible() && !m_state->quit.Requested();
}

bool InBusyWait()
{
    return g_busyWaits > 0;
}

void RunLater(int milliseconds, std::function<void()> action)
{
    QTimer::singleShot(milliseconds, QCoreApplication::instance(), std::move(action));
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

void PressKey(const CDialog& dialog, int id, Key key)
{
    QWidget* target = id == 0 ? QtWindow(dialog) : QtItem(dialog, id);
    if (target == nullptr)
        return;
    const int code = key == Key::Enter ? Qt::Key_Return : key == Key::Escape ? Qt::Key_Escape : Qt::Key_K;
    const Qt::KeyboardModifiers modifiers = key == Key::CtrlK ? Qt::ControlModifier : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, code, modifiers, key == Key::CtrlK ? QStringLiteral("\x0b") : QString());
    QApplication::sendEvent(target, &press);
}

} // namespace ui
