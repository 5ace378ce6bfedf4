// Block frames byte for byte: address digits, three bytes a word, checksum.

#include "firmware/block_format.h"
#include "link/frame.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(BlockFormatTest, FramesOfTheRelaysBlocks)
{
    FirmwareImage blank;
    blank.fill(0xFF);
    FirmwareImage words = blank; // two program words at offset 0
    const unsigned char start[] = {0x11, 0x22, 0x33, 0xFF, 0x44, 0x55, 0x66, 0xFF};
    std::copy(std::begin(start), std::end(start), words.begin());
    const std::string allF(192, 'F');

    struct Row {
        const char* name;
        const FirmwareImage& image;
        char letter;
        unsigned block;
        std::string frame;
    };
    const Row rows[] = {
        {"program block 0 of a blank image", blank, kProgramLetter, 0, "\x02P0000" + allF + "50\x03"},
        {"verify block 1", blank, kVerifyLetter, 1, "\x02V0040" + allF + "52\x03"},
        {"the last block", blank, kVerifyLetter, 239, "\x02V3BC0" + allF + "54\x03"},
        {"the fourth byte of a group is never sent", words, kProgramLetter, 0,
         "\x02P0000112233445566" + std::string(180, 'F') + "50\x03"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string frame = BuildFrame(BlockRequest(row.letter, row.image, row.block));
        EXPECT_EQ(frame.size(), 201u);
        EXPECT_EQ(frame, row.frame);
    }
}

} // namespace
