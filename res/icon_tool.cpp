// Writes the program's icon as PNG files for the desktop's icon theme, at build
// time: korven-icons DIR SIZE... writes DIR/<SIZE>x<SIZE>/apps/korvenctrl.png.

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "res/bitmaps.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "Usage: korven-icons DIR SIZE...\n");
        return 2;
    }
    // A build machine has no display; the icon is drawn offscreen at a pixel ratio of 1.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (size <= 0 || !QDir().mkpath(folder) || !ProgramIcon(size).save(folder + "/korvenctrl.png", "PNG")) {
            std::fprintf(stderr, "korven-icons: cannot write the %s pixel icon into %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
