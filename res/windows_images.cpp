#include "res/windows_images.h"

#include <QBuffer>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace {

// Little-endian fields of the BMP and ICO headers.
void Put16(QByteArray& out, unsigned value)
{
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>((value >> 8) & 0xff));
}

void Put32(QByteArray& out, std::uint32_t value)
{
    Put16(out, value & 0xffff);
    Put16(out, value >> 16);
}

// BITMAPINFOHEADER; height counts both halves of an icon image.
void PutInfoHeader(QByteArray& out, int width, int height, int bitCount, int coloursUsed, std::uint32_t imageSize)
{
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height)); // positive: rows run bottom-up
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bitCount));
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, 3780); // 96 dpi in pixels per metre
    Put32(out, 3780);
    Put32(out, static_cast<std::uint32_t>(coloursUsed));
    Put32(out, 0);
}

int RowBytes(int bits)
{
    return (bits + 31) / 32 * 4;
}

// The three greys that LR_LOADMAP3DCOLORS replaces by system colours (shadow,
// face, light); a picture's own pixel of such a grey is moved off it.
QRgb AvoidSystemGreys(QRgb colour)
{
    for (const QRgb grey : {QRgb(0xff808080), kFaceKey, QRgb(0xffdfdfdf)}) {
        if (colour == grey)
            return qRgb(qRed(colour) + 1, qGreen(colour) + 1, qBlue(colour) + 1);
    }
    return colour;
}

struct ColourCount {
    QRgb colour;
    long count;
};

int Channel(QRgb colour, int channel)
{
    return channel == 0 ? qRed(colour) : channel == 1 ? qGreen(colour) : qBlue(colour);
}

// Median cut: the box of colours with the widest channel is split at the median
// pixel of that channel until there are limit boxes; each gives its mean colour.
std::vector<QRgb> MedianCut(std::vector<ColourCount> colours, std::size_t limit)
{
    struct Box {
        std::size_t begin, end;
    };
    auto widest = [&colours](const Box& box, int& channel) {
        int best = -1;
        for (int c = 0; c < 3; ++c) {
            int low = 255, high = 0;
            for (std::size_t i = box.begin; i < box.end; ++i) {
                low = std::min(low, Channel(colours[i].colour, c));
                high = std::max(high, Channel(colours[i].colour, c));
            }
            if (high - low > best) {
                best = high - low;
                channel = c;
            }
        }
        return best;
    };
    std::vector<Box> boxes{{0, colours.size()}};
    while (boxes.size() < limit) {
        std::size_t pick = boxes.size();
        int pickChannel = 0, pickRange = 0;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            int channel = 0;
            const int range = boxes[b].end - boxes[b].begin > 1 ? widest(boxes[b], channel) : 0;
            if (range > pickRange) {
                pick = b;
                pickRange = range;
                pickChannel = channel;
            }
        }
        if (pick == boxes.size())
            break; // every box holds a single colour
        const Box box = boxes[pick];
        std::sort(colours.begin() + box.begin, colours.begin() + box.end,
                  [pickChannel](const ColourCount& a, const ColourCount& b) {
                      return Channel(a.colour, pickChannel) < Channel(b.colour, pickChannel);
                  });
        long total = 0;
        for (std::size_t i = box.begin; i < box.end; ++i)
            total += colours[i].count;
        long seen = 0;
        std::size_t split = box.begin + 1;
        for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
            seen += colours[i].count;
            split = i + 1;
            if (2 * seen >= total)
                break;
        }
        boxes[pick] = {box.begin, split};
        boxes.push_back({split, box.end});
    }
    std::vector<QRgb> palette;
    for (const Box& box : boxes) {
        std::array<double, 3> sum{};
        long total = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            for (int c = 0; c < 3; ++c)
                sum[static_cast<std::size_t>(c)] +=
                    static_cast<double>(Channel(colours[i].colour, c)) * colours[i].count;
            total += colours[i].count;
        }
        const auto mean = [&](int c) { return static_cast<int>(sum[static_cast<std::size_t>(c)] / total + 0.5); };
        palette.push_back(AvoidSystemGreys(qRgb(mean(0), mean(1), mean(2))));
    }
    return palette;
}

int Nearest(const std::vector<QRgb>& palette, QRgb colour)
{
    int best = 1;
    int bestDistance = 1 << 30;
    for (std::size_t i = 1; i < palette.size(); ++i) { // entry 0 is the background's alone
        int distance = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = Channel(palette[i], c) - Channel(colour, c);
            distance += d * d;
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return best;
}

} // namespace

QByteArray PaletteBitmapFile(const QImage& picture)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage face(source.size(), QImage::Format_RGB32);
    face.fill(kFaceKey);
    {
        QPainter painter(&face);
        painter.drawImage(0, 0, source);
    }
    const int width = source.width();
    const int height = source.height();

    // Entry 0 is the background; every other pixel keeps its own colour, off the system greys.
    std::map<QRgb, long> counts;
    std::vector<QRgb> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            QRgb& pixel =
                pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
            pixel = qAlpha(source.pixel(x, y)) == 0 ? kFaceKey : AvoidSystemGreys(face.pixel(x, y) | 0xff000000);
            if (pixel != kFaceKey)
                ++counts[pixel];
        }
    }
    std::vector<QRgb> palette{kFaceKey};
    if (counts.size() <= 255) {
        for (const auto& [colour, count] : counts)
            palette.push_back(colour);
    } else {
        std::vector<ColourCount> colours;
        for (const auto& [colour, count] : counts)
            colours.push_back({colour, count});
        const std::vector<QRgb> reduced = MedianCut(std::move(colours), 255);
        palette.insert(palette.end(), reduced.begin(), reduced.end());
    }
    std::map<QRgb, int> index{{kFaceKey, 0}};
    for (const auto& [colour, count] : counts)
        index[colour] = Nearest(palette, colour);

    const int rowBytes = RowBytes(width * 8);
    const auto imageSize = static_cast<std::uint32_t>(rowBytes * height);
    const auto offset = static_cast<std::uint32_t>(14 + 40 + 4 * palette.size());
    QByteArray out;
    out.append("BM");
    Put32(out, offset + imageSize);
    Put32(out, 0);
    Put32(out, offset);
    PutInfoHeader(out, width, height, 8, static_cast<int>(palette.size()), imageSize);
    for (const QRgb colour : palette) {
        out.append(static_cast<char>(qBlue(colour)));
        out.append(static_cast<char>(qGreen(colour)));
        out.append(static_cast<char>(qRed(colour)));
        out.append('\0');
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<char>(index[pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                                    static_cast<std::size_t>(x)]]);
        out.append(row);
    }
    return out;
}

QByteArray IconFile(const QList<QImage>& images)
{
    std::vector<QByteArray> entries;
    for (const QImage& picture : images) {
        const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
        QByteArray data;
        if (image.width() >= 256) {
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        } else {
            // The colour image with alpha, then the AND mask, which only systems
            // without alpha in icons look at: set where the icon is transparent.
            const int maskRow = RowBytes(image.width());
            PutInfoHeader(data, image.width(), 2 * image.height(), 32, 0,
                          static_cast<std::uint32_t>((4 * image.width() + maskRow) * image.height()));
            for (int y = image.height() - 1; y >= 0; --y) {
                for (int x = 0; x < image.width(); ++x)
                    Put32(data, image.pixel(x, y)); // BGRA in the file, as QRgb reads little-endian
            }
            for (int y = image.height() - 1; y >= 0; --y) {
                QByteArray row(maskRow, '\0');
                for (int x = 0; x < image.width(); ++x) {
                    if (qAlpha(image.pixel(x, y)) == 0)
                        row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
                }
                data.append(row);
            }
        }
        entries.push_back(data);
    }

    QByteArray out;
    Put16(out, 0);
    Put16(out, 1); // an icon, not a cursor
    Put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const int size = images[i].width();
        out.append(static_cast<char>(size >= 256 ? 0 : size)); // 0 stands for 256
        out.append(static_cast<char>(size >= 256 ? 0 : images[i].height()));
        out.append('\0'); // no palette
        out.append('\0');
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<std::uint32_t>(entries[static_cast<std::size_t>(i)].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(entries[static_cast<std::size_t>(i)].size());
    }
    for (const QByteArray& entry : entries)
        out.append(entry);
    return out;
}
