// The bitmaps of the Windows resource script: read back, every transparent pixel
// is the grey that LR_LOADMAP3DCOLORS replaces by the dialog face colour, and no
// pixel of the picture itself is one of the greys that it would replace.

#include "res/windows_images.h"

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

bool SystemGrey(QRgb colour)
{
    const QRgb rgb = colour | 0xff000000;
    return rgb == 0xff808080 || rgb == kFaceKey || rgb == 0xffdfdfdf;
}

// A picture with a transparent column 0, the three greys in row 0 and
// colours that differ in every other pixel.
QImage Picture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 5) & 0xff, ((x + y) * 3) & 0xff));
        image.setPixel(0, y, qRgba(0, 0, 0, 0));
    }
    image.setPixel(1, 0, 0xff808080);
    image.setPixel(2, 0, kFaceKey);
    image.setPixel(3, 0, 0xffdfdfdf);
    return image;
}

struct Case {
    const char* name;
    int width, height;
    int maxError; // per channel, between a pixel and its palette colour
};

TEST(WindowsImages, PaletteBitmapKeepsTheFaceKeyForTheBackgroundOnly)
{
    const Case cases[] = {
        {"few colours: an exact palette", 8, 8, 1},
        {"more than 256 colours: reduced", 60, 40, 24},
    };
    for (const Case& c : cases) {
        const QImage source = Picture(c.width, c.height);
        const QImage read = QImage::fromData(PaletteBitmapFile(source), "BMP");
        ASSERT_EQ(read.size(), source.size()) << c.name;
        EXPECT_EQ(read.format(), QImage::Format_Indexed8) << c.name;
        EXPECT_LE(read.colorCount(), 256) << c.name;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const QRgb got = read.pixel(x, y);
                const QRgb want = source.pixel(x, y);
                if (x == 0) {
                    ASSERT_EQ(got, kFaceKey) << c.name << " at " << x << "," << y;
                    continue;
                }
                ASSERT_FALSE(SystemGrey(got)) << c.name << " at " << x << "," << y;
                const int error = std::max({std::abs(qRed(got) - qRed(want)), std::abs(qGreen(got) - qGreen(want)),
                                            std::abs(qBlue(got) - qBlue(want))});
                ASSERT_LE(error, c.maxError) << c.name << " at " << x << "," << y;
            }
        }
    }
}

} // namespace
