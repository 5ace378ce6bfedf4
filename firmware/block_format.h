#pragma once
// The firmware image as the relay takes it: 240 blocks of 32 program words, each
// sent as the text of one 'P' (program) or 'V' (verify) frame.

#include "firmware/hex_image.h"

#include <string>

inline constexpr unsigned kBlockCount = 240;
inline constexpr unsigned kWordsPerBlock = 32;
// The relay counts its memory in word addresses, two to a program word.
inline constexpr unsigned kBlockAddressStep = 2 * kWordsPerBlock;
// Four address digits, then six digits for each of the 32 words.
inline constexpr std::size_t kBlockTextLength = 4 + 6 * kWordsPerBlock;

inline constexpr char kProgramLetter = 'P';
inline constexpr char kVerifyLetter = 'V';

inline constexpr unsigned BlockWordAddress(unsigned block)
{
    return kBlockAddressStep * block;
}

// The number the status line shows for a block: 32, 64 ... 7680.
inline constexpr unsigned BlockDisplayNumber(unsigned block)
{
    return kWordsPerBlock * (block + 1);
}

// The 196 characters of the block that starts at wordAddress: the address as four
// upper-case hex digits, then bytes 0, 1 and 2 of each of its 32 image groups as
// two digits each. Byte 3 of a group is never sent. wordAddress must leave the
// whole block inside the image.
std::string FormatBlock(const FirmwareImage& image, unsigned wordAddress);

// The text of a block frame: the letter, then the block text.
std::string BlockRequest(char letter, const FirmwareImage& image, unsigned block);
