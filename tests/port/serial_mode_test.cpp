#include "port/serial_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ModeString, TriedAsItIsThenOnceWithoutTheTrailingBlank)
{
    const std::string exact = "baud=9600 parity=N data=8 stop=1 TO=ON ";
    const std::string trimmed = "baud=9600 parity=N data=8 stop=1 TO=ON";
    struct Row {
        const char* name;
        bool (*parser)(const std::string& mode);
        bool applied;
        std::vector<std::string> tried;
    };
    const Row rows[] = {
        {"Windows takes the string as it is", [](const std::string&) { return true; }, true, {exact}},
        {"Wine refuses the trailing blank",
         [](const std::string& mode) { return mode.back() != ' '; },
         true,
         {exact, trimmed}},
        {"a parser that takes neither", [](const std::string&) { return false; }, false, {exact, trimmed}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> tried;
        const bool applied = ApplyModeString([&](const char* mode) {
            tried.emplace_back(mode);
            return row.parser(mode);
        });
        EXPECT_EQ(applied, row.applied) << row.name;
        EXPECT_EQ(tried, row.tried) << row.name;
    }
}

} // namespace
