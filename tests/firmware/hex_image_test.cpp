// The HEX reader: its byte arithmetic, which records land where in the image,
// and what a load reports.

#include "firmware/hex_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using namespace std::string_literals;

TEST(HexPairToByteTest, ArithmeticOfDigitsAndOtherCharacters)
{
    struct Row {
        char high, low;
        unsigned expected;
    };
    const Row rows[] = {
        {'0', '0', 0x00}, {'F', 'F', 0xFF},
        {'A', '9', 0xA9}, {'a', 'a', 0xCA}, // lower case only works upper-cased first
        {'G', 'G', 0x10},                   // not rejected: (71 + 9) & 15 = 0, 71 - 55 = 16
        {' ', ' ', 0x79},                   // 9 * 16 - 23, taken as 8 bits
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((std::string{row.high, row.low}));
        EXPECT_EQ(HexPairToByte(row.high, row.low), row.expected);
    }
}

const std::string kSelect = ":020000040000FA\n"; // selects the first 64 KB

TEST(HexImageTest, RecordsLandAsTheRulesSay)
{
    struct Row {
        const char* name;
        std::string file;
        std::map<std::size_t, unsigned char> stored; // every other byte stays 0xFF
        std::size_t badLines = 0;
    };
    const std::string longLine = ":04000000AABBCCDD" + std::string(600 - 17, '0') + "\n";
    const Row rows[] = {
        {"empty file", "", {}},
        {"data without a type 04 record is skipped", ":0400000011223344AA\n", {}},
        {"an 08 record drops each fourth byte",
         kSelect + ":08000000112233004455660093\n",
         {{0, 0x11}, {1, 0x22}, {2, 0x33}, {4, 0x44}, {5, 0x55}, {6, 0x66}}},
        {"an 06 record at address 2 drops its rest",
         kSelect + ":06000200AABBCC00DDEEFC\n",
         {{2, 0xAA}, {3, 0xBB}, {4, 0xCC}}},
        {"a record below four bytes stores nothing", kSelect + ":03000000AABBCC00\n", {}},
        {"an odd address is rounded down",
         kSelect + ":04010100A1A2A3A400\n",
         {{0x100, 0xA1}, {0x101, 0xA2}, {0x102, 0xA3}}},
        {"upper address 0x0001 skips data until 0x0000 comes back",
         kSelect + ":020000040001F9\n:0400000011223344AA\n" + kSelect + ":0400040055667788AA\n",
         {{4, 0x55}, {5, 0x66}, {6, 0x77}}},
        {"a type 04 record without two bytes selects nothing", kSelect + ":0100000400FB\n:0400000011223344AA\n", {}},
        {"data after an end-of-file record is taken",
         kSelect + ":00000001FF\n:0400000011223344AA\n",
         {{0, 0x11}, {1, 0x22}, {2, 0x33}}},
        {"types 02, 03 and 05 are passed over",
         kSelect + ":020000021000EC\n:0400000300001000E9\n:04000005000000C037\n:0400000011223344AA\n",
         {{0, 0x11}, {1, 0x22}, {2, 0x33}}},
        {"lower case and CRLF read like upper case",
         ":020000040000fa\r\n:04000000aabbccdd00\r\n",
         {{0, 0xAA}, {1, 0xBB}, {2, 0xCC}}},
        {"wrong checksums and non-hex digits are not looked at",
         kSelect + ":04000000GG223344ZZ\n",
         {{0, 0x10}, {1, 0x22}, {2, 0x33}}},
        {"nothing is stored beyond the image",
         kSelect + ":089FFE00112233004455660000\n",
         {{0x9FFE, 0x11}, {0x9FFF, 0x22}}},
        {"a line shorter than its count is a bad line", kSelect + ":10000000AABB\n", {}, 1},
        {"an empty line and a line of spaces are bad lines",
         kSelect + "\n   \n:0400000011223344AA\n",
         {{0, 0x11}, {1, 0x22}, {2, 0x33}},
         2},
        {"a 600-character line is read in two pieces, the second bad",
         kSelect + longLine,
         {{0, 0xAA}, {1, 0xBB}, {2, 0xCC}},
         1},
        {"a binary file: every piece without a colon is a bad line",
         "\x7F"
         "ELF\x01\0\0\n\xFF\xFE\n:\0\n"s,
         {},
         3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FirmwareImage image;
        image.fill(0x00); // a load starts from an all-0xFF image whatever was there
        std::istringstream in(row.file);
        const HexLoadResult result = LoadHexImage(in, image);

        FirmwareImage expected;
        expected.fill(0xFF);
        for (const auto& [offset, value] : row.stored)
            expected[offset] = value;
        EXPECT_EQ(image, expected);
        EXPECT_EQ(result.badLines, row.badLines);
        EXPECT_EQ(result.Clean(), row.badLines == 0);
    }
}

TEST(HexImageTest, OneMessageForALoad)
{
    const std::string folder = std::filesystem::temp_directory_path() / ("korven-hex-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string missing = folder + "/missing.hex";
    struct Row {
        const char* name;
        std::string path;
        std::optional<std::string> message;
        bool imageKept;
    };
    const Row rows[] = {
        {"a file that does not exist", missing, "File " + missing + " kann nicht gelesen werden", true},
        {"a folder", folder, "File " + folder + " kann nicht gelesen werden", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FirmwareImage image;
        image.fill(0x5A);
        const HexLoadResult result = LoadHexFile(row.path, image);
        EXPECT_EQ(HexLoadMessage(result, row.path), row.message);
        EXPECT_FALSE(result.Clean());
        EXPECT_EQ(image[0] == 0x5A, row.imageKept);
    }
    std::filesystem::remove_all(folder);

    EXPECT_EQ(HexLoadMessage({true, false, 300}, "x.hex"), "Das File ist kein gültiges HEX-File!");
    EXPECT_EQ(HexLoadMessage({true, false, 0}, "x.hex"), std::nullopt);
}

} // namespace
