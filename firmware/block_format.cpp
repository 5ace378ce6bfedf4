#include "firmware/block_format.h"

#include <stdexcept>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kGroupSize = 4;
constexpr std::size_t kBytesPerWord = 3;

void AppendHex(std::string& out, unsigned value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kHexDigits[(value >> shift) & 0x0F];
}

} // namespace

std::string FormatBlock(const FirmwareImage& image, unsigned wordAddress)
{
    const std::size_t start = 2 * std::size_t{wordAddress};
    if (start + kGroupSize * kWordsPerBlock > image.size())
        throw std::out_of_range("block beyond the firmware image");
    std::string text;
    text.reserve(kBlockTextLength);
    AppendHex(text, wordAddress & 0xFFFF, 4);
    for (std::size_t w = 0; w < kWordsPerBlock; ++w) {
        for (std::size_t k = 0; k < kBytesPerWord; ++k)
            AppendHex(text, image[start + kGroupSize * w + k], 2);
    }
    return text;
}

std::string BlockRequest(char letter, const FirmwareImage& image, unsigned block)
{
    return letter + FormatBlock(image, BlockWordAddress(block));
}
