#include "files/profile_file.h"
#include "files/settings_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("korven-profile-") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_ini = (m_dir / "KorvenCtrl.ini").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Store(const std::string& bytes) const { std::ofstream(m_ini, std::ios::binary | std::ios::trunc) << bytes; }
    std::optional<std::string> Load() const
    {
        std::ifstream in(m_ini, std::ios::binary);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::set<std::string> FolderContents() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path m_dir;
    std::string m_ini;
};

std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

const std::string kSample = "; written by hand\n"
                            "orphan=1\n"
                            "[Connection]\n"
                            "  COM = 3179abc  \n"
                            "junk line without equals\n"
                            ";COM=9\n"
                            "[ dir ]\n"
                            "TEST=abc\n"
                            "NEG=-5\n"
                            "SIGNONLY=+x\n"
                            "EMPTY=\n"
                            "BIG=99999999999999999999\n"
                            "SMALL=-99999999999\n"
                            "WORKINGDIR =  /home/op/Korven/  \n"
                            "QUOTED=\"  spaced  \"\n"
                            "[CONNECTION]\n"
                            "COM=7\n";

struct IntRow {
    const char* section;
    const char* key;
    int expected;
};

const std::vector<IntRow> kIntRows = {
    {"CONNECTION", "COM", 3179}, // first matching section, leading digits only
    {"connection", "com", 3179}, // names in other case
    {"DIR", "TEST", 0},          // no leading digit
    {"DIR", "NEG", -5},          // a sign before the digits counts
    {"DIR", "SIGNONLY", 0},      // a sign without digits does not
    {"DIR", "EMPTY", -1},        // present but empty reads as missing
    {"DIR", "BIG", INT_MAX},     // huge digit strings saturate
    {"DIR", "SMALL", INT_MIN},   // and so do huge negative ones
    {"DIR", "MISSING", -1},      // missing key: default
    {"PARAMS", "MARGINTOP", -1}, // missing section: default
    {"", "orphan", -1},          // lines before the first section belong to none
    {"CONNECTION", ";COM", -1},  // comments are not keys
};

struct StringRow {
    const char* section;
    const char* key;
    std::string expected;
};

const std::vector<StringRow> kStringRows = {
    {"DIR", "WORKINGDIR", "/home/op/Korven/"}, // blanks around key and value are ignored
    {"Dir", "quoted", "  spaced  "},           // one pair of quotes is removed, what they enclose kept
    {"DIR", "EMPTY", ""},
    {"DIR", "NOPE", "<default>"},
    {"CONNECTION", "junk line without equals", "<default>"},
};

TEST_F(ProfileFile, ReadsKeysWithLfAndCrLfAlike)
{
    for (const std::string& text : {kSample, WithCrLf(kSample)}) {
        Store(text);
        const bool crlf = text.find('\r') != std::string::npos;
        for (const IntRow& row : kIntRows)
            EXPECT_EQ(profile::ReadInt(row.section, row.key, -1, m_ini), row.expected)
                << row.section << "/" << row.key << (crlf ? " CRLF" : " LF");
        for (const StringRow& row : kStringRows)
            EXPECT_EQ(profile::ReadString(row.section, row.key, "<default>", m_ini), row.expected)
                << row.section << "/" << row.key << (crlf ? " CRLF" : " LF");
    }
}

TEST_F(ProfileFile, MissingFileGivesDefaults)
{
    EXPECT_EQ(profile::ReadInt("CONNECTION", "COM", 1, m_ini), 1);
    EXPECT_EQ(profile::ReadInt("PARAMS", "MARGINTOP", 1, m_ini), 1);
    EXPECT_EQ(profile::ReadString("DIR", "WORKINGDIR", "/start/", m_ini), "/start/");
    EXPECT_EQ(profile::ReadString("DIR", "WORKINGDIR", "/start/", m_dir.string()), "/start/"); // a folder
    EXPECT_FALSE(Load().has_value());
}

TEST_F(ProfileFile, ByteOrderMarkDoesNotHideFirstSection)
{
    Store("\xEF\xBB\xBF[CONNECTION]\r\nCOM=4\r\n");
    EXPECT_EQ(profile::ReadInt("CONNECTION", "COM", 1, m_ini), 4);
}

TEST(ProfileValue, DecodesUtf8AsIsAndOtherBytesAsWindows1252)
{
    struct Row {
        std::string name;
        std::string raw;
        std::string expected;
    };
    const std::string a510(510, 'a');
    const std::vector<Row> rows = {
        {"ASCII", "C:\\Daten\\", "C:\\Daten\\"},
        {"valid UTF-8 stays", "Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F"},
        {"1252 umlauts", "Gr\xFC\xDF \xE4\xF6\xC4", "Gr\xC3\xBC\xC3\x9F \xC3\xA4\xC3\xB6\xC3\x84"},
        {"1252 euro and quotes", "\x80 \x93x\x94", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"1252 undefined byte", "\x81", "\xC2\x81"},
        {"overlong form is not UTF-8", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"short value ending in a lead byte is 1252", "ab\xC3", "ab\xC3\x83"},
        {"600 ASCII characters give 511", std::string(600, 'x'), std::string(511, 'x')},
        {"1252: 511 bytes of the file", std::string(600, '\xFC'),
         [] {
             std::string s;
             for (int i = 0; i < 511; ++i)
                 s += "\xC3\xBC";
             return s;
         }()},
        {"UTF-8 is cut before a sequence", a510 + "\xC3\xBC" + "tail", a510},
        {"UTF-8 already cut by the 511 limit", a510 + "\xC3", a510},
        {"UTF-8 of exactly 511 bytes", a510 + "z", a510 + "z"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(profile::DecodeValue(row.raw), row.expected) << row.name;
}

TEST_F(ProfileFile, ReadsWindows1252ValueFromFile)
{
    Store("[DIR]\r\nWORKINGDIR=C:\\M\xFCller\\\r\n");
    EXPECT_EQ(profile::ReadString("DIR", "WORKINGDIR", "", m_ini), "C:\\M\xC3\xBCller\\");
}

struct WriteRow {
    std::string name;
    std::optional<std::string> before; // nothing: no file yet
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

TEST_F(ProfileFile, WriteChangesOnlyItsKeyAndKeepsEveryOtherByte)
{
    const std::string others = "; margins by hand\r\n"
                               "[PARAMS]\r\n"
                               "MARGINTOP=1\r\n"
                               "\r\n"
                               "[PORTS]\r\n"
                               "COM1 = /dev/ttyUSB0   \r\n"
                               "junk\r\n";
    const std::vector<WriteRow> rows = {
        {"no file", std::nullopt, "CONNECTION", "COM", "5", "[CONNECTION]\nCOM=5\n"},
        {"value replaced in place, spacing kept", "[DIR]\r\nWORKINGDIR =  C:\\alt\\  \r\nTEST=0\r\n" + others, "DIR",
         "WORKINGDIR", "/neu/", "[DIR]\r\nWORKINGDIR =  /neu/  \r\nTEST=0\r\n" + others},
        {"names in other case", "[connection]\ncom=2\n", "CONNECTION", "COM", "5", "[connection]\ncom=5\n"},
        {"first key of the first section", "[A]\nK=1\nK=2\n[a]\nK=3\n", "A", "k", "9", "[A]\nK=9\nK=2\n[a]\nK=3\n"},
        {"empty value filled", "[A]\nK=\n;c\n", "A", "K", "v", "[A]\nK=v\n;c\n"},
        {"key added after the section's last key", "[CONNECTION]\nCOM=1\n\n; ports\n[PORTS]\nCOM1=/dev/pts/3\n",
         "CONNECTION", "BAUD", "19200", "[CONNECTION]\nCOM=1\nBAUD=19200\n\n; ports\n[PORTS]\nCOM1=/dev/pts/3\n"},
        {"key added to an empty section", "[DIR]\r\n" + others, "DIR", "WORKINGDIR", "/w/",
         "[DIR]\r\nWORKINGDIR=/w/\r\n" + others},
        {"section added with the file's CRLF", others, "CONNECTION", "COM", "2", others + "[CONNECTION]\r\nCOM=2\r\n"},
        {"last line without line end", "[DIR]\nTEST=0", "DIR", "WORKINGDIR", "/w/", "[DIR]\nTEST=0\nWORKINGDIR=/w/\n"},
        {"section added after a line without line end", "[DIR]\nTEST=0", "CONNECTION", "COM", "3",
         "[DIR]\nTEST=0\n[CONNECTION]\nCOM=3\n"},
        {"byte-order mark and 1252 bytes kept",
         "\xEF\xBB\xBF[DIR]\r\nWORKINGDIR=C:\\M\xFCller\\\r\n[CONNECTION]\r\nCOM=1\r\n", "CONNECTION", "COM", "3",
         "\xEF\xBB\xBF[DIR]\r\nWORKINGDIR=C:\\M\xFCller\\\r\n[CONNECTION]\r\nCOM=3\r\n"},
        // Values that reading would trim or unquote are stored in quotes.
        {"blank at the end of a folder", "[DIR]\nWORKINGDIR=/w/\n", "DIR", "WORKINGDIR", "/home/op/Ablage ",
         "[DIR]\nWORKINGDIR=\"/home/op/Ablage \"\n"},
        {"value in quotes", std::nullopt, "DIR", "WORKINGDIR", "'/w/'", "[DIR]\nWORKINGDIR=\"'/w/'\"\n"},
    };
    for (const WriteRow& row : rows) {
        fs::remove(m_ini);
        if (row.before)
            Store(*row.before);
        ASSERT_TRUE(profile::WriteString(row.section, row.key, row.value, m_ini)) << row.name;
        EXPECT_EQ(Load().value_or("<no file>"), row.after) << row.name;
        EXPECT_EQ(profile::ReadString(row.section, row.key, "<default>", m_ini), row.value) << row.name;
        EXPECT_EQ(FolderContents(), std::set<std::string>{"KorvenCtrl.ini"}) << row.name << ": temporary file left";
    }
}

TEST_F(ProfileFile, FailedWriteReturnsFalseAndLeavesEverythingAsItWas)
{
    const std::string original = "[CONNECTION]\nCOM=1\n";
    Store(original);
    fs::create_directory(m_dir / "sub");
    struct Row {
        std::string name;
        std::string path;
        std::string key;
        std::string value;
    };
    const std::vector<Row> rows = {
        {"missing folder", (m_dir / "nowhere" / "KorvenCtrl.ini").string(), "COM", "2"},
        {"path is a folder", (m_dir / "sub").string(), "COM", "2"},
        {"line end in the value", m_ini, "COM", "2\n[EVIL]"},
        {"equals sign in the key", m_ini, "CO=M", "2"},
        {"key that would read as a section", m_ini, "[COM", "2"},
        {"blank at the end of the key", m_ini, "COM ", "2"},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(profile::WriteString("CONNECTION", row.key, row.value, row.path)) << row.name;
        EXPECT_EQ(Load(), original) << row.name;
        EXPECT_EQ(FolderContents(), (std::set<std::string>{"KorvenCtrl.ini", "sub"})) << row.name;
        EXPECT_TRUE(fs::is_empty(m_dir / "sub")) << row.name;
    }
}

TEST_F(ProfileFile, SettingsFunctionsWriteAndReadBack)
{
    ASSERT_TRUE(WriteProfileString("CONNECTION", "COM", "5", m_ini));
    ASSERT_TRUE(WriteProfileString("DIR", "WORKINGDIR", "/home/op/", m_ini));
    EXPECT_EQ(ReadProfileInt("CONNECTION", "COM", 1, m_ini), 5);
    EXPECT_EQ(ReadProfileString("DIR", "WORKINGDIR", "", m_ini), "/home/op/");
    EXPECT_EQ(ReadProfileInt("DIR", "TEST", 0, m_ini), 0);
}

} // namespace
