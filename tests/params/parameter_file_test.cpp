// Parameter files: the record byte for byte, the first-line read, and the rules
// for the saved name, the working folder and the window title.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "params/parameter_file.h"
#include "tests/params/print_parameter_set.h"
#include "tests/params/worked_example.h"

namespace {

namespace fs = std::filesystem;

TEST(ParameterFile, WorkedExampleFirstLinesAndFailures)
{
    const fs::path dir = fs::temp_directory_path() / ("korven-par-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "anlage.par").string();

    ASSERT_EQ(WriteParameterFile(path, kWorkedExampleSet), ParameterFileResult::Ok);
    {
        // Closed again before the file is rewritten: Windows refuses to replace an open file.
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kWorkedExampleFile);
    }

    const std::string longLine = "\x02SPAR:" + std::string(600, '\xFF');
    const std::pair<std::string, std::string> lines[] = {
        {"", ""},
        {"\x02SPAR:HYS2.0;\nSWB100.0;", "\x02SPAR:HYS2.0;\n"},
        {longLine, longLine.substr(0, 511)},
        {"\xEF\xBB\xBF\x02SPAR:HYS2.0;", "\x02SPAR:HYS2.0;"}}; // an editor's byte-order mark goes
    for (const auto& [bytes, line] : lines) {
        std::ofstream(path, std::ios::binary) << bytes;
        std::string first = "old";
        EXPECT_EQ(ReadParameterLine(path, first), ParameterFileResult::Ok);
        EXPECT_EQ(first, line);
    }

    std::string line;
    EXPECT_EQ(ReadParameterLine((dir / "missing.par").string(), line), ParameterFileResult::CannotOpen);
    EXPECT_EQ(ReadParameterLine(dir.string(), line), ParameterFileResult::CannotOpen) << "a folder";
    EXPECT_EQ(WriteParameterFile((dir / "gone" / "a.par").string(), {}), ParameterFileResult::CannotWrite);
    fs::remove_all(dir);
}

TEST(ParameterFile, SuffixWorkingFolderAndTitle)
{
    struct Row {
        const char* chosen;
        PathStyle style;
        const char* written;
        const char* folder;
        const char* title;
    } const rows[] = {
        {"/home/op/anlage", PathStyle::Posix, "/home/op/anlage.par", "/home/op", "anlage"},
        {"/home/op/ANLAGE.PAR", PathStyle::Posix, "/home/op/ANLAGE.PAR", "/home/op", "ANLAGE"},
        {"/home/op/anlage.txt", PathStyle::Posix, "/home/op/anlage.txt.par", "/home/op", "anlage"},
        {"/a", PathStyle::Posix, "/a.par", "/", "a"},
        {"ab", PathStyle::Posix, "ab.par", "", "ab"},
        {"C:\\Daten\\anlage.Par", PathStyle::Windows, "C:\\Daten\\anlage.Par", "C:\\Daten", "anlage"},
        {"C:\\anlage", PathStyle::Windows, "C:\\anlage.par", "C:", "anlage"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WithParameterSuffix(row.chosen), row.written) << row.chosen;
        EXPECT_EQ(FolderOf(row.chosen, row.style), row.folder) << row.chosen;
        EXPECT_EQ(FileTitleOf(row.chosen, row.style), row.title) << row.chosen;
    }
}

} // namespace
