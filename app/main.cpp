#include <QApplication>
#include <QStyleFactory>

#include "app/control_app.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // One look on every platform, close to the classic three-dimensional controls.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    theApp.InitInstance();
    return 0;
}
