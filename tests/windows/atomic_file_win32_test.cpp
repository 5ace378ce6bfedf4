// The atomic file write and the commissioning record on Windows, where a file
// can be read-only and held open.

#include "files/atomic_file.h"
#include "record/commissioning_record.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

// A read-only file that another program holds open cannot be replaced: the write
// fails, the file keeps its bytes, and the temporary file (read-only like the old
// file) does not stay behind.
TEST(AtomicFileWin32, ReadOnlyFileHeldOpenStaysAsItWas)
{
    const fs::path dir = fs::temp_directory_path() / "korven-atomic-win32";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "anlage.par";
    std::ofstream(file, std::ios::binary) << "old";
    fs::permissions(file, fs::perms::all, fs::perm_options::remove);
    fs::permissions(file, fs::perms::owner_read, fs::perm_options::add);
    const HANDLE other = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(files::WriteFileAtomically(file.string(), "new"));
    CloseHandle(other);

    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    in.close();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir);
}

// Excel keeps a CSV it shows open against writers: a change is refused, and
// the reason names the other program.
TEST(AtomicFileWin32, ARecordOpenInASpreadsheetIsRefusedWithTheReason)
{
    const fs::path file = fs::temp_directory_path() / "korven-record-win32.csv";
    ASSERT_TRUE(CommissioningRecord(file.string()).Writable());
    const HANDLE spreadsheet = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(spreadsheet, INVALID_HANDLE_VALUE);
    RecordProblem problem = RecordProblem::None;
    EXPECT_FALSE(CommissioningRecord(file.string()).AppendStart({}, WallClock::now(), &problem));
    EXPECT_EQ(problem, RecordProblem::OpenElsewhere);
    CloseHandle(spreadsheet);
    fs::remove(file);
}

} // namespace
