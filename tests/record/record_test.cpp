// The commissioning record's file: its lines read back, the states a file may be
// found in (missing, cut off by a crash, half made, older columns, unwritable),
// two writers at once, and the digest of a firmware image.

#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <thread>

#include "files/append_file.h"
#include "files/utf8_path.h"
#include "firmware/sha256.h"
#include "record/commissioning_record.h"
#include "record/set_reference.h"
#include "tests/params/worked_example.h"

namespace {

namespace fs = std::filesystem;

// The syncs of the first append to a new file: its bytes, then its name in the
// folder; NTFS journals a new file's name itself.
#ifdef _WIN32
const std::vector<files::SyncOf> kNewFileSyncs{files::SyncOf::File};
#else
const std::vector<files::SyncOf> kNewFileSyncs{files::SyncOf::File, files::SyncOf::Folder};
#endif

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One folder a test: ctest runs them side by side.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_dir = fs::temp_directory_path() / PathFromUtf8("korven-record-Prüfung-" + test);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string PathOf(const std::string& name) const { return PathToUtf8(m_dir / PathFromUtf8(name)); }
    std::string Bytes(const std::string& name) const
    {
        std::ifstream in(m_dir / PathFromUtf8(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Put(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(m_dir / PathFromUtf8(name), std::ios::binary) << bytes;
    }

    fs::path m_dir;
};

RecordEntry WriteEntry()
{
    RecordEntry entry;
    entry.action = record::kParametersWritten;
    entry.outcome = "Übertragung der Daten ok.";
    entry.port = "COM3";
    entry.device = "/dev/ttyUSB0";
    entry.version = "V2.1 13.06.7";
    entry.before = kWorkedExampleSet;
    entry.set = kWorkedExampleSet;
    entry.set->SVZ = "99.9";
    entry.set->INV = 1;
    return entry;
}

TEST_F(RecordTest, AnEntryReadsBackFieldByField)
{
    RecordEntry entry = WriteEntry();
    entry.outcome = "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n- \"0V\"; nicht kalibriert";
    // Outside text that a spreadsheet would take for a formula, or that breaks a cell.
    entry.version = "=2+5*7\x1B[2J";
    entry.file = "\t@SUMME(1).par";
    entry.device = "-/dev/\"x\x7F";
    entry.port = "+relay"; // korvenctl's --port, a path
    std::vector<files::SyncOf> syncs;
    files::SetAppendMedium({[&syncs](files::SyncOf what, const std::function<bool()>& sync) {
                                syncs.push_back(what);
                                return sync();
                            },
                            {}});
    const CommissioningRecord record(PathOf("protokoll.csv"));
    const bool appended = record.Append(entry);
    files::SetAppendMedium({});
    ASSERT_TRUE(appended);
    EXPECT_EQ(syncs, kNewFileSyncs);

    const std::string bytes = Bytes("protokoll.csv");
    EXPECT_EQ(bytes.substr(0, RecordHeader().size()), RecordHeader());
    const std::string line = bytes.substr(RecordHeader().size());
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    EXPECT_NE(line.find(";'+relay;\"'-/dev/\"\"x \";'=2+5*7 [2J;"), std::string::npos) << line;
    EXPECT_NE(line.find(";' @SUMME(1).par;"), std::string::npos) << line;
    EXPECT_NE(line.find(";-10,0;-20,0;"), std::string::npos) << "negative values stay numbers: " << line;
    const auto fields = ParseRecordLine(line.substr(0, line.size() - 2));
    ASSERT_TRUE(fields);
    EXPECT_TRUE(std::regex_match((*fields)[kTimeColumn], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << (*fields)[kTimeColumn];
    EXPECT_EQ((*fields)[kVersionColumn], "=2+5*7 [2J");
    EXPECT_EQ((*fields)[kDeviceColumn], "-/dev/\"x ");
    EXPECT_EQ((*fields)[kOutcomeColumn], "Kalibrierung fehlgeschlagen! Mögliche Ursachen: - \"0V\"; nicht kalibriert");
    EXPECT_EQ((*fields)[kSetColumns], "100,0") << "a decimal comma";
    EXPECT_EQ(RecordedSet(*fields, kBeforeColumns), entry.before);
    EXPECT_EQ(RecordedSet(*fields, kSetColumns), entry.set);
    // A line cut anywhere, or changed in one byte, is not an entry.
    EXPECT_FALSE(ParseRecordLine(line.substr(0, line.size() - 3)));
    std::string changed = line.substr(0, line.size() - 2);
    changed[40] ^= 1;
    EXPECT_FALSE(ParseRecordLine(changed));
}

TEST_F(RecordTest, EveryStateOfTheFileTakesTheEntryWhole)
{
    const std::string header = RecordHeader();
    const std::string older = "\xEF\xBB\xBFZeit;Vorgang;Ergebnis\r\n2026-01-01T10:00:00;Kalibrierung 0V;OK\r\n";
    struct Row {
        const char* name;
        std::string before;  // the file's bytes before the append; empty: no file
        const char* written; // the file the entry lands in
        std::size_t damaged; // lines that are not entries, after the header
    };
    const Row rows[] = {
        {"missing file", "", "protokoll.csv", 0},
        {"cut off by a crash", header + RecordLine(WriteEntry(), WallClock::now()).substr(0, 70), "protokoll.csv", 1},
        {"header cut off", header.substr(0, 30), "protokoll.csv", 0},
        {"older columns", older, "protokoll-2.csv", 0},
    };
    for (const Row& row : rows) {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        if (!row.before.empty())
            Put("protokoll.csv", row.before);
        const CommissioningRecord record(PathOf("protokoll.csv"));
        EXPECT_TRUE(record.Writable()) << row.name;
        ASSERT_TRUE(record.Append(WriteEntry())) << row.name;
        EXPECT_EQ(record.FilePath(), PathOf(row.written)) << row.name;
        if (std::string(row.written) != "protokoll.csv") {
            EXPECT_EQ(Bytes("protokoll.csv"), row.before) << row.name << ": left as it was";
        }

        const std::string bytes = Bytes(row.written);
        ASSERT_EQ(bytes.substr(0, header.size()), header) << row.name;
        std::size_t whole = 0, damaged = 0;
        for (std::size_t at = header.size(); at < bytes.size();) {
            const std::size_t end = bytes.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << row.name << ": the last line is ended";
            (ParseRecordLine(std::string_view(bytes).substr(at, end - at)) ? whole : damaged) += 1;
            at = end + 2;
        }
        EXPECT_EQ(whole, 1u) << row.name;
        EXPECT_EQ(damaged, row.damaged) << row.name;
        const auto last = record.LastEntryWithSet("COM3");
        ASSERT_TRUE(last) << row.name;
        EXPECT_EQ(RecordedSet(*last, kSetColumns), WriteEntry().set) << row.name;
    }
}

// A change starts only once its entry is on the disk: a record that cannot take
// it refuses, and says why.
TEST_F(RecordTest, AFileThatCannotBeWrittenTakesNoChange)
{
    using namespace std::chrono_literals;
    struct Row {
        const char* name;
        std::string path;
        files::AppendMedium medium;
        std::chrono::milliseconds held; // the lock held by another program this long
        RecordProblem problem;          // None: the change starts
    };
    const auto failingSync = [](files::SyncOf, const std::function<bool()>&) { return false; };
    const auto fullDisk = [](const std::string&) { return std::optional<std::uintmax_t>(4096); };
    const Row rows[] = {
        {"missing folder", PathOf("fehlt/protokoll.csv"), {}, 0ms, RecordProblem::NoFolder},
        {"a folder", PathToUtf8(m_dir), {}, 0ms, RecordProblem::CannotWrite},
        {"a sync that fails", PathOf("protokoll.csv"), {failingSync, {}}, 0ms, RecordProblem::CannotWrite},
        {"a full disk", PathOf("protokoll.csv"), {{}, fullDisk}, 0ms, RecordProblem::NoRoom},
        {"an append beside it", PathOf("protokoll.csv"), {}, 300ms, RecordProblem::None},
        {"a writer stopped with the lock", PathOf("protokoll.csv"), {}, 5s, RecordProblem::InUse},
    };
    for (const Row& row : rows) {
        fs::remove(m_dir / "protokoll.csv");
        std::unique_ptr<files::LockedAppendFile> other;
        if (row.held > 0ms)
            other = files::LockedAppendFile::Open(row.path);
        std::promise<void> answered;
        std::thread release([&other, &row, answered = answered.get_future()] {
            answered.wait_for(row.held);
            other.reset();
        });
        files::SetAppendMedium(row.medium);
        const CommissioningRecord record(row.path);
        RecordProblem problem = RecordProblem::None;
        const auto start = std::chrono::steady_clock::now();
        const bool started = record.AppendStart(WriteEntry(), WallClock::now(), &problem);
        const auto waited = std::chrono::steady_clock::now() - start;
        files::SetAppendMedium({});
        answered.set_value();
        release.join();
        EXPECT_EQ(problem, row.problem) << row.name;
        EXPECT_EQ(started, row.problem == RecordProblem::None) << row.name;
        // It waits for the lock, and gives up within a few seconds.
        EXPECT_TRUE(row.held == 0ms || waited >= std::min<std::chrono::nanoseconds>(row.held, 1s) - 50ms) << row.name;
        EXPECT_LT(waited, 8s) << row.name;
        // A sync that fails may leave the line it could not get onto the disk.
        const auto entries = record.LastEntries(10);
        EXPECT_TRUE(row.medium.sync || entries.size() == (started ? 1u : 0u)) << row.name;
    }
}

// A change cut off after its start: whatever set the relay holds at the next
// contact is noted, the one the change was to send too.
TEST_F(RecordTest, TheSetFoundAfterAChangeWithoutOutcomeIsNoted)
{
    const CommissioningRecord record(PathOf("protokoll.csv"));
    ASSERT_TRUE(record.AppendStart(WriteEntry()));
    RecordEntry found = WriteEntry();
    found.action = record::kFound;
    ASSERT_TRUE(record.AppendFoundSet(found));
    EXPECT_EQ(record.LastEntries(5).size(), 2u);

    // The port's last set further back than the tail searched under the lock: noted again.
    RecordEntry other = WriteEntry();
    other.port = "COM1";
    std::string lines = Bytes("protokoll.csv");
    while (lines.size() < 2 * 1024 * 1024)
        lines += RecordLine(other, WallClock::now());
    Put("protokoll.csv", lines);
    ASSERT_TRUE(record.AppendFoundSet(found));
    EXPECT_EQ(record.LastEntries(1).at(0)[kPortColumn], "COM3");
}

// The set a port was commissioned with: the newest whole entry that wrote a set
// and was acknowledged; nothing damaged, unfinished or refused stands in for it.
TEST_F(RecordTest, TheReferenceIsTheNewestAcknowledgedWholeWrite)
{
    const RecordEntry older = WriteEntry(); // the reference where one is found
    const auto line = [](RecordEntry entry) { return RecordLine(entry, WallClock::now()); };
    ParameterSet newerSet = *older.set;
    newerSet.SWB = "230.0";
    const auto newer = [&](auto change) {
        RecordEntry entry = older;
        entry.set = newerSet;
        change(entry);
        return line(entry);
    };
    std::string badDigit = newer([](RecordEntry&) {});
    badDigit[30] ^= 1;
    std::string lines; // the port's entry before the tail searched under the lock
    while (lines.size() < 2 * 1024 * 1024)
        lines += newer([](RecordEntry& e) { e.port = "COM1"; });
    struct Row {
        const char* name;
        std::string record; // after the header; protokoll.csv
        std::string older;  // protokoll.csv with other columns, the record beside it; empty: none
        std::optional<ParameterSet> found;
    };
    const Row rows[] = {
        {"whole", line(older), "", older.set},
        {"restored", line(older) + newer([](RecordEntry& e) { e.action = record::kParametersRestored; }), "", newerSet},
        {"cut off", line(older) + newer([](RecordEntry&) {}).substr(0, 150), "", older.set},
        {"bad check digit", line(older) + badDigit, "", older.set},
        {"begun without outcome", line(older) + newer([](RecordEntry& e) { e.outcome = record::kStarted; }), "",
         older.set},
        {"refused",
         line(older) + newer([](RecordEntry& e) { e.outcome = "Die Daten konnten nicht übertragen werden!"; }), "",
         older.set},
        {"a set found", line(older) + newer([](RecordEntry& e) { e.action = record::kFound; }), "", older.set},
        {"other ports", line(older) + newer([](RecordEntry& e) { e.port = "COM31"; }), "", older.set},
        {"never written", newer([](RecordEntry& e) { e.port = "COM1"; }), "", std::nullopt},
        {"other columns", line(older), "\xEF\xBB\xBFZeit;Vorgang\r\n" + newer([](RecordEntry&) {}), older.set},
        {"long ago", line(older) + lines, "", older.set},
    };
    for (const Row& row : rows) {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        Put(row.older.empty() ? "protokoll.csv" : "protokoll-2.csv", RecordHeader() + row.record);
        if (!row.older.empty())
            Put("protokoll.csv", row.older);
        bool readable = false;
        const auto entry = CommissioningRecord(PathOf("protokoll.csv")).CommissionedEntry("COM3", &readable);
        EXPECT_TRUE(readable) << row.name;
        EXPECT_EQ(entry ? RecordedSet(*entry, kSetColumns) : std::nullopt, row.found) << row.name;
    }
}

// The relay against its reference: values compared as the program shows them,
// a version only where the reference noted one.
TEST(SetComparisonTest, DiffersWhereTheShownValuesDo)
{
    struct Row {
        const char* name;
        ParameterSet relay;
        std::string referenceVersion;
        std::vector<std::string> differing; // keys
        bool versionDiffers;
    };
    ParameterSet otherForm = kWorkedExampleSet;
    otherForm.SWB = "100.00";
    otherForm.INV = 0;
    ParameterSet changed = kWorkedExampleSet;
    changed.SWB = "110.0";
    changed.INV = 1;
    const Row rows[] = {
        {"the same in another form", otherForm, "V2.1", {}, false},
        {"a value and the flag", changed, "", {"SWB", "INV"}, false},
        {"another version", kWorkedExampleSet, "V2.0", {}, true},
    };
    for (const Row& row : rows) {
        const SetReference reference{kWorkedExampleSet, "anlage.par", "", "", row.referenceVersion};
        const SetComparison comparison = CompareWithReference(row.relay, "V2.1", reference);
        std::vector<std::string> differing;
        for (const ComparedParameter& parameter : comparison.parameters) {
            if (parameter.differs)
                differing.push_back(parameter.key);
        }
        EXPECT_EQ(differing, row.differing) << row.name;
        EXPECT_EQ(comparison.SetDiffers(), !row.differing.empty()) << row.name;
        EXPECT_EQ(comparison.versionDiffers, row.versionDiffers) << row.name;
    }
    // The preview's lines, each one that differs marked.
    const SetComparison comparison = CompareWithReference(changed, "V2.1", {kWorkedExampleSet, "", "", "", ""});
    EXPECT_EQ(ComparisonText(comparison, "Datei"), "                  KORVEN       Datei\r\n"
                                                   "--------------------------------------\r\n"
                                                   "Sollwertbezug     110.0        100.0  *\r\n"
                                                   "U>                 10.0         10.0\r\n"
                                                   "U>>                15.0         15.0\r\n"
                                                   "U<                -10.0        -10.0\r\n"
                                                   "U<<               -20.0        -20.0\r\n"
                                                   "Schaltverz.         1.5          1.5\r\n"
                                                   "Hysterese           2.0          2.0\r\n"
                                                   "Invertieren          ja         nein  *\r\n");
}

TEST(RecordListTest, AChangeWithoutOutcomeShowsAsSuch)
{
    const auto entry = [](const char* port, const char* action, const char* outcome) {
        std::vector<std::string> fields(kRecordColumns);
        fields[kTimeColumn] = "2026-12-09T07:59:03+01:00";
        fields[kPortColumn] = port;
        fields[kActionColumn] = action;
        fields[kOutcomeColumn] = outcome;
        return fields;
    };
    // Newest first: COM1's write has its outcome; COM2's calibration was cut off
    // by a crash, and the program found the set on its next contact.
    EXPECT_EQ(
        RecordListText({entry("COM1", record::kParametersWritten, "Übertragung der Daten ok."),
                        entry("COM2", record::kFound, ""), entry("COM1", record::kParametersWritten, record::kStarted),
                        entry("COM2", record::kCalibrated0V, record::kStarted)}),
        "2026-12-09 07:59:03  COM1  Parameter geschrieben: Übertragung der Daten ok.\r\n"
        "2026-12-09 07:59:03  COM2  Vorgefunden\r\n"
        "2026-12-09 07:59:03  COM2  Kalibrierung 0V: begonnen, kein Ergebnis verzeichnet\r\n");
}

// The window and korvenctl at once: no line mixes with another.
TEST_F(RecordTest, TwoWritersAtOnceNeverMixTheirLines)
{
    constexpr int kEach = 200;
    const auto writer = [this](const std::string& port) {
        const CommissioningRecord record(PathOf("protokoll.csv"));
        RecordEntry entry = WriteEntry();
        entry.port = port;
        for (int i = 0; i < kEach; ++i) {
            entry.outcome = std::to_string(i);
            ASSERT_TRUE(record.Append(entry));
        }
    };
    // A third finds the same set on COM3 again and again: it reads beside the
    // writers (through its lock: on Windows the writers' locks keep out every
    // other reader), and notes it once.
    const auto finder = [this] {
        const CommissioningRecord record(PathOf("protokoll.csv"));
        RecordEntry found = WriteEntry();
        found.action = record::kFound;
        found.port = "COM3";
        for (int i = 0; i < kEach / 4; ++i)
            ASSERT_TRUE(record.AppendFoundSet(found));
    };
    std::thread window(writer, "COM1");
    std::thread korvenctl(writer, "COM2");
    std::thread contact(finder);
    window.join();
    korvenctl.join();
    contact.join();

    const auto entries = CommissioningRecord(PathOf("protokoll.csv")).LastEntries(3 * kEach);
    ASSERT_EQ(entries.size(), 2u * kEach + 1);
    int next[3] = {kEach - 1, kEach - 1, 0}; // newest first, each writer's in its order
    for (const auto& fields : entries) {
        int& expected = next[fields[kPortColumn] == "COM1" ? 0 : fields[kPortColumn] == "COM2" ? 1 : 2];
        EXPECT_EQ(fields[kOutcomeColumn],
                  fields[kPortColumn] == "COM3" ? WriteEntry().outcome : std::to_string(expected--));
    }
}

TEST(Sha256Test, KnownDigests)
{
    const std::pair<std::string, const char*> rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [bytes, digest] : rows)
        EXPECT_EQ(Sha256Hex(bytes), digest) << bytes.size() << " bytes";
}

} // namespace
