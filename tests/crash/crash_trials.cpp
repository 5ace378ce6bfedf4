// Crash trials: a child process writes the settings file and a parameter file in
// a loop through the program's own write paths, and two more append entries to
// one commissioning record at once, as the window and korvenctl do; all three
// are killed with SIGKILL at a random moment. Afterwards each file must hold
// exactly its old or its new content, never a truncated or mixed one; the record
// must hold every entry its writers had reported (an append reports once it has
// returned, as the program then shows the outcome), each whole, and parse: a
// line that is not an entry is allowed only where a trial cut the record's last
// line as a power cut would, and the next append must end it so that no entry
// merges with it. Each change is two entries, its start and its outcome, and no
// outcome may stand without its start before it. Prints "N trials, K damaged
// files, E entries reported, M missing, O outcomes before their start, C last
// lines cut short ..." and fails when K, M or O is not 0, or when after any
// trial the record holds more lines that are no entry than were cut.
//
//   crash_trials N [FOLDER]   FOLDER defaults to a fresh folder in /dev/shm (or
//                             the temporary folder): a process crash leaves the
//                             same state on any file system.

#include "files/settings_file.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"
#include "record/commissioning_record.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A settings file as someone keeps it: the program's keys among comments and a
// port table, large enough that a write that is not atomic can be caught.
std::string InitialSettings()
{
    std::string text = "; KorvenCtrl, Schaltschrank 4\r\n[CONNECTION]\r\nCOM=2\r\n[DIR]\r\nWORKINGDIR=/srv/anlage\r\n"
                       "TEST=0\r\n[PORTS]\r\n";
    for (int i = 1; i <= 16; ++i)
        text += "COM" + std::to_string(i) + "=/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + std::to_string(i) +
                ":1.0-port0\r\n";
    text += "[PARAMS]\r\nMARGINTOP=1\r\nMARGINBOTTOM=1\r\nMARGINLEFT=1\r\n";
    for (int i = 0; i < 100; ++i)
        text += "; Wartung " + std::to_string(i) + ": Relais geprüft, Parameter unverändert übernommen.\r\n";
    return text;
}

// The two working folders the writer alternates between, of different lengths.
const std::array<std::string, 2> kFolders = {"/home/anna/Parameter/Umspannwerk Nord", "/media/usb/Sicherung"};

ParameterSet ParameterSetNumber(int which)
{
    ParameterSet set;
    set.INV = which;
    set.HYS = which == 0 ? "2.0" : "4.5";
    set.SVZ = which == 0 ? "1.5" : "99.9";
    set.UMI = which == 0 ? "-10.0" : "-25.0";
    set.UMM = which == 0 ? "-20.0" : "-35.0";
    set.UPL = which == 0 ? "10.0" : "5.0";
    set.UPP = which == 0 ? "15.0" : "35.0";
    set.SWB = which == 0 ? "100.0" : "150.0";
    return set;
}

// The program's write paths: a settings key, and the record of a parameter file.
void WriteSettings(const std::string& ini, int which)
{
    WriteProfileString("DIR", "WORKINGDIR", kFolders[static_cast<std::size_t>(which)], ini);
}

void SaveParameters(const std::string& par, int which)
{
    WriteParameterFile(par, ParameterSetNumber(which));
}

std::optional<std::string> Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What tells an entry of the trials apart: the change's name (in the file
// column) and its outcome, which is record::kStarted for the change's start.
std::string EntryName(const std::vector<std::string>& fields)
{
    return fields[kFileColumn] + " " + fields[kOutcomeColumn];
}

// Appends changes named by letter and a running number, as the program makes
// them: the change's start, then its outcome; reports each entry on report
// once its append has returned (the program then sends the change's first
// frame, or shows its outcome).
[[noreturn]] void AppendForever(const std::string& path, char letter, int first, int report)
{
    const CommissioningRecord record(path);
    RecordEntry entry;
    entry.action = record::kParametersWritten;
    entry.port = letter == 'A' ? "COM1" : "COM2";
    entry.before = ParameterSetNumber(0);
    entry.set = ParameterSetNumber(1);
    entry.outcome = "ok";
    for (int n = first;; ++n) {
        entry.file = letter + std::to_string(n);
        // Each shorter than PIPE_BUF: never mixed with the other's.
        const std::string started = entry.file + " " + record::kStarted + "\n", ended = entry.file + " ok\n";
        if (!record.AppendStart(entry))
            continue; // the change is not made
        if (write(report, started.data(), started.size()) < 0)
            std::_Exit(3);
        if (record.Append(entry) && write(report, ended.data(), ended.size()) < 0)
            std::_Exit(3);
    }
}

struct RecordCheck {
    bool headerWhole = false;
    std::set<std::string> entries; // names of the whole entries
    int damaged = 0;               // lines (and an unended last line) that are no entry
    int outOfOrder = 0;            // outcomes without their change's start before them
    std::size_t lastLineStart = 0; // where the last ended line begins
    std::size_t lastLineEnd = 0;   // where its line end begins
};

RecordCheck CheckRecord(const std::string& bytes)
{
    RecordCheck check;
    const std::string header = RecordHeader();
    check.headerWhole = bytes.compare(0, header.size(), header) == 0;
    std::size_t at = header.size();
    for (std::size_t end; at < bytes.size() && (end = bytes.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::size_t textEnd = end > at && bytes[end - 1] == '\r' ? end - 1 : end;
        const auto fields = ParseRecordLine(std::string_view(bytes).substr(at, textEnd - at));
        if (!fields || !check.entries.insert(EntryName(*fields)).second)
            ++check.damaged;
        else if ((*fields)[kOutcomeColumn] != record::kStarted &&
                 check.entries.count((*fields)[kFileColumn] + " " + record::kStarted) == 0)
            ++check.outOfOrder;
        check.lastLineStart = at;
        check.lastLineEnd = textEnd;
    }
    check.damaged += at < bytes.size() ? 1 : 0;
    return check;
}

[[noreturn]] void WriteForever(const std::string& ini, const std::string& par)
{
    for (int i = 0;; i ^= 1) {
        WriteSettings(ini, i);
        SaveParameters(par, i);
    }
}

fs::path FreshFolder(const char* given)
{
    if (given != nullptr) {
        fs::create_directories(given);
        return given;
    }
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "korven-crash-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return pattern;
}

} // namespace

int main(int argc, char** argv)
{
    const int trials = argc > 1 ? std::atoi(argv[1]) : 0;
    if (trials <= 0) {
        std::fprintf(stderr, "usage: crash_trials N [FOLDER]\n");
        return 2;
    }
    const fs::path folder = FreshFolder(argc > 2 ? argv[2] : nullptr);
    const std::string ini = (folder / "KorvenCtrl.ini").string();
    const std::string par = (folder / "anlage.par").string();
    const std::string recordPath = (folder / "protokoll.csv").string();

    // Every content a file may hold after a kill: as it was, or as either write leaves it.
    std::ofstream(ini, std::ios::binary | std::ios::trunc) << InitialSettings();
    const std::string scratch = (folder / "scratch.ini").string();
    std::set<std::string> goodSettings = {InitialSettings()};
    std::set<std::string> goodParameters;
    for (const int which : {0, 1}) {
        std::ofstream(scratch, std::ios::binary | std::ios::trunc) << InitialSettings();
        WriteSettings(scratch, which);
        goodSettings.insert(*Slurp(scratch));
        goodParameters.insert(FormatParameterRecord(ParameterSetNumber(which)));
    }
    fs::remove(scratch);

    std::mt19937 random(std::random_device{}());
    // Up to a few dozen writes before the kill, so that every phase of a write is hit.
    std::uniform_int_distribution<int> moment(0, 20000);
    int damaged = 0;
    bool parameterFileWritten = false; // from then on it must never be missing
    std::size_t reportedEntries = 0, missingEntries = 0;
    int damagedLines = 0, cuts = 0; // of the record as it now stands
    bool tooManyDamaged = false;
    int powerCuts = 0, killCuts = 0;
    int outOfOrder = 0;             // outcomes found without their change's start
    std::set<std::string> reported; // of the record as it now stands
    for (int trial = 0; trial < trials; ++trial) {
        int report[2];
        if (pipe(report) != 0) {
            std::perror("pipe");
            return 2;
        }
        std::vector<pid_t> children;
        for (int which = 0; which < 3; ++which) {
            const pid_t child = fork();
            if (child < 0) {
                std::perror("fork");
                return 2;
            }
            if (child == 0 && which == 0)
                WriteForever(ini, par);
            if (child == 0)
                AppendForever(recordPath, which == 1 ? 'A' : 'B', trial * 1000000, report[1]);
            children.push_back(child);
        }
        close(report[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        for (const pid_t child : children)
            kill(child, SIGKILL);
        for (const pid_t child : children)
            waitpid(child, nullptr, 0);
        std::string names;
        char buffer[4096];
        for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
            names.append(buffer, static_cast<std::size_t>(n));
        close(report[0]);
        for (std::size_t at = 0, end; (end = names.find('\n', at)) != std::string::npos;
             at = end + 1, ++reportedEntries)
            reported.insert(names.substr(at, end - at));

        std::string recordBytes = Slurp(recordPath).value_or("");
        RecordCheck check = CheckRecord(recordBytes);
        for (const std::string& name : reported)
            missingEntries += check.entries.count(name) == 0 ? 1 : 0;
        // The kill itself may cut the last line: a write is stopped between two
        // pages of the file when its process is killed.
        if (!recordBytes.empty() && recordBytes.back() != '\n') {
            ++cuts;
            ++killCuts;
        }
        damagedLines = check.damaged;
        tooManyDamaged = tooManyDamaged || check.damaged > cuts;
        outOfOrder += check.outOfOrder;
        // Now and then a power cut: the last line, where no writer had reported it, is cut short.
        const auto last = ParseRecordLine(
            std::string_view(recordBytes).substr(check.lastLineStart, check.lastLineEnd - check.lastLineStart));
        if (trial % 2 == 1 && last && reported.count(EntryName(*last)) == 0) {
            std::uniform_int_distribution<std::size_t> cut(check.lastLineStart + 1, check.lastLineEnd - 1);
            fs::resize_file(recordPath, cut(random));
            ++cuts;
            ++powerCuts;
        }
        // A record grown large starts anew, so that the trials stay quick.
        if (recordBytes.size() > 2 * 1024 * 1024) {
            fs::remove(recordPath);
            reported.clear();
            damagedLines = 0;
            cuts = 0;
        }
        if (!check.headerWhole && !recordBytes.empty())
            ++damaged;

        const bool iniGood = goodSettings.count(Slurp(ini).value_or("")) != 0;
        const std::optional<std::string> parameters = Slurp(par);
        const bool parGood = parameters ? goodParameters.count(*parameters) != 0 : !parameterFileWritten;
        parameterFileWritten = parameterFileWritten || (parameters && parGood);
        damaged += (iniGood ? 0 : 1) + (parGood ? 0 : 1);
        // A damaged file is put right, so that the next trial starts from a known state.
        if (!iniGood)
            std::ofstream(ini, std::ios::binary | std::ios::trunc) << InitialSettings();
        if (!parGood)
            fs::remove(par);
    }
    std::printf("%d trials, %d damaged files, %zu entries reported, %zu missing, %d outcomes before their start, "
                "%d last lines cut short and %d cut by the kill (the record now holds %d lines that are no entry, of "
                "%d cut)\n",
                trials, damaged, reportedEntries, missingEntries, outOfOrder, powerCuts, killCuts, damagedLines, cuts);
    if (argc <= 2)
        fs::remove_all(folder);
    return damaged == 0 && missingEntries == 0 && outOfOrder == 0 && !tooManyDamaged ? 0 : 1;
}
