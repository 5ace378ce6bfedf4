// korvenctl run in-process against korven-sim on a pseudo-terminal: each
// command's output and exit code in the good case and with the faults that
// concern it (the program itself where its standard output is closed). With
// KORVEN_WINE_KORVENCTL naming a korvenctl.exe, the tables run that under Wine,
// its COM1 mapped to the relay linked at $WINEPREFIX/korven-com1 (scripts/check-installer).

#include "cli/korvenctl.h"
#include "cli/session.h"
#include "files/append_file.h"
#include "firmware/hex_image.h"
#include "firmware/sha256.h"
#include "link/port_search.h"
#include "port/port_list_posix.h"
#include "port/serial_port.h"
#include "port/uucp_lock.h"
#include "record/commissioning_record.h"
#include "sim/device_server.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Faults = std::function<void(SimOptions&)>;

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
    std::string raw; // standard output byte for byte, line ends as written
};

class KorvenctlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_sim.Start(&error)) << error;
        char pattern[] = "/tmp/korvenctl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ASSERT_TRUE(m_wineProgram.empty() || m_sim.MakeLink(std::getenv("WINEPREFIX") + std::string("/korven-com1")));
        // In-process the ports are those of the --ini file alone: no device of this machine is touched.
        SetPortLister([this] { return ScanPosixPorts(m_dir / "no-root"); });
    }
    void TearDown() override
    {
        SetPortLister({});
        fs::remove_all(m_dir);
    }

    // "$P" stands for "--port <the relay's device>", "$D" for the test's folder, "$S" for the relay's device.
    std::string Expand(std::string text) const
    {
        for (const auto& [name, value] : {std::pair<std::string, std::string>{
                                              "$P", "--port " + (m_wineProgram.empty() ? m_sim.DevicePath() : "COM1")},
                                          {"$R", "--record $D/protokoll.csv"},
                                          {"$D", m_dir.string()},
                                          {"$S", m_sim.DevicePath()}}) {
            for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
                text.replace(at, name.size(), value);
        }
        return text;
    }

    // Runs korvenctl with the blank-separated arguments of line, expanded; the
    // program itself with the standard descriptor closed (1 or 2), where one is.
    Outcome Run(const std::string& line, Faults faults = nullptr, const cli::CancelToken* interrupted = nullptr,
                int closed = 0)
    {
        m_sim.Update([&](SimOptions& o) {
            o = SimOptions{};
            if (faults)
                faults(o);
        });
        m_sim.ClearReceivedFrames();
        std::istringstream words(Expand(line));
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        // A file, which the test can read while korvenctl still writes it.
        std::ofstream out(m_dir / "out", std::ios::binary);
        std::ostringstream err;
        struct : std::streambuf {
        } full; // takes no byte, as a full disk or a closed pipe
        std::ostream fullOut(&full);
        if (!m_wineProgram.empty() || closed != 0 || m_signal != 0)
            return RunProgram(args, closed);
        const int code = cli::Run(args, cli::Console{m_outputFails ? fullOut : out, err, false, interrupted});
        out.close();
        return {code, FileBytes("out"), err.str(), FileBytes("out")};
    }

    // Runs the korvenctl.exe of KORVEN_WINE_KORVENCTL under Wine, or this build's
    // korvenctl with a standard descriptor closed, or to be sent m_signal.
    Outcome RunProgram(std::vector<std::string> args, int closed)
    {
        std::vector<char*> argv{const_cast<char*>("wine"), m_wineProgram.data()};
        if (closed != 0 || (m_signal != 0 && m_wineProgram.empty()))
            argv = {const_cast<char*>(KORVENCTL_PROGRAM)};
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string out = m_outputFails ? "/dev/full" : (m_dir / "out").string(), err = m_dir / "err";
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        for (const int fd : {1, 2}) {
            if (fd == closed)
                posix_spawn_file_actions_addclose(&files, fd);
            else
                posix_spawn_file_actions_addopen(&files, fd, (fd == 1 ? out : err).c_str(),
                                                 O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        pid_t pid = 0;
        int status = -1;
        if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0) {
            m_child = pid;
            waitpid(pid, &status, 0);
            m_child = 0;
        }
        posix_spawn_file_actions_destroy(&files);
        const std::string written = closed == 1 ? "" : FileBytes("out");
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, cli::UnixLines(written), cli::UnixLines(FileBytes("err")),
                written};
    }

    // Standard output as far as korvenctl has written it, in lines.
    std::vector<std::string> LinesSoFar() const
    {
        std::vector<std::string> lines;
        std::istringstream in(cli::UnixLines(FileBytes("out")));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // Ctrl+C: the token in-process, m_signal or SIGINT (for Wine: the console's Ctrl+C) to the program.
    void Interrupt(cli::CancelToken& token)
    {
        token = cli::kExitInterrupted;
        if (m_child != 0)
            kill(m_child, m_signal != 0 ? m_signal : SIGINT);
    }

    std::vector<std::string> FramesStartingWith(const std::string& text) const
    {
        std::vector<std::string> found;
        for (const std::string& frame : m_sim.ReceivedFrames()) {
            if (frame.compare(1, text.size(), text) == 0)
                found.push_back(frame);
        }
        return found;
    }

    // The record's entries of $R, newest first.
    std::vector<std::vector<std::string>> RecordEntries() const
    {
        return CommissioningRecord((m_dir / "protokoll.csv").string()).LastEntries(20);
    }

    std::string FileBytes(const std::string& name) const
    {
        std::ifstream in(m_dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    KorvenSim m_sim;
    fs::path m_dir;
    std::string m_wineProgram = std::getenv("KORVEN_WINE_KORVENCTL") ? std::getenv("KORVEN_WINE_KORVENCTL") : "";
    std::atomic<pid_t> m_child = 0;
    bool m_outputFails = false;
    int m_signal = 0; // a signal that Interrupt sends to this build's korvenctl, run as a program
};

TEST_F(KorvenctlTest, CommandsAgainstTheRelayAndItsFaults)
{
    struct Row {
        const char* args;
        Faults faults;
        int code;
        std::string out;       // expected within standard output
        std::string err;       // expected within standard error, which is empty where this is
        std::string spar = ""; // the SPAR frame the relay received, empty for none
        bool outputFails = false;
        const char* csv = nullptr;     // a pattern that the whole raw standard output matches
        const char* version = nullptr; // the relay's version text, where not its usual one
        enum { Plain, ClosedOutput, ClosedError, FullDisk, LinuxOnly } run = Plain;
    };
    // The byte-order mark, the header, then "local time;value" lines, each ending in CR LF.
    const std::string csvHeader = "\xEF\xBB\xBFZeit;Messwert \\[V\\]\r\n";
    const std::string csvTime = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d;";
    const std::string twoReadings = csvHeader + "(" + csvTime + "\\d+,\\d+\r\n){2}";
    const std::string noAnswer = csvHeader + csvTime + "\r\n";
    const auto silent = [](SimOptions& o) { o.silent = true; };
    const std::string sparSwb120 = "\x02SPAR:HYS2.0;SWB120.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;26\x03";
    const Row rows[] = {
        {"$P read", nullptr, 0, "SVZ  Schaltverzögerung [s]          1.0\n", ""},
        {"read --format=json $P", nullptr, 0,
         "  \"VER\": \"V2.1 13.06.7\",\n  \"KAL\": 10.0,\n  \"K0V\": \"0x200\"\n}\n", ""},
        {"$P read --format par", nullptr, 0, "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;\n",
         ""},
        {"$P read", silent, 1, "", "Die Daten konnten nicht übertragen werden!\n"},
        // A version text that would clear the screen and break the line.
        {"$P read", nullptr, 0, "VER  Version               ?[2J?V9?=2+5\n", "", "", false, nullptr,
         "\x1B[2J\rV9\n=2+5"},
        {"$P read --format xml", nullptr, 2, "", "unknown format: xml"},
        {"$P live --count 2", [](SimOptions& o) { o.value = "230.4"; }, 0, "  230.4\n", ""},
        {"$P live --count 1", [](SimOptions& o) { o.echo = true; }, 1, "  --------\n", ""},
        {"$P live --csv --count 2", nullptr, 0, "", "", "", false, twoReadings.c_str()},
        {"$P live --count=1 --csv", silent, 1, "", "", "", false, noAnswer.c_str()},
        // The adapter is not there: each reading tries it again; never opened, it is a port that could not be.
        {"--port $D/none live --count 1", nullptr, 3, "  --------\n",
         "Kann Schnittstelle $D/none nicht öffnen\n$D/none ist nicht vorhanden"},
        // The worked example: the frame button 1009 sends for this set, byte for byte.
        {"$P write --set HYS=2 swb=100 UPL=10 UPP=20 UMI=-10 UMM=-20 INV=0 SVZ=1.5", nullptr, 0,
         "Übertragung der Daten ok.\n", "",
         "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;21\x03"},
        {"$P write --set=SVZ=3", [](SimOptions& o) { o.nak = {"SPAR"}; }, 1, "",
         "Die Daten konnten nicht übertragen werden!\n",
         "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ3.0;26\x03"},
        {"$P write --set UMI=10.5", nullptr, 2, "",
         "U< nicht im Bereich -25% ... +10%\n\nDaten werden nicht an KORVEN übertragen!\n"},
        {"$P write --set HYS=3 --dry-run", nullptr, 0,
         "<STX>SPAR:HYS3.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;25<ETX>\n", ""},
        {"$P write --set HYS=2,5", nullptr, 2, "", "not a value for HYS: '2,5'"},
        {"$P write $D/none.par", nullptr, 2, "", "File $D/none.par kann nicht gelesen werden\n"},
        {"$P write $D/empty.par", nullptr, 2, "", "$D/empty.par holds no parameters\n"},
        {"$P write $D/empty.par --set HYS=2", nullptr, 2, "", "give either a .par file or --set"},
        {"$P save $D/a.par", silent, 1, "", "Die Daten konnten nicht übertragen werden!\n"},
        {"$P save $D/missing/a", nullptr, 2, "", "File $D/missing/a.par kann nicht geschrieben werden\n"},
        {"$P save $D/full.par", nullptr, 4, "", "File $D/full.par kann nicht geschrieben werden\n", "", false, nullptr,
         nullptr, Row::FullDisk},
        {"$P calibrate 0", nullptr, 0, "Kalibrierung 0V OK!\n", ""},
        {"$P calibrate 100", [](SimOptions& o) { o.nak = {"K100"}; }, 1, "",
         "Kalibrierung fehlgeschlagen!\n\nMögliche Ursachen:\n- 0V nicht kalibriert\n"},
        {"$P calibrate 0", [](SimOptions& o) { o.extraByte = true; }, 1, "", "unexpected answer to KAL0: 06 00\n"},
        {"$P test-com3", nullptr, 0, "Test COM3 OK!\n", ""},
        {"$P frob", nullptr, 2, "", "unknown command: frob"},
        {"read", nullptr, 2, "", "no port given"},
        {"--port /dev/null read", nullptr, 3, "", "Kann Schnittstelle /dev/null nicht öffnen"},
        {"--ini $D/KorvenCtrl.ini --port com1 read", nullptr, 0, "HYS  Hysterese [%]                  2.0\n", ""},
        // The test's folder is the current one: its file names COM99, which has no device.
        {"--ini KorvenCtrl.ini read", nullptr, 3, "", "Kann Schnittstelle COM99 nicht öffnen"},
        {"$P --ini $D/none.ini read", nullptr, 2, "", "File $D/none.ini kann nicht gelesen werden\n"},
        {"--ini $D/abc.ini read", nullptr, 2, "",
         "korvenctl: [CONNECTION] COM in $D/abc.ini is not a port number: 'abc'\n"},
        {"$P --trace $D/missing/trace read", nullptr, 2, "", "File $D/missing/trace kann nicht geschrieben werden"},
        {"$P --trace /dev/full read", nullptr, 4, "HYS  Hysterese", "File /dev/full kann nicht geschrieben werden\n",
         "", false, nullptr, nullptr, Row::LinuxOnly},
        {"$P --trace /dev/full read", silent, 1, "", "Die Daten konnten nicht übertragen werden!\n", "", false, nullptr,
         nullptr, Row::LinuxOnly},
        // No file may take the place of a closed standard error: the message is lost, the trace keeps its own.
        {"--trace $D/trace --port $D/none read", nullptr, 3, "", "", "", false, nullptr, nullptr, Row::ClosedError},
        // Each row finds the relay's usual set again: to the record of this write, SWB differs from then on.
        {"$P $R write --set SWB=120", nullptr, 0, "", "", sparSwb120},
        {"$P $R compare", nullptr, 5,
         "SWB  Sollwertbezug [V]       relay 100.0, reference 120.0\n"
         "VER  Version                 relay V3.0, reference V2.1 13.06.7\n",
         "", "", false, nullptr, "V3.0"},
        // The relay's version text is its bytes, each of 0x80 and above a Latin-1 character.
        {"$P $R compare --format json", nullptr, 5,
         "  \"differences\": {\n    \"SWB\": {\"relay\": 100.0, \"reference\": 120.0}\n  },\n"
         "  \"version\": {\"relay\": \"V3\\u00c3\\u00a9 ",
         "", "", false, nullptr, "V3\xC3\xA9"},
        {"$P $R restore", nullptr, 0, "restored SWB from the record's entry of ", "", sparSwb120},
        {"$P $R restore", [](SimOptions& o) { o.nak = {"SPAR"}; }, 1, "",
         "Die Daten konnten nicht übertragen werden!\n", sparSwb120},
        {"$P --record $D/other.csv compare", nullptr, 2, "", "kein bestätigter Parametersatz verzeichnet.\n"},
        {"$P --record $D compare", nullptr, 2, "", "kann nicht gelesen werden"},
        {"$P compare", nullptr, 2, "", "no commissioning record"},
        {"$P compare --against $D/none.par", nullptr, 2, "", "File $D/none.par kann nicht gelesen werden\n"},
        {"$P restore --against $D/same.par", nullptr, 0, "holds its reference, same.par: nothing written\n", ""},
        {"$P restore --against $D/bad.par", nullptr, 2, "", "U< nicht im Bereich"},
        {"write --help", nullptr, 0, "Usage: korvenctl [--port COMn|PATH|URL|auto|all]... write", ""},
        {"$P read", nullptr, 4, "", "korvenctl: the output could not be written\n", "", true},
        // No port may take the place of a closed standard output.
        {"$P read", nullptr, 4, "", "korvenctl: the output could not be written\n", "", true, nullptr, nullptr,
         Row::ClosedOutput},
        // A reader gone away ends the readings at once.
        {"$P live --count 3", nullptr, 4, "", "korvenctl: the output could not be written\n", "", true},
    };
    std::ofstream(m_dir / "KorvenCtrl.ini") << "[PORTS]\nCOM1=" << m_sim.DevicePath() << "\n[CONNECTION]\nCOM=99\n";
    std::ofstream(m_dir / "empty.par") << "\x02SPAR:nothing here";
    std::ofstream(m_dir / "abc.ini") << "[CONNECTION]\nCOM=abc\n";
    // What the file does not give is the relay's.
    std::ofstream(m_dir / "same.par") << "\x02SPAR:SWB100.0;UMI-10.0;";
    std::ofstream(m_dir / "bad.par") << "\x02SPAR:UMI10.5;";
    const fs::path previous = fs::current_path();
    fs::current_path(m_dir);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        if (row.run != Row::Plain && !m_wineProgram.empty())
            continue; // Windows has no descriptors to be closed, no /dev/full, and Wine writes files of its own
        RelayParameters relay;
        relay.VER = row.version != nullptr ? row.version : relay.VER;
        m_sim.SetParameters(relay);
        m_outputFails = row.outputFails && row.run != Row::ClosedOutput;
        // A full disk: no file may grow beyond 16 bytes for the run.
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{16, limit.rlim_max};
        const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
        if (row.run == Row::FullDisk)
            setrlimit(RLIMIT_FSIZE, &full);
        const Outcome outcome = Run(row.args, row.faults, nullptr,
                                    row.run == Row::ClosedOutput  ? 1
                                    : row.run == Row::ClosedError ? 2
                                                                  : 0);
        EXPECT_EQ(FileBytes("trace").find("Schnittstelle"), std::string::npos);
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, previousSignal);
        EXPECT_TRUE(!row.outputFails || m_sim.ReceivedFrames().size() == 1);
        EXPECT_EQ(outcome.code, row.code) << outcome.err;
        EXPECT_NE(outcome.out.find(Expand(row.out)), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(Expand(row.err)), std::string::npos) << outcome.err;
        EXPECT_EQ(row.err.empty(), outcome.err.empty()) << outcome.err;
        EXPECT_TRUE(row.csv == nullptr || std::regex_match(outcome.raw, std::regex(row.csv))) << outcome.raw;
        EXPECT_EQ(FramesStartingWith("SPAR"),
                  row.spar.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.spar});
    }
    fs::current_path(previous);
}

TEST_F(KorvenctlTest, PortsListsTheCandidatesAndAutoTakesTheFirstRelay)
{
    struct Row {
        const char* args;
        Faults faults;
        int code;
        std::string out;
        std::string err;
        bool underWine = false; // the Windows list holds the machine's own ports: only COM1's relay is asked
        bool bluetooth = false; // the list says COM1 is a Bluetooth port that is out of reach: never opened
        const char* version = "V2.1 13.06.7"; // the relay's version text
    };
    const auto silent = [](SimOptions& o) { o.silent = true; };
    const Row rows[] = {
        {"--ini $D/KorvenCtrl.ini ports", nullptr, 0, "COM1  $S  -  present\n", ""},
        // The relay's version text shown as a terminal may show it.
        {"ports --probe --ini $D/KorvenCtrl.ini", nullptr, 0, "COM1  $S  -  present  relay ?[2J?V9?=2+5\n", "", false,
         false, "\x1B[2J\rV9\n=2+5"},
        {"--ini $D/KorvenCtrl.ini ports --probe", silent, 1, "COM1  $S  -  present  no relay\n", ""},
        {"--ini $D/KorvenCtrl.ini --port auto read", nullptr, 0, "VER  Version               V2.1 13.06.7\n",
         "korvenctl: relay found at COM1", true},
        {"--ini $D/KorvenCtrl.ini --port auto live --count 1", silent, 3, "",
         "Kein Gerät gefunden!\nCOM1 ($S): keine Antwort\n"},
        {"--port $S ports", nullptr, 0, "$S  $S  -  present\n", ""},
        {"--ini $D/KorvenCtrl.ini ports --probe", nullptr, 1, "COM1  $S  -  Bluetooth, not searched\n", "", false,
         true},
        {"--ini $D/KorvenCtrl.ini --port auto read", nullptr, 3, "",
         "Kein Gerät gefunden!\n" + std::string(kNoSerialPortText) + "\n", false, true},
    };
    std::ofstream(m_dir / "KorvenCtrl.ini") << "[PORTS]\nCOM1=" << m_sim.DevicePath() << "\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        if (!m_wineProgram.empty() && !row.underWine)
            continue;
        RelayParameters relay;
        relay.VER = row.version;
        m_sim.SetParameters(relay);
        SetPortLister([this, &row] {
            std::vector<PortCandidate> ports = ScanPosixPorts(m_dir / "no-root");
            for (PortCandidate& port : ports) {
                port.bluetooth = row.bluetooth;
                if (row.bluetooth)
                    port.device = (m_dir / "out-of-reach").string(); // an open would tell
            }
            return ports;
        });
        const Outcome outcome = Run(row.args, row.faults);
        EXPECT_TRUE(!row.bluetooth || m_sim.ReceivedFrames().empty());
        EXPECT_EQ(outcome.code, row.code) << outcome.err;
        EXPECT_NE(outcome.out.find(Expand(row.out)), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(Expand(row.err)), std::string::npos) << outcome.err;
        EXPECT_EQ(row.err.empty(), outcome.err.empty()) << outcome.err;
    }
}

TEST_F(KorvenctlTest, SaveWritesTheProgramsRecordAndWriteSendsItBack)
{
    RelayParameters workedExample;
    workedExample.UPP = 15.0;
    workedExample.UMM = -20.0;
    workedExample.SVZ = 1.5;
    m_sim.SetParameters(workedExample);
    const Outcome saved = Run("$P save $D/anlage");
    EXPECT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(saved.out, Expand("$D/anlage.par\n"));
    const std::string record = "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";
    EXPECT_EQ(FileBytes("anlage.par"), record);

    // A relay whose set fails the checks is not saved: the file stays as it was.
    RelayParameters outOfRange;
    outOfRange.SWB = 200.0;
    m_sim.SetParameters(outOfRange);
    const Outcome refused = Run("$P save $D/anlage.par");
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.err, "Sollwertbezug nicht im Bereich 50 ... 150V\n\nDaten werden nicht gespeichert!\n");
    EXPECT_EQ(FileBytes("anlage.par"), record);

    m_sim.SetParameters(RelayParameters{});
    EXPECT_EQ(Run("$P write $D/anlage.par").code, 0);
    EXPECT_EQ(m_sim.Parameters(), workedExample);
}

TEST_F(KorvenctlTest, FlashSendsTheProgramsFramesAndStopsWhereAsked)
{
    // Selects the first 64 KB and stores one word of 0xFF: an image of all 0xFF.
    std::ofstream(m_dir / "blank.hex") << ":020000040000FA\n:04000000FFFFFFFF00\n:00000001FF\n";
    // Stores nothing: its image would erase the relay's firmware.
    std::ofstream(m_dir / "empty.hex") << ":020000040000FA\n:00000001FF\n";
    std::ofstream(m_dir / "bad.hex") << ":020000040000FA\nnot a record\n";
    const std::string allF(192, 'F');
    constexpr std::size_t kNever = -1;
    struct Row {
        const char* args;
        Faults faults;
        std::size_t interruptAt; // Ctrl+C once this many frames are out, before the start at 0, never at -1
        int code;
        std::string out;
        std::string err;
        std::size_t frames;        // received by the relay
        std::string recorded = ""; // the record's outcome of the run, its start; empty: no entry
        int signal = 0;            // sent to korvenctl run as a program, instead of Ctrl+C in-process
    };
    const Row rows[] = {
        {"$P $R flash $D/blank.hex", nullptr, kNever, 0, "Verify Adresse 7680 (100%)\nVerify ok!\n", "", 484,
         "Verify ok!"},
        {"$P $R flash $D/blank.hex", [](SimOptions& o) { o.nak = {"V5"}; }, kNever, 1,
         "Programmiere Adresse 7680 (100%)\n", "Verify Adresse 192 --> Fehler!\n", 1 + 1 + 240 + 1 + 6,
         "Verify Adresse 192 --> Fehler!"},
        {"$P $R flash $D/blank.hex", [](SimOptions& o) { o.silent = true; }, kNever, 1, "",
         "Keine Verbindung zum Gerät!\n", 2},
        {"$P $R flash $D/bad.hex", nullptr, kNever, 2, "", "Das File ist kein gültiges HEX-File!\n", 0},
        {"$P $R flash $D/empty.hex", nullptr, kNever, 2, "", std::string(kHexNoData) + "\n", 0},
        {"$P $R flash $D/blank.hex", nullptr, 12, 130, "", "korvenctl: stopped by Ctrl+C after Programmiere Adresse ",
         0, "abgebrochen nach \"Programmiere Adresse "},
        // A service stop: as Ctrl+C, the outcome noted, the port's lock files removed.
        {"$P $R flash $D/blank.hex", nullptr, 12, 143, "", "korvenctl: stopped by SIGTERM after Programmiere Adresse ",
         0, "abgebrochen nach \"Programmiere Adresse ", SIGTERM},
        {"$P $R flash $D/blank.hex", nullptr, 0, 130, "", "before the update began: nothing was sent", 0},
        // In the pause between the passes (or at the last block: the same for the relay).
        {"$P $R flash $D/blank.hex", nullptr, 242, 130, "",
         "between the passes: all 240 blocks were sent, only the verify is missing", 242,
         "abgebrochen zwischen Programmierung und Verify"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.err);
        if ((row.interruptAt == 0 || row.signal != 0) && !m_wineProgram.empty())
            continue; // a signal cannot be timed to come before korvenctl.exe loads its file, nor be other than Ctrl+C
        cli::CancelToken interrupted = row.interruptAt == 0 ? cli::kExitInterrupted : 0;
        m_sim.ClearReceivedFrames(); // the presser counts this run's frames, not the last one's
        std::thread presser([&] {
            if (row.interruptAt != kNever && m_sim.WaitForFrames(row.interruptAt, std::chrono::seconds(30)))
                Interrupt(interrupted);
        });
        fs::remove(m_dir / "protokoll.csv");
        m_signal = m_wineProgram.empty() ? row.signal : 0;
        const Outcome outcome = Run(row.args, row.faults, &interrupted);
        m_signal = 0;
        presser.join();
        for (const char* folder : {"/run/lock", "/var/lock"}) {
            for (const std::string& name : uucp::LockNames(m_sim.DevicePath()))
                EXPECT_FALSE(fs::exists(fs::path(folder) / name)) << name;
        }
        EXPECT_EQ(outcome.code, row.code) << outcome.err;
        EXPECT_NE(outcome.out.find(row.out), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(row.err), std::string::npos) << outcome.err;
        const auto entries = RecordEntries();
        const bool updated = !entries.empty() && entries[0][kActionColumn] == record::kFirmwareUpdate;
        EXPECT_EQ(updated, !row.recorded.empty());
        if (updated) {
            EXPECT_EQ(entries[0][kOutcomeColumn].rfind(row.recorded, 0), 0u) << entries[0][kOutcomeColumn];
            EXPECT_EQ(entries[0][kFileColumn], "blank.hex");
            // The image of all 0xFF: 240 blocks of 196 characters, an address and 'F's.
            std::string blocks;
            for (unsigned block = 0; block < 240; ++block) {
                char address[5];
                std::snprintf(address, sizeof address, "%04X", block * 64);
                blocks += address + allF;
            }
            EXPECT_EQ(entries[0][kDigestColumn], Sha256Hex(blocks));
        }

        const std::vector<std::string> frames = m_sim.ReceivedFrames();
        if (row.interruptAt == 12) {
            // Stopped between blocks: as many program blocks went out as the message says, and no verify block.
            const std::size_t at = outcome.err.find("(block ");
            ASSERT_NE(at, std::string::npos);
            EXPECT_EQ(FramesStartingWith("P").size(), std::stoul(outcome.err.substr(at + 7)));
            EXPECT_TRUE(FramesStartingWith("V").empty());
            continue;
        }
        EXPECT_EQ(frames.size(), row.frames);
        if (row.code == 0) {
            EXPECT_EQ(frames[1], "\x02"
                                 "FWUP:2E\x03");
            EXPECT_EQ(frames[2], "\x02P0000" + allF + "50\x03");
            EXPECT_EQ(frames[244], "\x02V0040" + allF + "52\x03");
            EXPECT_EQ(frames.back(), "\x02"
                                     "GMWT:33\x03");
        }
    }
}

TEST_F(KorvenctlTest, ABusyPortIsRefused)
{
    if (!m_wineProgram.empty())
        GTEST_SKIP() << "Wine does not see the lock a Linux program holds on the terminal";
    CSerialPort holder;
    ASSERT_EQ(holder.OpenPath(m_sim.DevicePath(), 19200), 0);
    const Outcome outcome = Run("$P read");
    EXPECT_EQ(outcome.code, 3);
    EXPECT_EQ(outcome.err, "Kann Schnittstelle " + m_sim.DevicePath() + " nicht öffnen\n" + m_sim.DevicePath() +
                               " wird von einem anderen Programm benutzt: das andere Programm beenden.\n");
}

} // namespace

// Every kind of command through a device server: ser2net in front of the relay,
// over RFC 2217 and raw TCP; under Wine the same through Winsock.
TEST_F(KorvenctlTest, CommandsThroughADeviceServer)
{
    if (!Ser2net::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
    Ser2net server;
    std::string error;
    ASSERT_TRUE(server.Start(m_sim.DevicePath(), &error)) << error;
    // One word, so that the file contributes to the image it programs.
    std::ofstream(m_dir / "one.hex") << ":020000040000FA\n:04000000FFFFFFFF00\n:00000001FF\n";
    std::ofstream(m_dir / "station.ini") << "[PORTS]\nCOM5=" << server.Rfc2217Url() << "\n";
    std::ofstream(m_dir / "typo.ini") << "[PORTS]\nCOM5=" << server.Rfc2217Url() << "\nCOM5_ZUSCHLAG=3000x\n";
    const std::string nobody = "tcp://127.0.0.1:" + std::to_string(FreeLocalPort());
    // What a serial line carries for the write: the same bytes must reach the relay.
    ASSERT_EQ(Run("$P write --set SWB=110 SVZ=1.5").code, 0);
    const std::vector<std::string> serialWrite = m_sim.ReceivedFrames();
    struct Row {
        std::string args;
        int code;
        std::string out; // part of standard output, or of standard error on failure
    };
    const Row rows[] = {
        {"--port " + server.Rfc2217Url() + " write --set SWB=110 SVZ=1.5", 0, "Übertragung der Daten ok."},
        {"--port " + server.RawUrl() + " write --set SWB=110 SVZ=1.5", 0, "Übertragung der Daten ok."},
        {"--ini $D/station.ini --port COM5 live --count 2", 0, " 100.0\n"},
        {"--ini $D/station.ini ports", 0, server.Rfc2217Url() + "  -  present"},
        {"--port " + server.Rfc2217Url() + " flash $D/one.hex", 0, "Verify ok!"},
        {"--port " + nobody + " read", 3, "nimmt niemand Verbindungen an"},
        {"--port rfc2217://127.0.0.1 read", 3, "Portnummer fehlt"},
        {"--ini $D/typo.ini --port COM5 read", 2, "[PORTS] COM5_ZUSCHLAG in $D/typo.ini"},
        // A malformed address never comes right: no polling for ever.
        {"--port tcp://127.0.0.1:4001/ live --count 2", 3, "„/“"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const Outcome outcome = Run(row.args, [](SimOptions& o) { o.value = "100.0"; });
        EXPECT_EQ(outcome.code, row.code) << outcome.err;
        const std::string& shown = row.code == 0 ? outcome.out : outcome.err;
        EXPECT_NE(shown.find(Expand(row.out)), std::string::npos) << shown;
        if (row.args.find("write") != std::string::npos) {
            EXPECT_EQ(m_sim.ReceivedFrames(), serialWrite);
        }
        if (row.args.find("flash") != std::string::npos) {
            EXPECT_EQ(m_sim.ReceivedFrames().size(), 484u);
        }
    }
}

// A CSV log started before its relay is there waits for it, and keeps running
// across an unplugged adapter: empty values meanwhile, readings again once the
// relay is back behind the same name. Each step waits for the lines written.
TEST_F(KorvenctlTest, LiveWaitsForItsRelayAndReconnectsAfterAnUnplug)
{
    std::string port = "COM1"; // under Wine: the link SetUp made, which Plug makes again
    if (m_wineProgram.empty()) {
        port = (m_dir / "relay").string();
        ASSERT_TRUE(m_sim.MakeLink(port));
    }
    m_sim.Unplug();
    const std::regex reading(";\\d+,\\d+$"), none(";$");
    // Waits until the reading written last matches; false after 30 s.
    const auto lastLine = [this](const std::regex& pattern) {
        for (int i = 0; i < 1500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
            if (const auto lines = LinesSoFar(); lines.size() > 1 && std::regex_search(lines.back(), pattern))
                return true;
        }
        return false;
    };
    cli::CancelToken interrupted = 0;
    std::thread steps([&] {
        EXPECT_TRUE(lastLine(none) && m_sim.Plug());
        EXPECT_TRUE(lastLine(reading));
        m_sim.Unplug();
        EXPECT_TRUE(lastLine(none) && m_sim.Plug());
        EXPECT_TRUE(lastLine(reading));
        Interrupt(interrupted);
    });
    const Outcome outcome = Run("--port " + port + " live --csv", nullptr, &interrupted);
    steps.join();
    EXPECT_EQ(outcome.code, 1);
    EXPECT_NE(outcome.err.find("Kann Schnittstelle " + port + " nicht öffnen"), std::string::npos) << outcome.err;
    // Empty, then readings, empty again, and readings to the end.
    std::string shape;
    for (const std::string& line : LinesSoFar())
        shape += std::regex_search(line, reading) ? "R" : std::regex_search(line, none) ? "-" : "H";
    EXPECT_TRUE(std::regex_match(shape, std::regex("H-+R+-+R+"))) << shape << "\n" << outcome.out;
}

// Every change korvenctl makes is noted as the window notes it; a record that
// cannot be written starts none of them.
TEST_F(KorvenctlTest, TheRecordNotesEveryChangeAndNoChangeStartsWithoutIt)
{
    std::ofstream(m_dir / "anlage.par", std::ios::binary)
        << "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";
    struct Row {
        const char* args;
        const char* action;
        const char* outcome;
        const char* file;
    };
    const Row rows[] = {
        {"$P $R write --set SWB=120", record::kParametersWritten, "Übertragung der Daten ok.", ""},
        {"$P $R write $D/anlage.par", record::kParametersFromFile, "Übertragung der Daten ok.", "anlage.par"},
        {"$P $R calibrate 100", record::kCalibrated100V, "Kalibrierung 100V OK!", ""},
        {"$P $R test-com3", record::kPortTest, "Test COM3 OK!", ""},
    };
    for (const Row& row : rows) {
        const Outcome outcome = Run(row.args);
        EXPECT_EQ(outcome.code, 0) << row.args << ": " << outcome.err;
        // The change's start, then its outcome.
        const auto entries = RecordEntries();
        ASSERT_GE(entries.size(), 2u) << row.args;
        for (const std::size_t i : {0, 1}) {
            EXPECT_EQ(entries[i][kActionColumn], row.action) << row.args;
            EXPECT_EQ(entries[i][kOutcomeColumn], i == 0 ? row.outcome : record::kStarted) << row.args;
            EXPECT_EQ(entries[i][kFileColumn], row.file) << row.args;
            EXPECT_EQ(entries[i][kVersionColumn], "V2.1 13.06.7") << row.args;
        }
    }
    // The first read noted the set found (the second found the set written); the
    // writes, the sets before and after.
    const auto entries = RecordEntries();
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries.back()[kActionColumn], record::kFound);
    EXPECT_EQ(entries[6][kSetColumns], "120,0");
    EXPECT_EQ(entries[6][kBeforeColumns], "100,0");
    RelayParameters swapped; // another relay on the port: its change names its own version, not the record's last
    swapped.VER = "V9.0 RELAY-B";
    m_sim.SetParameters(swapped);
    EXPECT_EQ(Run("$P $R test-com3").code, 0);
    EXPECT_EQ(RecordEntries()[0][kVersionColumn], "V9.0 RELAY-B");

    // A record that cannot take the change's start: nothing of the change is sent.
    struct Refusal {
        const char* name;
        const char* record;
        files::AppendMedium medium;
        bool held; // by another writer stopped while it appends
        const char* reason;
    };
    const Refusal refusals[] = {
        {"missing folder", "$D/fehlt/p.csv", {}, false, "p.csv kann nicht geschrieben werden.\nDer Ordner existiert"},
        {"failing sync",
         "$D/p.csv",
         {[](files::SyncOf, const std::function<bool()>&) { return false; }, {}},
         false,
         "p.csv kann nicht geschrieben werden.\nEs wird nichts"},
        {"held", "$D/p.csv", {}, true, "p.csv kann nicht geschrieben werden.\nEs wird gerade von einem anderen"},
    };
    std::ofstream(m_dir / "blank.hex") << ":020000040000FA\n:04000000FFFFFFFF00\n";
    for (const Refusal& refusal : refusals) {
        // Wine sees neither the seam nor a Linux program's lock: korvenctl.exe meets only the missing folder.
        if (!m_wineProgram.empty() && (refusal.medium.sync || refusal.held))
            continue;
        CommissioningRecord(Expand(refusal.record)).Writable(); // the file made, with its header
        const auto other = refusal.held ? files::LockedAppendFile::Open(Expand(refusal.record)) : nullptr;
        files::SetAppendMedium(refusal.medium);
        for (const char* command : {"write --set SWB=120", "calibrate 0", "test-com3", "flash $D/blank.hex"}) {
            const Outcome refused = Run(std::string("$P --record ") + refusal.record + " " + command);
            EXPECT_EQ(refused.code, 4) << refusal.name << ": " << command;
            EXPECT_NE(refused.err.find(refusal.reason), std::string::npos) << refusal.name << ": " << refused.err;
            for (const char* frame : {"SPAR", "KAL0", "TCM3", "FWUP"})
                EXPECT_TRUE(FramesStartingWith(frame).empty()) << refusal.name << ": " << command;
            if (refusal.held)
                break; // each try waits for the lock: one is enough
        }
        files::SetAppendMedium({});
    }
}
