// Writes the program's pictures from the same code as the window draws them.
//   korven-icons DIR SIZE...    the icon as PNG files for the desktop's icon theme,
//                               DIR/<SIZE>x<SIZE>/apps/korvenctrl.png (at build time)
//   korven-icons --windows DIR  the files of the Windows resource script:
//                               lamp_green.bmp, lamp_red.bmp, logo.bmp, korvenctrl.ico

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "res/bitmaps.h"
#include "res/windows_images.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

int WriteWindowsResources(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "korven-icons: cannot make the folder %s\n", qPrintable(folder));
        return 1;
    }
    struct Picture {
        int id;
        const char* name;
    };
    for (const Picture& picture : {Picture{IDB_LAMP_GREEN, "lamp_green.bmp"}, Picture{IDB_LAMP_RED, "lamp_red.bmp"},
                                   Picture{IDB_LOGO, "logo.bmp"}}) {
        const QString path = folder + '/' + picture.name;
        if (!WriteFile(path, PaletteBitmapFile(LoadBitmap(picture.id).toImage()))) {
            std::fprintf(stderr, "korven-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    QList<QImage> sizes;
    for (int size : {16, 32, 48, 256})
        sizes.append(ProgramIcon(size).toImage());
    const QString iconPath = folder + "/korvenctrl.ico";
    if (!WriteFile(iconPath, IconFile(sizes))) {
        std::fprintf(stderr, "korven-icons: cannot write %s\n", qPrintable(iconPath));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool windows = argc == 3 && std::strcmp(argv[1], "--windows") == 0;
    if (argc < 3) {
        std::fprintf(stderr, "Usage: korven-icons DIR SIZE...\n       korven-icons --windows DIR\n");
        return 2;
    }
    // A build machine has no display; the pictures are drawn offscreen at a pixel ratio of 1.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (windows)
        return WriteWindowsResources(QString::fromLocal8Bit(argv[2]));
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
