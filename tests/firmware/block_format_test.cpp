// Block frames byte for byte: address digits, three bytes a word, checksum.

#include "firmware/block_format.h"
#include "link/frame.h"

#include <gtest/gtest.h>

namespace {

TEST(BlockFormatTest, FramesOfTheRelaysBlocks)
{
    FirmwareImage blank, words;
    blank.fill(0xFF);
    words = blank;
    const unsigned char start[] = {0x11, 0x22, 0x33, 0xFF, 0x44, 0x55, 0x66, 0xFF};
    std::copy(std::begin(start), std::end(start), words.begin());
    const std::string allF(192, 'F');
    const struct {
        const FirmwareImage& image;
        char letter;
        unsigned block;
        std::string frame;
    } rows[] = {
        {blank, 'P', 0, "\x02P0000" + allF + "50\x03"},
        {blank, 'V', 1, "\x02V0040" + allF + "52\x03"},
        {blank, 'V', 239, "\x02V3BC0" + allF + "54\x03"},
        {words, 'P', 0, "\x02P0000112233445566" + allF.substr(12) + "50\x03"}, // byte 3 of a group never goes out
    };
    for (const auto& row : rows)
        EXPECT_EQ(BuildFrame(BlockRequest(row.letter, row.image, row.block)), row.frame) << row.frame.substr(0, 6);
}

} // namespace
