#include "link/frame.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A reply needs at least room for the two digits after its first byte.
constexpr std::size_t kShortestCheckable = 3;

} // namespace

unsigned char XorOf(std::string_view text)
{
    unsigned char x = 0;
    for (char c : text)
        x ^= static_cast<unsigned char>(c);
    return x;
}

std::string ChecksumDigits(unsigned char checksum)
{
    return {kHexDigits[checksum >> 4], kHexDigits[checksum & 0x0F]};
}

void AppendChecksum(std::string& frame)
{
    const std::string_view text = frame.size() > 1 ? std::string_view(frame).substr(1) : std::string_view();
    frame += ChecksumDigits(XorOf(text));
}

int CheckReply(std::string_view reply)
{
    const std::size_t length = reply.size();
    if (length < kShortestCheckable)
        return -1;
    // The digits sit just before the last byte; a reply of 3 or 4 bytes has no
    // text, and its digits are the two bytes after the first.
    const std::size_t digitsAt = length <= 4 ? 1 : length - 3;
    const std::string expected = ChecksumDigits(XorOf(reply.substr(1, digitsAt - 1)));
    return reply[digitsAt] == expected[0] && reply[digitsAt + 1] == expected[1] ? 0 : -1;
}

std::string BuildFrame(std::string_view text)
{
    std::string frame;
    frame.reserve(text.size() + 4);
    frame += STX;
    frame += text;
    AppendChecksum(frame);
    frame += ETX;
    return frame;
}
