#pragma once
// Frames on the line: STX, ASCII text, two upper-case hex digits of the XOR of
// the text, ETX. The relay answers with such a frame or with one ACK/NAK byte.

#include <string>
#include <string_view>

inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr unsigned char ACK = 0x06; // the relay accepted the command
inline constexpr unsigned char NAK = 0x15; // the relay refused the command

// Exclusive-or of the bytes of text, each taken as an 8-bit value (0 for no bytes).
unsigned char XorOf(std::string_view text);

// The two upper-case hex digits of a checksum, high nibble first ("3E").
std::string ChecksumDigits(unsigned char checksum);

// Appends the two checksum digits of frame[1..] (everything after the STX).
void AppendChecksum(std::string& frame);

// 0 if the checksum digits before the last byte match the text, -1 if not.
// The first and last bytes are not looked at. Works on the bytes as received:
// NUL bytes and bytes above 0x7F are ordinary data; replies shorter than 3
// bytes fail.
int CheckReply(std::string_view reply);

// STX + text + checksum digits + ETX.
std::string BuildFrame(std::string_view text);
