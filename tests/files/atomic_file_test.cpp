#include "files/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A replaced file keeps what the user set up around it: a link stays a link to
// the same file, and the file keeps its permissions; nothing else is left in the folder.
TEST(AtomicFile, ReplacesThroughLinksAndKeepsPermissions)
{
    const fs::path dir = fs::temp_directory_path() / "korven-atomic-file";
    fs::remove_all(dir);
    fs::create_directories(dir / "real");
    const fs::path file = dir / "real" / "anlage.par";
    const fs::path link = dir / "link.par";
    std::ofstream(file, std::ios::binary) << "old";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::error_code noLinks;
    fs::create_symlink(file, link, noLinks);
    if (noLinks) // Windows gives symbolic links to administrators only
        GTEST_SKIP() << "no symbolic links here: " << noLinks.message();

    ASSERT_TRUE(files::WriteFileAtomically(link.string(), std::string("new\0bytes", 9)));

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(file), std::string("new\0bytes", 9));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

// A read-only file stays as it was; a file whose name leaves no room for a longer
// one beside it is still written, whether it is there or new.
TEST(AtomicFile, RefusesReadOnlyFilesAndWritesFilesOfLongNames)
{
    const fs::path dir = fs::temp_directory_path() / "korven-atomic-modes";
    for (const auto& [name, readOnly, there] : {std::tuple{std::string("anlage.par"), true, true},
                                                {std::string(250, 'n'), false, true},
                                                {std::string(250, 'n'), false, false}}) {
        fs::create_directories(dir);
        const fs::path file = dir / name;
        if (there) {
            std::ofstream(file, std::ios::binary) << "old";
            fs::permissions(file, readOnly ? fs::perms::owner_read : fs::perms::owner_all);
        }
        EXPECT_EQ(files::WriteFileAtomically(file.string(), "new"), !readOnly);
        EXPECT_EQ(Contents(file), readOnly ? "old" : "new");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
        fs::permissions(file, fs::perms::owner_all); // Windows deletes no read-only file
        fs::remove_all(dir);
    }
}

} // namespace
