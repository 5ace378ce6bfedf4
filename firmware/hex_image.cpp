#include "firmware/hex_image.h"

#include "files/utf8_path.h"
#include "params/parameter_file.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// Characters of a record before its data: ':' and the count, address and type pairs.
constexpr std::size_t kRecordHeaderLength = 9;
// Bytes of a program word in the image (three carried, the fourth never written).
constexpr std::size_t kGroupSize = 4;
constexpr std::size_t kBytesPerWord = 3;
constexpr std::size_t kReadChunk = 64 * 1024;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A record ends at the line end, and at a NUL as the C string it was read into did.
std::string_view RecordText(std::string_view piece)
{
    const std::size_t end = piece.find_first_of(std::string_view("\r\n\0", 3));
    return end == std::string_view::npos ? piece : piece.substr(0, end);
}

void ToUpperAscii(std::string& text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
}

// Splits a stream as fgets does with a 512-byte buffer: each piece ends after a
// '\n' or after kHexPieceLength characters, whichever comes first.
class PieceReader {
public:
    explicit PieceReader(std::istream& in) : m_in(in) {}

    bool Next(std::string& piece)
    {
        piece.clear();
        while (piece.size() < kHexPieceLength) {
            if (m_pos == m_buffer.size() && !Fill())
                break;
            const std::size_t room = kHexPieceLength - piece.size();
            const std::size_t available = std::min(room, m_buffer.size() - m_pos);
            const std::size_t newline = m_buffer.find('\n', m_pos);
            if (newline != std::string::npos && newline < m_pos + available) {
                piece.append(m_buffer, m_pos, newline + 1 - m_pos);
                m_pos = newline + 1;
                return true;
            }
            piece.append(m_buffer, m_pos, available);
            m_pos += available;
        }
        return !piece.empty();
    }

private:
    bool Fill()
    {
        m_buffer.resize(kReadChunk);
        m_in.read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_buffer.resize(static_cast<std::size_t>(m_in.gcount()));
        m_pos = 0;
        return !m_buffer.empty();
    }

    std::istream& m_in;
    std::string m_buffer;
    std::size_t m_pos = 0;
};

// Stores a data record's bytes in groups of four from its even offset: three
// bytes of each group, the fourth and a rest of fewer than four dropped. Bytes
// that would fall outside the image are dropped too. Returns the bytes stored.
std::size_t StoreData(const HexRecord& record, FirmwareImage& image)
{
    std::size_t stored = 0;
    const std::size_t offset = ((record.addressHigh * 256u) + record.addressLow) & ~1u;
    const std::size_t groups = record.count / kGroupSize;
    for (std::size_t g = 0; g < groups; ++g) {
        for (std::size_t k = 0; k < kBytesPerWord; ++k) {
            const std::size_t at = offset + kGroupSize * g + k;
            if (at < image.size()) {
                image[at] = record.data[kGroupSize * g + k];
                ++stored;
            }
        }
    }
    return stored;
}

} // namespace

unsigned char HexPairToByte(char high, char low)
{
    const int h = IsDigit(high) ? high - '0' : (high + 9) & 0x0F;
    const int l = IsDigit(low) ? low - '0' : low - 55;
    return static_cast<unsigned char>(h * 16 + l);
}

int ParseHexRecord(std::string_view line, HexRecord& record)
{
    const std::string_view text = RecordText(line);
    if (text.empty() || text[0] != ':')
        return -1;
    if (text.size() < 3)
        return -1;
    const unsigned char count = HexPairToByte(text[1], text[2]);
    if (text.size() < kRecordHeaderLength + 2u * count)
        return -1;
    record.count = count;
    record.addressHigh = HexPairToByte(text[3], text[4]);
    record.addressLow = HexPairToByte(text[5], text[6]);
    record.type = HexPairToByte(text[7], text[8]);
    for (std::size_t i = 0; i < count; ++i)
        record.data[i] = HexPairToByte(text[kRecordHeaderLength + 2 * i], text[kRecordHeaderLength + 2 * i + 1]);
    return 0;
}

HexLoadResult LoadHexImage(std::istream& in, FirmwareImage& image)
{
    HexLoadResult result;
    result.opened = true;
    image.fill(0xFF);
    bool accept = false;
    PieceReader reader(in);
    std::string piece;
    HexRecord record;
    while (reader.Next(piece)) {
        ToUpperAscii(piece);
        if (ParseHexRecord(piece, record) != 0) {
            ++result.badLines;
            continue;
        }
        if (record.type == kHexExtendedLinearAddress) {
            // Only the first 64 KB of the linear space is taken. A record too
            // short to name an upper address selects nothing.
            accept = record.count >= 2 && record.data[0] == 0 && record.data[1] == 0;
        } else if (record.type == kHexData && accept) {
            result.stored += StoreData(record, image);
        }
    }
    result.readFailed = in.bad();
    return result;
}

HexLoadResult LoadHexFile(const std::string& path, FirmwareImage& image)
{
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in)
        return {};
    auto scratch = std::make_unique<FirmwareImage>();
    const HexLoadResult result = LoadHexImage(in, *scratch);
    if (result.Clean())
        image = *scratch;
    return result;
}

std::optional<std::string> HexLoadMessage(const HexLoadResult& result, const std::string& path)
{
    // The same words as for a parameter file that cannot be read.
    if (!result.opened || result.readFailed)
        return CannotReadMessage(path);
    if (result.badLines > 0)
        return std::string(kHexBadLine);
    return std::nullopt;
}
