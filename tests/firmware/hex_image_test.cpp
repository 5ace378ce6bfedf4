// The HEX reader: its byte arithmetic, where records land, what a load reports.

#include "firmware/hex_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using namespace std::string_literals;

TEST(HexImageTest, RecordsLandAsTheRulesSay)
{
    const std::string on = ":020000040000FA\n"; // selects the first 64 KB
    const std::string data = ":0400000011223344AA\n";
    const std::map<std::size_t, unsigned char> first3 = {{0, 0x11}, {1, 0x22}, {2, 0x33}};
    struct Row {
        const char* name;
        std::string file;
        std::map<std::size_t, unsigned char> stored; // every other byte is 0xFF
        std::size_t badLines = 0;
    };
    const Row rows[] = {
        {"empty file", "", {}},
        {"no type 04 record", data, {}},
        {"an 08 record drops each fourth byte",
         on + ":08000000112233004455660093\n",
         {{0, 0x11}, {1, 0x22}, {2, 0x33}, {4, 0x44}, {5, 0x55}, {6, 0x66}}},
        {"an 06 record at 2 drops its rest", on + ":06000200AABBCC00DDEEFC\n", {{2, 0xAA}, {3, 0xBB}, {4, 0xCC}}},
        {"odd address", on + ":04010100A1A2A3A400\n", {{0x100, 0xA1}, {0x101, 0xA2}, {0x102, 0xA3}}},
        {"upper address 1 skips data until 0 again",
         on + ":020000040001F9\n" + data + on + ":04000400556677AA\n",
         {{4, 0x55}, {5, 0x66}, {6, 0x77}}},
        {"type 04 without two bytes", on + ":0100000400FB\n" + data, {}},
        {"end of file, 02, 03, 05 passed over",
         on + ":00000001FF\n:020000021000EC\n:0400000300001000E9\n:04000005000000C037\n" + data, first3},
        {"lower case, CRLF", ":020000040000fa\r\n:04000000aabbcc00\r\n", {{0, 0xAA}, {1, 0xBB}, {2, 0xCC}}},
        {"checksum and digits not checked", on + ":04000000GG20  44ZZ\n", {{0, 0x10}, {1, 0x20}, {2, 0x79}}},
        {"nothing beyond the image", on + ":089FFE00112233004455660000\n", {{0x9FFE, 0x11}, {0x9FFF, 0x22}}},
        {"shorter than its count", on + ":10000000AABB\n", {}, 1},
        {"empty line, line of spaces", on + "\n   \n" + data, first3, 2},
        {"600 characters: the second piece is bad", on + ":0400000011223344" + std::string(583, '0') + "\n", first3, 1},
        {"binary",
         "\x7F"
         "ELF\0\0\n\xFF\xFE\n:\0\n"s,
         {},
         3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FirmwareImage image, expected;
        image.fill(0x00); // a load starts from all 0xFF whatever was there
        expected.fill(0xFF);
        for (const auto& [offset, value] : row.stored)
            expected[offset] = value;
        std::istringstream in(row.file);
        const HexLoadResult result = LoadHexImage(in, image);
        EXPECT_EQ(image, expected);
        EXPECT_EQ(result.badLines, row.badLines);
        EXPECT_EQ(HexLoadMessage(result, ""),
                  row.badLines ? std::optional("Das File ist kein gültiges HEX-File!"s) : std::nullopt);
    }
}

TEST(HexImageTest, AFileLoadThatIsNotCleanKeepsTheImage)
{
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::string bad = folder + "/korven-bad-line.hex";
    std::ofstream(bad, std::ios::binary) << ":020000040000FA\n:0400000011223344AA\nnot a record\n";
    for (const std::string& path : {folder + "/korven-missing.hex", folder, bad}) {
        FirmwareImage image;
        image.fill(0x5A);
        const HexLoadResult result = LoadHexFile(path, image);
        EXPECT_EQ(HexLoadMessage(result, path),
                  path == bad ? kHexBadLine : "File " + path + " kann nicht gelesen werden");
        EXPECT_FALSE(result.Clean());
        EXPECT_EQ(std::count(image.begin(), image.end(), 0x5A), static_cast<std::ptrdiff_t>(kImageSize)) << path;
    }
    std::filesystem::remove(bad);
}

} // namespace
