// Crash trials: a child process writes the settings file and a parameter file in
// a loop through the program's own write paths and is killed with SIGKILL at a
// random moment; afterwards each file must hold exactly its old or its new
// content, never a truncated or mixed one. Prints "N trials, K damaged files"
// and fails when K is not 0.
//
//   crash_trials N [FOLDER]   FOLDER defaults to a fresh folder in /dev/shm (or
//                             the temporary folder): a process crash leaves the
//                             same state on any file system.

#include "files/settings_file.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"

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
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
    for (int trial = 0; trial < trials; ++trial) {
        const pid_t child = fork();
        if (child < 0) {
            std::perror("fork");
            return 2;
        }
        if (child == 0)
            WriteForever(ini, par);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

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
    std::printf("%d trials, %d damaged files\n", trials, damaged);
    if (argc <= 2)
        fs::remove_all(folder);
    return damaged == 0 ? 0 : 1;
}
