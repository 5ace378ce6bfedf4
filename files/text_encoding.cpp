#include "files/text_encoding.h"

namespace files {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

} // namespace

std::size_t ValidUtf8Prefix(std::string_view s, bool& cutShort)
{
    cutShort = false;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;  // range of the second byte, which excludes overlong forms,
        unsigned char high = 0xBF; // surrogates and code points past U+10FFFF
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return i;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= s.size()) {
                cutShort = true;
                return i;
            }
            const auto c = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF))
                return i;
        }
        i += length;
    }
    return i;
}

std::string Windows1252ToUtf8(std::string_view text)
{
    // 0x80 to 0x9F.
    static constexpr unsigned short kHighControls[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        AppendUtf8(out, byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte);
    }
    return out;
}

std::string_view WithoutUtf8Bom(std::string_view bytes)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    return bytes.substr(0, kBom.size()) == kBom ? bytes.substr(kBom.size()) : bytes;
}

std::string DecodeEightBitText(std::string_view bytes)
{
    bool cutShort = false;
    return ValidUtf8Prefix(bytes, cutShort) == bytes.size() ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

std::u32string Utf8ToCodePoints(std::string_view utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        bool cutShort = false;
        const std::size_t valid = ValidUtf8Prefix(utf8.substr(i, 4), cutShort);
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (valid < length) {
            out += kReplacement;
            ++i;
            continue;
        }
        char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += codePoint;
        i += length;
    }
    return out;
}

std::string CodePointsToUtf8(std::u32string_view codePoints)
{
    std::string out;
    out.reserve(codePoints.size());
    for (const char32_t codePoint : codePoints)
        AppendUtf8(out, codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF) ? codePoint : kReplacement);
    return out;
}

} // namespace files
