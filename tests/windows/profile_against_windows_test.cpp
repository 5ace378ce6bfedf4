// One table of profile-file cases, run against the program's own profile file and
// against the settings file as Windows has it (the system's profile functions
// for integers). Where Windows answers otherwise on purpose, the row says so.
// scripts/test-windows runs it under a double-byte code page too, in which the
// file's bytes must stay as they are.

#include "files/profile_file.h"
#include "files/settings_file.h"

#include <gtest/gtest.h>

#include <windows.h>
#undef WriteProfileString // the win.ini function's macro, not the settings file's function

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Op { Int, Text, Write };

struct Case {
    const char* name;
    std::optional<std::string> file; // before the call; none: no file
    Op op;
    const char* section;
    const char* key;
    std::string expected;                    // the int as text, the text read, or the whole file after the write
    std::optional<std::string> windows = {}; // what Windows gives where the program's own file differs on purpose
};

const std::string kValue = "5"; // every write writes this
const std::string kDefault = "<default>";

const std::string kReadFile = "; KorvenCtrl\r\n"
                              "[CONNECTION]\r\n"
                              "COM=3\r\n"
                              "[Dir]\r\n"
                              "  TEST = 3179abc  \r\n"
                              "NEG=-5\r\n"
                              "EMPTY=\r\n"
                              "BIG=4294967297\r\n"
                              "WORKINGDIR=C:\\M\xFCller\\\r\n"
                              "QUOTED=\"  x  \"\r\n"
                              "LONG=" +
                              std::string(600, 'y') +
                              "\r\n"
                              "[connection]\r\n"
                              "COM=9\r\n";

// A file to write to, in three parts: the write cases change or add lines between them.
const std::string kLead = "; KorvenCtrl\r\n[CONNECTION]\r\n";
const std::string kDir = "\r\n[DIR]\r\n  TEST = 0  \r\nWORKINGDIR=C:\\M\xFCller\\\r\n";
const std::string kTail = "[connection]\r\nCOM=9\r\n";
const std::string kWriteFile = kLead + "COM=3\r\n" + kDir + kTail;

const std::vector<Case> kCases = {
    {"names in other case, first of two equal sections", kReadFile, Op::Int, "connection", "com", "3"},
    {"blanks around name and value, leading digits", kReadFile, Op::Int, "DIR", "TEST", "3179"},
    {"a sign before the digits", kReadFile, Op::Int, "DIR", "NEG", "-5"},
    {"empty value: the default", kReadFile, Op::Int, "DIR", "EMPTY", "-1"},
    // Windows wraps at 32 bits; the program's own file keeps a huge number huge.
    {"digits past 32 bits", kReadFile, Op::Int, "DIR", "BIG", "2147483647", "1"},
    {"missing file", std::nullopt, Op::Int, "CONNECTION", "COM", "-1"},
    {"Windows-1252 bytes", kReadFile, Op::Text, "DIR", "WORKINGDIR", "C:\\M\xC3\xBCller\\"},
    {"one pair of quotes removed", kReadFile, Op::Text, "DIR", "QUOTED", "  x  "},
    {"511 characters of a longer value", kReadFile, Op::Text, "DIR", "LONG", std::string(511, 'y')},
    {"empty value is not missing", kReadFile, Op::Text, "DIR", "EMPTY", ""},
    {"missing key gives the default", kReadFile, Op::Text, "DIR", "NOPE", kDefault},
    {"value replaced, every other byte kept", kWriteFile, Op::Write, "connection", "com",
     kLead + "COM=5\r\n" + kDir + kTail},
    {"key added after the last key of its section", kWriteFile, Op::Write, "DIR", "MARGIN",
     kLead + "COM=3\r\n" + kDir + "MARGIN=5\r\n" + kTail},
    {"section added at the end", kWriteFile, Op::Write, "PARAMS", "MARGINTOP",
     kWriteFile + "[PARAMS]\r\nMARGINTOP=5\r\n"},
    // A new file takes the platform's line ends: LF in the program's own file as other platforms use it.
    {"file created", std::nullopt, Op::Write, "CONNECTION", "COM", "[CONNECTION]\nCOM=5\n",
     "[CONNECTION]\r\nCOM=5\r\n"},
};

std::string Load(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<no file>";
}

// The result of the case's call, as text: through the Windows functions or the program's own file.
std::string Observe(const Case& c, const std::string& ini, bool windows)
{
    switch (c.op) {
    case Op::Int:
        return std::to_string(windows ? ReadProfileInt(c.section, c.key, -1, ini)
                                      : profile::ReadInt(c.section, c.key, -1, ini));
    case Op::Text:
        return windows ? ReadProfileString(c.section, c.key, kDefault, ini)
                       : profile::ReadString(c.section, c.key, kDefault, ini);
    case Op::Write:
        if (!(windows ? WriteProfileString(c.section, c.key, kValue, ini)
                      : profile::WriteString(c.section, c.key, kValue, ini)))
            return "<write failed>";
        return Load(ini);
    }
    return {};
}

TEST(ProfileFileAgainstWindows, OneTableForBoth)
{
    const fs::path dir = fs::temp_directory_path() / "korven-profile-windows";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path ini = dir / "KorvenCtrl.ini";
    // The run under a double-byte code page proves nothing unless Wine really took it.
    if (const char* page = std::getenv("KORVEN_CODE_PAGE")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::stoul(page))) << "the code page Wine runs with";
    }
    for (const Case& c : kCases) {
        for (const bool windows : {false, true}) {
            fs::remove(ini);
            if (c.file)
                std::ofstream(ini, std::ios::binary) << *c.file;
            std::string expected = c.expected;
            if (windows && c.windows)
                expected = *c.windows;
            EXPECT_EQ(Observe(c, ini.string(), windows), expected)
                << c.name << (windows ? ", settings file" : ", own profile file") << ", code page " << GetACP();
        }
    }
    fs::remove_all(dir);
}

} // namespace
