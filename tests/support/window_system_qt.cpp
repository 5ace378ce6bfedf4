#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>

#include "tests/support/window_system.h"
#include "ui/qt/qt_access.h"

void PrepareWindowSystem()
{
    // Offscreen unless a display is asked for. gtest_discover_tests runs the
    // program during the build, before ctest's environment applies.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void PressCloseBox(const ui::CDialog& dialog)
{
    ui::QtWindow(dialog)->close();
}

void PostWindowSystemQuit()
{
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
}

void ClearQuitRequest()
{
    // Only the application's own loop resets the state that QCoreApplication::exit set.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

bool TakesInput(const ui::CDialog& dialog)
{
    // Qt leaves the windows behind an application-modal one enabled and holds back their input.
    const QWidget* modal = QApplication::activeModalWidget();
    return ui::QtWindow(dialog)->isEnabled() && (modal == nullptr || modal == ui::QtWindow(dialog));
}

void CloseMessageBox(const char* caption)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->windowTitle() == QString::fromUtf8(caption))
            box->accept();
    }
}

void PressMinimizeBox(const ui::CDialog& dialog)
{
    ui::QtWindow(dialog)->showMinimized();
}

bool IsMinimized(const ui::CDialog& dialog)
{
    return ui::QtWindow(dialog)->isMinimized();
}
