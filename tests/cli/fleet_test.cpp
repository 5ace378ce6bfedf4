// korvenctl over several relays at once, in-process against three korven-sim
// relays (COM1 and COM2 of the --ini file on pseudo-terminals, COM3 through
// ser2net where it is installed) and a COM4 whose device is missing: each run's
// output, summary, record and exit code, and what every relay received.

#include "cli/fleet.h"
#include "cli/fleet_console.h"
#include "cli/korvenctl.h"
#include "cli/session.h"
#include "files/append_file.h"
#include "params/parameter_text.h"
#include "port/port_list_posix.h"
#include "record/commissioning_record.h"
#include "sim/device_server.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kRelays = 3;

class FleetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korvenctl-fleet-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        std::ofstream ini(m_dir / "station.ini");
        ini << "[PORTS]\n";
        for (std::size_t i = 0; i < kRelays; ++i) {
            std::string error;
            ASSERT_TRUE(m_sims[i].Start(&error)) << error;
            ASSERT_TRUE(m_sims[i].MakeLink(Link(i), &error)) << error;
            // ser2net opens the link at each connection: a relay plugged in again is found there.
            ASSERT_TRUE(i + 1 < kRelays || !Ser2net::Available() || m_server.Start(Link(i), &error)) << error;
            ini << "COM" << i + 1 << "=" << Device(i) << "\n";
        }
        ini << "COM4=" << (m_dir / "missing").string() << "\n";
        std::ofstream(m_dir / "empty.ini") << "[PORTS]\nCOM1=\n";
        std::ofstream(m_dir / "net.ini") << "[PORTS]\nCOM5=rfc2217://127.0.0.1:4001\n";
        std::ofstream(m_dir / "blank.hex") << ":020000040000FA\n:04000000FFFFFFFF00\n:00000001FF\n";
        std::ofstream(m_dir / "empty.hex") << ":020000040000FA\n:00000001FF\n";
        // Two relays linked under one name in two folders.
        for (const char* folder : {"d1", "d2"}) {
            fs::create_directory(m_dir / folder);
            fs::create_symlink(Link(folder[1] - '1'), m_dir / folder / "relay");
        }
        // The ports of the --ini file alone: no device of this machine is touched.
        SetPortLister([this] { return ScanPosixPorts(m_dir / "no-root"); });
    }
    void TearDown() override
    {
        SetPortLister({});
        fs::remove_all(m_dir);
    }

    std::string Link(std::size_t relay) const { return (m_dir / ("relay" + std::to_string(relay + 1))).string(); }
    // What the --ini file names for the relay.
    std::string Device(std::size_t relay) const
    {
        return m_server.Running() && relay + 1 == kRelays ? m_server.Rfc2217Url() : Link(relay);
    }

    std::string Expand(std::string text) const
    {
        for (const auto& [name, value] : std::initializer_list<std::pair<std::string, std::string>>{
                 {"$3", "--ini $D/station.ini --port COM1 --port COM2 --port COM3"},
                 {"$A", "--ini $D/station.ini --port all"},
                 {"$R", "--record $D/protokoll.csv"},
                 {"$S", m_sims[0].DevicePath()},
                 {"$D", m_dir.string()}}) {
            for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
                text.replace(at, name.size(), value);
        }
        return text;
    }

    fs::path m_dir;
    std::array<KorvenSim, kRelays> m_sims;
    Ser2net m_server;
};

// What happens while the command runs: COM3 slow to answer (its line busy for
// 0.6 s, which the drain before each request waits out), pulled out, Ctrl+C, or
// the record's disk full once two changes have noted their start.
enum class During { Nothing, SlowCom3, UnplugCom3, CtrlC, CtrlCEarly, RecordFills };

// How many changes the record at path has noted as begun.
std::size_t Started(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::size_t started = 0;
    for (auto at = bytes.find(record::kStarted); at != std::string::npos; at = bytes.find(record::kStarted, at + 1))
        ++started;
    return started;
}

TEST_F(FleetTest, RunsOnEveryPortAtOnce)
{
    // Relay n (0 ... 2) is COMn+1; a relay's faults are set before the run.
    using Faults = std::function<void(std::size_t relay, KorvenSim & sim)>;
    struct Row {
        const char* args;
        Faults faults;
        During during;
        int code;
        std::vector<std::string> out; // each within standard output
        std::vector<std::string> err; // each within standard error
        int spars; // SPAR frames (live: GMWT frames) each relay received; -1: no frame at all at any relay
        // Port ("*": any one) and the start of its change's outcome, which follows the change's start.
        std::vector<std::pair<std::string, std::string>> recorded = {};
        std::pair<const char*, const char*> file = {}; // a file the run wrote, and a text it holds
        bool outputFails = false;                      // standard output takes no byte
        std::vector<int> sparsEach = {};               // where the relays differ: each one's SPAR frames
    };
    const auto nakV5AtCom2 = [](std::size_t relay, KorvenSim& sim) {
        sim.Update([relay](SimOptions& o) { o.nak = relay == 1 ? std::set<std::string>{"V5"} : o.nak; });
    };
    // Relay n reads 10n,5 V; COM3 does not answer.
    const auto silentCom3 = [](std::size_t relay, KorvenSim& sim) {
        sim.Update([relay](SimOptions& o) {
            o.value = "10" + std::to_string(relay) + ".5";
            o.silent = relay == 2;
        });
    };
    const std::string ok = "Übertragung der Daten ok.";
    // The station's record $D/station.csv: SWB 120 acknowledged for the relays of
    // commissioned; COM1 has its usual SWB 100 since, the others hold 120.
    const auto station = [this](std::set<std::size_t> commissioned, bool silentCom3) {
        return [this, commissioned, silentCom3](std::size_t relay, KorvenSim& sim) {
            if (relay == 0)
                fs::remove(m_dir / "station.csv");
            RelayParameters set;
            set.SWB = relay == 0 ? set.SWB : 120.0;
            sim.SetParameters(set);
            sim.Update([&](SimOptions& o) { o.silent = silentCom3 && relay == 2; });
            if (commissioned.count(relay) == 0)
                return;
            RecordEntry entry{record::kParametersWritten, "Übertragung der Daten ok.",
                              "COM" + std::to_string(relay + 1)};
            entry.set.emplace();
            ParseParameterText("SPAR:HYS2.0;SWB120.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;", ScanMode::Full,
                               *entry.set, nullptr);
            ASSERT_TRUE(CommissioningRecord((m_dir / "station.csv").string()).Append(entry));
        };
    };
    const Row rows[] = {
        {"$A read --format json",
         nullptr,
         During::Nothing,
         3,
         {"{\n  \"COM1\": {\n    \"SWB\": 100.0,\n", "    \"K0V\": \"0x200\"\n  },\n  \"COM2\": {\n",
          "  \"COM4\": {\n    \"error\": \"Kann Schnittstelle COM4 nicht öffnen\\n$D/missing ist nicht vorhanden",
          "\",\n    \"exit\": 3\n  }\n}\n"},
         {"COM4: Kann Schnittstelle COM4 nicht öffnen\n", "3 of 4 ports ok; exit code 3 from COM4\n"},
         0},
        // COM2 answers with bad checksums; COM3's version text would clear the screen and break the line.
        {"$3 read --trace $D/trace",
         [](std::size_t relay, KorvenSim& sim) {
             sim.Update([relay](SimOptions& o) { o.badChecksum = relay == 1; });
             RelayParameters set;
             set.VER = relay == 2 ? "\x1B[2J\rV9\n=2+5" : set.VER;
             sim.SetParameters(set);
         },
         During::Nothing,
         1,
         {"COM3: VER  Version               ?[2J?V9?=2+5\n", "?[2J?V9?=2+5  ",
          "2 of 3 ports ok; exit code 1 from COM2\n"},
         {"COM2: Die Daten konnten nicht übertragen werden!\n"},
         0,
         {},
         {"trace", " COM2 RX 02 "}},
        {"$3 $R write --set SWB=110",
         nullptr,
         During::Nothing,
         0,
         {"COM2: " + ok + "\n", "3 of 3 ports ok\n"},
         {},
         1,
         {{"COM1", ok}, {"COM2", ok}, {"COM3", ok}}},
        // The third start finds no room: the two noted end unsent, and say so.
        {"$3 $R write --set SWB=110",
         nullptr,
         During::RecordFills,
         4,
         {"0 of 3 ports ok; exit code 4 from COM1, COM2, COM3\n"},
         {"Auf dem Datenträger ist kein Platz mehr.\n",
          ": korvenctl: nothing sent to this relay: the commissioning record cannot be written\n"},
         0,
         {{"*", "abgebrochen, nichts gesendet"}, {"*", "abgebrochen, nichts gesendet"}}},
        // The set that relay 3 would get fails the checks, later than the others
        // are ready to send theirs: no relay gets its set.
        {"$3 $R write --set SWB=110",
         [](std::size_t relay, KorvenSim& sim) {
             RelayParameters set;
             set.UMI = relay == 2 ? 12.0 : set.UMI;
             sim.SetParameters(set);
         },
         During::SlowCom3,
         2,
         {},
         {"COM3: U< nicht im Bereich",
          "COM1: korvenctl: nothing sent to this relay: the input for COM3 was refused\n"},
         0,
         {{"COM1", "abgebrochen, nichts gesendet"}, {"COM2", "abgebrochen, nichts gesendet"}}},
        // One relay differs, one holds its reference, one has none, one port does not open.
        {"$A --record $D/station.csv compare",
         station({0, 1}, false),
         During::Nothing,
         5,
         {"COM1: differs from its reference, the record's entry of ",
          "COM1: SWB  Sollwertbezug [V]       relay 100.0, "
          "reference 120.0\n",
          "COM2: holds its reference", "1 of 4 ports ok; exit code 5 from COM1\n"},
         {"COM3: Im Protokoll ist für COM3 kein bestätigter Parametersatz verzeichnet.\n"},
         0},
        {"$A --record $D/station.csv compare --format json",
         station({0, 1}, false),
         During::Nothing,
         5,
         {"  \"COM1\": {\n    \"reference\": \"Protokoll ", "\n    \"holds\": false,",
          "    \"error\": \"Im Protokoll ist für COM3 kein"},
         {},
         0},
        // Only the relay that differs is written, and the record names where its set came from.
        {"$3 --record $D/station.csv restore",
         station({0, 1, 2}, true),
         During::Nothing,
         1,
         {"COM1: restored SWB from the record's entry of ", "COM2: holds its reference", "exit code 1 from COM3\n"},
         {"COM3: Die Daten konnten nicht übertragen werden!\n"},
         0,
         {},
         {"station.csv", "Parameter wiederhergestellt;Übertragung der Daten ok.;Protokoll 20"},
         false,
         {1, 0, 0}},
        {"$3 --record $D/station.csv restore",
         station({0, 1, 2}, false),
         During::CtrlCEarly,
         130,
         {},
         {"by Ctrl+C\n"},
         0},
        // One relay refuses a verify block, one is pulled out during the update.
        {"$3 $R flash $D/blank.hex",
         nakV5AtCom2,
         During::UnplugCom3,
         1,
         {"COM1: Verify ok!\n", "1 of 3 ports ok; exit code 1 from COM2, COM3\n"},
         {"COM2: Verify Adresse 192 --> Fehler!\n", "COM3: Verify Adresse 32 --> Fehler!\n"},
         0,
         {{"COM1", "Verify ok!"}, {"COM2", "Verify Adresse 192 --> Fehler!"}, {"COM3", "Verify Adresse 32"}}},
        {"$3 $R flash $D/empty.hex", nullptr, During::Nothing, 2, {}, {kHexNoData}, -1},
        {"$3 $R flash $D/blank.hex",
         nullptr,
         During::CtrlC,
         130,
         {"exit code 130 from COM1, COM2, COM3\n"},
         {"COM2: korvenctl: stopped by Ctrl+C after Programmiere Adresse "},
         0,
         {{"COM1", "abgebrochen nach"}, {"COM2", "abgebrochen nach"}, {"COM3", "abgebrochen nach"}}},
        {"$3 save $D/anlage-{port}",
         nullptr,
         During::Nothing,
         0,
         {"  \"COM3\": {\n    \"file\": \"$D/anlage-COM3.par\"\n"},
         {"3 of 3 ports ok\n"},
         0,
         {},
         {"anlage-COM2.par", "SPAR:HYS2.0;SWB100.0;"}},
        // Ctrl+C while COM3 is still being read, the others' starts noted: the write begins at no relay.
        {"$3 $R write --set SWB=110",
         nullptr,
         During::CtrlCEarly,
         130,
         {"0 of 3 ports ok"},
         {"by Ctrl+C\n"},
         0,
         {{"COM1", "abgebrochen, nichts gesendet"}, {"COM2", "abgebrochen, nichts gesendet"}}},
        // COM4's adapter is not there yet: an empty column, as over one port; never opened, it gives 3.
        {"$A live --csv --count 2",
         silentCom3,
         During::Nothing,
         3,
         {"Zeit;Messwert COM1 [V];Messwert COM2 [V];Messwert COM3 [V];Messwert COM4 [V]\r\n", ";100,5;101,5;;\r\n"},
         {"COM4: Kann Schnittstelle COM4 nicht öffnen\n", "2 of 4 ports ok; exit code 3 from COM4\n"},
         2},
        // A reader gone away ends the readings at once.
        {"$3 live --count 3", nullptr, During::Nothing, 4, {}, {"the output could not be written\n"}, 1, {}, {}, true},
        {"$A ports --probe",
         silentCom3,
         During::Nothing,
         0,
         {"present  relay V2.1 13.06.7\nCOM3  ", "present  no relay\nCOM4", "2 of 4 ports ok\n"},
         {},
         0},
        // Refused before anything is sent.
        {"$3 save $D/anlage", nullptr, During::Nothing, 2, {}, {"takes a file name with {port}"}, -1},
        {"--port $D/d1/relay --port $D/d2/relay save $D/o{port}", nullptr, During::Nothing, 2, {}, {"saved as"}, -1},
        // One relay by its link and by its device.
        {"--port $D/relay1 --port $S read", nullptr, During::Nothing, 2, {}, {"are the same port"}, -1},
        {"--ini $D/station.ini --port COM2 --port $D/relay2 read",
         nullptr,
         During::Nothing,
         2,
         {},
         {"COM2 and $D/relay2 are the same port"},
         -1},
        // One port of a device server: by its address in [PORTS], by its name with another scheme.
        {"--ini $D/net.ini --port COM5 --port TCP://localhost:4001 read",
         nullptr,
         During::Nothing,
         2,
         {},
         {"COM5 and TCP://localhost:4001 are the same port"},
         -1},
        {"--ini $D/empty.ini --port all read", nullptr, During::Nothing, 2, {}, {"names no port"}, -1},
        {"$3 calibrate 0", nullptr, During::Nothing, 2, {}, {"one port at a time"}, -1},
        {"$3 --record $D/fehlt/p.csv write --set SWB=110",
         nullptr,
         During::Nothing,
         4,
         {},
         {"Das Inbetriebnahmeprotokoll $D/fehlt/p.csv kann nicht geschrieben werden.\nDer Ordner existiert nicht"},
         -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        fs::remove(m_dir / "protokoll.csv");
        for (std::size_t i = 0; i < kRelays; ++i) {
            m_sims[i].Update([](SimOptions& o) { o = SimOptions{}; });
            m_sims[i].SetParameters(RelayParameters{});
            if (row.faults)
                row.faults(i, m_sims[i]);
            m_sims[i].ClearReceivedFrames();
        }
        // Room on the record's disk until two changes have noted their start.
        const auto room = [](const std::string& path) {
            return std::optional<std::uintmax_t>(Started(path) < 2 ? 1u << 30 : 4096);
        };
        files::SetAppendMedium(row.during == During::RecordFills ? files::AppendMedium{{}, room}
                                                                 : files::AppendMedium{});
        cli::CancelToken interrupted = 0;
        std::thread during([&] {
            const bool slow = row.during == During::SlowCom3 || row.during == During::CtrlCEarly;
            for (int i = 0; slow && i < 15; ++i) {
                m_sims[2].Inject("\x55");
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
                // Once the changes the row expects have noted their start, COM3 still being read.
                if (row.during == During::CtrlCEarly && interrupted == 0 &&
                    (Started(m_dir / "protokoll.csv") >= row.recorded.size() || i == 10))
                    interrupted = cli::kExitInterrupted;
            }
            if (row.during == During::UnplugCom3 && m_sims[2].WaitForFrames(100, std::chrono::seconds(30)))
                m_sims[2].Unplug();
            if (row.during == During::CtrlC && m_sims[0].WaitForFrames(30, std::chrono::seconds(30)))
                interrupted = cli::kExitInterrupted;
        });
        std::istringstream words(Expand(row.args));
        std::ostringstream out, err;
        struct : std::streambuf {
        } full; // takes no byte, as a closed pipe
        std::ostream fullOut(&full);
        const int code = cli::Run({std::istream_iterator<std::string>(words), {}},
                                  cli::Console{row.outputFails ? fullOut : out, err, false, &interrupted});
        during.join();
        files::SetAppendMedium({});
        if (row.during == During::UnplugCom3) {
            ASSERT_TRUE(m_sims[2].Plug());
        }

        EXPECT_EQ(code, row.code) << err.str();
        // Outside text reaches the terminal without its control characters.
        EXPECT_EQ(out.str().find('\x1b'), std::string::npos) << out.str();
        for (const std::string& text : row.out)
            EXPECT_NE(out.str().find(Expand(text)), std::string::npos) << out.str();
        for (const std::string& text : row.err)
            EXPECT_NE(err.str().find(Expand(text)), std::string::npos) << err.str();
        for (std::size_t i = 0; i < kRelays; ++i) {
            const char* word = std::string(row.args).find(" live") != std::string::npos ? "GMWT" : "SPAR";
            std::size_t spars = 0;
            for (const std::string& frame : m_sims[i].ReceivedFrames())
                spars += frame.compare(1, 4, word) == 0 ? 1 : 0;
            if (row.spars < 0) {
                EXPECT_TRUE(m_sims[i].ReceivedFrames().empty()) << "COM" << i + 1;
            } else {
                EXPECT_EQ(spars, static_cast<std::size_t>(row.sparsEach.empty() ? row.spars : row.sparsEach[i]))
                    << "COM" << i + 1;
            }
            if (row.during == During::CtrlC) { // stopped between blocks of the first pass: no verify block anywhere
                EXPECT_EQ(m_sims[i].ReceivedFrames().back().substr(1, 1), "P") << "COM" << i + 1;
            }
        }
        // Two whole entries per relay and change, its start and its outcome, naming its port and device.
        std::map<std::string, std::vector<std::string>> recorded; // port -> outcomes, oldest first
        for (const auto& fields : CommissioningRecord((m_dir / "protokoll.csv").string()).LastEntries(50)) {
            if (fields[kActionColumn] == record::kFound)
                continue;
            EXPECT_EQ(fields[kDeviceColumn], Device(std::stoul(fields[kPortColumn].substr(3)) - 1));
            auto& outcomes = recorded[fields[kPortColumn]];
            outcomes.insert(outcomes.begin(), fields[kOutcomeColumn]);
        }
        auto expected = row.recorded;
        for (const auto& [port, outcomes] : recorded) {
            const auto match = std::find_if(expected.begin(), expected.end(), [&port = port](const auto& e) {
                return e.first == port || e.first == "*";
            });
            ASSERT_NE(match, expected.end()) << port;
            ASSERT_EQ(outcomes.size(), 2u) << port;
            EXPECT_EQ(outcomes[0], record::kStarted) << port;
            EXPECT_EQ(outcomes[1].rfind(match->second, 0), 0u) << port << ": " << outcomes[1];
            expected.erase(match);
        }
        EXPECT_TRUE(expected.empty());
        if (row.file.first != nullptr) {
            std::ifstream in(m_dir / row.file.first, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            EXPECT_NE(bytes.find(row.file.second), std::string::npos) << row.file.first << ": " << bytes;
        }
    }
}

// What a terminal shows of text: its lines, with the cursor moves and clears
// that the bars use ("\x1b[nF" n lines up, "\x1b[J" clears to the end).
std::vector<std::string> Screen(const std::string& text)
{
    std::vector<std::string> rows(1);
    std::size_t row = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\x1b[") == 0) {
            const std::size_t end = text.find_first_of("FJK", i);
            row -= text[end] == 'F' ? std::stoul(text.substr(i + 2)) : 0;
            if (text[end] == 'J') {
                rows.resize(row + 1);
                rows[row].clear();
            }
            i = end;
        } else if (text[i] == '\n') {
            rows.resize(std::max(rows.size(), ++row + 1));
        } else {
            rows[row] += text[i];
        }
    }
    return rows;
}

// On a terminal each port's bar has a line of its own below the lines written,
// at half the width of a single port's bar.
TEST(FleetConsoleTest, BarsStayBelowTheLines)
{
    std::ostringstream out, err;
    const cli::Console console{out, err, true, nullptr, nullptr, [] { return true; }};
    cli::FleetConsole fleet(console, {"COM1", "COM2"}, true);
    cli::PortStream second(fleet, "COM2", false);
    std::ostream com2(&second);
    const auto bar = [](unsigned block, const char* status) {
        return cli::ProgressText::Bar({'V', block, true, status}, cli::FleetConsole::kPortBarWidth);
    };
    fleet.Bar(1, bar(239, "Verify Adresse 7680"));
    com2 << "Verify ok!" << std::endl;
    fleet.Bar(0, bar(119, "Verify Adresse 3840"));
    fleet.EndBars();
    EXPECT_EQ(Screen(out.str()),
              (std::vector<std::string>{"COM2: Verify ok!", "COM1: [##########..........] 50%  Verify Adresse 3840",
                                        "COM2: [####################] 100%  Verify Adresse 7680", ""}))
        << out.str();
}

// What the console shows of outcomes alone, without a relay: over one port its
// lines in order (outside text made harmless on standard error) or its data;
// over several one JSON object keyed by port, an error where a port failed.
TEST(FleetConsoleTest, OutcomesAsLinesAndJson)
{
    cli::Outcome read, differs, failed, done;
    read.lines = {{false, "SWB  Sollwertbezug [V]   100.0"}};
    read.data = cli::Json::Object();
    read.data->Add("SWB", cli::Json::Number("100.0")).Add("VER", cli::Json::RelayText("V2\xB5"));
    differs.code = 5;
    differs.lines = {{false, "differs"}, {false, "SWB  relay 100.0, reference 120.0"}};
    differs.data = cli::Json::Object();
    differs.data->Add("holds", cli::Json::Literal("false"))
        .Add("differences", std::move(cli::Json::Object(true).Add("SWB", cli::Json::Number("inf"))));
    failed.code = 3;
    failed.lines = {{true, "korvenctl: record lost"}, {false, "half"}, {true, "Kann \x1b[2J\nCOM4"}};
    const struct {
        const cli::Outcome& outcome;
        bool json;
        const char* out;
        const char* err;
    } rows[] = {
        {read, false, "SWB  Sollwertbezug [V]   100.0\n", ""},
        {read, true, "{\n  \"SWB\": 100.0,\n  \"VER\": \"V2\\u00b5\"\n}\n", ""},
        {failed, false, "half\n", "korvenctl: record lost\nKann ?[2J\nCOM4\n"},
        {failed, true, "", "korvenctl: record lost\nKann ?[2J\nCOM4\n"},
    };
    for (const auto& row : rows) {
        std::ostringstream out, err;
        cli::ShowOutcome(row.outcome, row.json, out, err);
        EXPECT_EQ(out.str(), row.out);
        EXPECT_EQ(err.str(), row.err);
    }
    EXPECT_EQ(cli::PortsJson({{"COM1", &read}, {"COM2", &differs}, {"COM3", &failed}, {"COM4", &done}}),
              "{\n"
              "  \"COM1\": {\n    \"SWB\": 100.0,\n    \"VER\": \"V2\\u00b5\"\n  },\n"
              "  \"COM2\": {\n    \"holds\": false,\n    \"differences\": {\"SWB\": \"inf\"}\n  },\n"
              "  \"COM3\": {\n    \"error\": \"korvenctl: record lost\\nKann \\u001b[2J\\nCOM4\",\n    \"exit\": 3\n  },\n"
              "  \"COM4\": {}\n"
              "}");
}

// The summary from the ports' outcomes alone: outside text made harmless, the times aligned at their unit.
TEST(FleetConsoleTest, SummaryFromOutcomes)
{
    EXPECT_EQ(cli::SummaryText({{"COM1", "/dev/ttyUSB0", "V2.1 13.06.7", 0.4, "Verify ok!", 0},
                                {"COM12", "", "\x1b[2J", 12.5, "Kann Schnittstelle COM12 nicht öffnen", 3}},
                               3),
              "Port   Device        Version         Time  Outcome\n"
              "COM1   /dev/ttyUSB0  V2.1 13.06.7   0.4 s  Verify ok!\n"
              "COM12  -             ?[2J          12.5 s  Kann Schnittstelle COM12 nicht öffnen\n"
              "1 of 2 ports ok; exit code 3 from COM12\n");
}

TEST(FleetConsoleTest, PortFileNames)
{
    for (const auto& [port, name] :
         std::initializer_list<std::pair<std::string, std::string>>{{"COM3", "COM3"},
                                                                    {"/dev/ttyUSB0", "ttyUSB0"},
                                                                    {"rfc2217://ds.example:4001", "ds.example_4001"},
                                                                    {"/dev/..", "_.."},
                                                                    {"/tmp/a b*?", "a_b__"}})
        EXPECT_EQ(cli::PortFileName(port), name) << port;
}

} // namespace
