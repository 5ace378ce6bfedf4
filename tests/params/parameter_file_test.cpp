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

class ParameterFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("korven-par-" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Store(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
        return (m_dir / name).string();
    }

    fs::path m_dir;
};

TEST_F(ParameterFileTest, WorkedExampleIsSixtyEightBytesAndReadsBack)
{
    const std::string path = (m_dir / "anlage.par").string();

    ASSERT_EQ(WriteParameterFile(path, kWorkedExampleSet), ParameterFileResult::Ok);

    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(bytes, kWorkedExampleFile);
    EXPECT_EQ(bytes.size(), 68u);
    ParameterSet read{1, "x", "x", "x", "x", "x", "x", "x"};
    ASSERT_EQ(ReadParameterFile(path, read), ParameterFileResult::Ok);
    EXPECT_EQ(read, kWorkedExampleSet);
}

TEST_F(ParameterFileTest, OnlyTheFirstLineOfAtMost511BytesIsRead)
{
    const std::string longLine = "\x02SPAR:" + std::string(600, 'x');
    std::string binary(10 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = i % 256 == '\n' ? '\0' : static_cast<char>(i % 256); // every byte but LF
    struct Row {
        const char* name;
        std::string bytes;
        std::string line;
    } const rows[] = {
        {"empty file", "", ""},
        {"line break", "\x02SPAR:HYS2.0;\nSWB100.0;", "\x02SPAR:HYS2.0;\n"},
        {"long first line", longLine, longLine.substr(0, 511)},
        {"10 MB of binary", binary, binary.substr(0, 511)},
    };
    for (const Row& row : rows) {
        std::string line = "old";
        EXPECT_EQ(ReadParameterLine(Store("f.par", row.bytes), line), ParameterFileResult::Ok) << row.name;
        EXPECT_EQ(line, row.line) << row.name;
    }
}

TEST_F(ParameterFileTest, FilesThatCannotBeReadOrWrittenAreReported)
{
    std::string line;
    EXPECT_EQ(ReadParameterLine((m_dir / "missing.par").string(), line), ParameterFileResult::CannotOpen);
    EXPECT_EQ(ReadParameterLine(m_dir.string(), line), ParameterFileResult::CannotOpen) << "a folder";
    EXPECT_EQ(WriteParameterFile((m_dir / "gone" / "a.par").string(), {}), ParameterFileResult::CannotWrite);
    EXPECT_EQ(CannotReadMessage("/x/a.par"), "File /x/a.par kann nicht gelesen werden");
    EXPECT_EQ(CannotWriteMessage("/x/a.par"), "File /x/a.par kann nicht geschrieben werden");
}

TEST(ParameterFileNames, SuffixWorkingFolderAndTitle)
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
        {"/home/op/anlage.Par", PathStyle::Posix, "/home/op/anlage.Par", "/home/op", "anlage"},
        {"/home/op/anlage.txt", PathStyle::Posix, "/home/op/anlage.txt.par", "/home/op", "anlage"},
        {"/anlage.par", PathStyle::Posix, "/anlage.par", "/", "anlage"},
        {"/a", PathStyle::Posix, "/a.par", "/", "a"},
        {"ab", PathStyle::Posix, "ab.par", "", "ab"},
        {"/home/op.d/anlage", PathStyle::Posix, "/home/op.d/anlage.par", "/home/op.d", "anlage"},
        {"C:\\Daten\\anlage.par", PathStyle::Windows, "C:\\Daten\\anlage.par", "C:\\Daten", "anlage"},
        {"C:\\anlage", PathStyle::Windows, "C:\\anlage.par", "C:", "anlage"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WithParameterSuffix(row.chosen), row.written) << row.chosen;
        EXPECT_EQ(FolderOf(row.chosen, row.style), row.folder) << row.chosen;
        EXPECT_EQ(FileTitleOf(row.chosen, row.style), row.title) << row.chosen;
    }
}

} // namespace
