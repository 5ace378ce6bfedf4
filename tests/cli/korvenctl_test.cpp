// korvenctl run in-process against korven-sim on a pseudo-terminal: each
// command's output and exit code in the good case and with the faults that
// concern it.

#include "cli/korvenctl.h"
#include "link/serial_port.h"
#include "link/trace.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The frame button 1009 sends for the worked example's set (the window test's bytes).
const std::string kWorkedExampleSpar = "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;21\x03";

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
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
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs korvenctl with "$PORT" and "$DIR" in the arguments replaced.
    Outcome Run(std::vector<std::string> args, const std::atomic<bool>* interrupted = nullptr)
    {
        for (std::string& arg : args) {
            for (const auto& [name, value] :
                 {std::pair<std::string, std::string>{"$PORT", m_sim.DevicePath()}, {"$DIR", m_dir.string()}}) {
                if (const auto at = arg.find(name); at != std::string::npos)
                    arg.replace(at, name.size(), value);
            }
        }
        std::ostringstream out;
        std::ostringstream err;
        Outcome outcome;
        outcome.code = cli::Run(args, cli::Console{out, err, false, interrupted});
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
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

    KorvenSim m_sim;
    fs::path m_dir;
};

TEST_F(KorvenctlTest, CommandsAgainstTheRelayAndItsFaults)
{
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::function<void(SimOptions&)> faults;
        int code;
        std::string out;  // expected within standard output
        std::string err;  // expected within standard error
        std::string spar; // the SPAR frame the relay received, empty for none
    };
    const Row rows[] = {
        {"read as table", {"--port", "$PORT", "read"}, nullptr, 0, "SVZ  Schaltverzögerung [s]          1.0\n", "", ""},
        {"read as json",
         {"read", "--format=json", "--port=$PORT"},
         nullptr,
         0,
         "  \"INV\": 0,\n  \"VER\": \"V2.1 13.06.7\",\n  \"KAL\": 10.0,\n  \"K0V\": \"0x200\"\n}\n",
         "",
         ""},
        {"read as par",
         {"--port", "$PORT", "read", "--format", "par"},
         nullptr,
         0,
         "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;\n",
         "",
         ""},
        {"read, silent relay",
         {"--port", "$PORT", "read"},
         [](SimOptions& o) { o.silent = true; },
         1,
         "",
         "Die Daten konnten nicht übertragen werden!\n",
         ""},
        {"read, bad checksum",
         {"--port", "$PORT", "read"},
         [](SimOptions& o) { o.badChecksum = true; },
         1,
         "",
         "Die Daten konnten nicht übertragen werden!\n",
         ""},
        {"read, unknown format",
         {"--port", "$PORT", "read", "--format", "xml"},
         nullptr,
         2,
         "",
         "unknown format: xml",
         ""},
        {"live twice",
         {"--port", "$PORT", "live", "--count", "2"},
         [](SimOptions& o) { o.value = "230.4"; },
         0,
         "  230.4\n",
         "",
         ""},
        {"live, echoing line",
         {"--port", "$PORT", "live", "--count", "1"},
         [](SimOptions& o) { o.echo = true; },
         1,
         "  --------\n",
         "",
         ""},
        {"live, bad count", {"--port", "$PORT", "live", "--count", "0"}, nullptr, 2, "", "--count", ""},
        {"write the worked example",
         {"--port", "$PORT", "write", "--set", "HYS=2", "swb=100", "UPL=10", "UPP=20", "UMI=-10", "UMM=-20", "INV=0",
          "SVZ=1.5"},
         nullptr,
         0,
         "Übertragung der Daten ok.\n",
         "",
         kWorkedExampleSpar},
        {"write one value, relay NAKs",
         {"--port", "$PORT", "write", "--set=SVZ=3"},
         [](SimOptions& o) { o.nak = {"SPAR"}; },
         1,
         "",
         "Die Daten konnten nicht übertragen werden!\n",
         "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ3.0;26\x03"},
        {"write, check fails against the relay's U>",
         {"--port", "$PORT", "write", "--set", "UMI=10.5"},
         nullptr,
         2,
         "",
         "U< nicht im Bereich -25% ... +10%\n\nDaten werden nicht an KORVEN übertragen!\n",
         ""},
        {"write, cross check",
         {"--port", "$PORT", "write", "--set", "UPP=5"},
         nullptr,
         2,
         "",
         "U>> ist kleiner als U> \n\nDaten werden nicht an KORVEN übertragen!\n",
         ""},
        {"write, dry run",
         {"--port", "$PORT", "write", "--set", "HYS=3", "--dry-run"},
         nullptr,
         0,
         "<STX>SPAR:HYS3.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;25<ETX>\n",
         "",
         ""},
        {"write, decimal comma",
         {"--port", "$PORT", "write", "--set", "HYS=2,5"},
         nullptr,
         2,
         "",
         "not a value for HYS: '2,5'",
         ""},
        {"write, unknown key", {"--port", "$PORT", "write", "--set", "XYZ=1"}, nullptr, 2, "", "unknown parameter", ""},
        {"write, file missing",
         {"--port", "$PORT", "write", "$DIR/none.par"},
         nullptr,
         2,
         "",
         "File $DIR/none.par kann nicht gelesen werden\n",
         ""},
        {"write, file without parameters",
         {"--port", "$PORT", "write", "$DIR/empty.par"},
         nullptr,
         2,
         "",
         "$DIR/empty.par holds no parameters\n",
         ""},
        {"write, file and --set",
         {"--port", "$PORT", "write", "$DIR/empty.par", "--set", "HYS=2"},
         nullptr,
         2,
         "",
         "give either a .par file or --set",
         ""},
        {"save, silent relay",
         {"--port", "$PORT", "save", "$DIR/a.par"},
         [](SimOptions& o) { o.silent = true; },
         1,
         "",
         "Die Daten konnten nicht übertragen werden!\n",
         ""},
        {"save into a missing folder",
         {"--port", "$PORT", "save", "$DIR/missing/a"},
         nullptr,
         2,
         "",
         "File $DIR/missing/a.par kann nicht geschrieben werden\n",
         ""},
        {"calibrate 0 V", {"--port", "$PORT", "calibrate", "0"}, nullptr, 0, "Kalibrierung 0V OK!\n", "", ""},
        {"calibrate 100 V refused",
         {"--port", "$PORT", "calibrate", "100"},
         [](SimOptions& o) { o.nak = {"K100"}; },
         1,
         "",
         "Kalibrierung fehlgeschlagen!\n\nMögliche Ursachen:\n- 0V nicht kalibriert\n",
         ""},
        {"calibrate, silent relay",
         {"--port", "$PORT", "calibrate", "0"},
         [](SimOptions& o) { o.silent = true; },
         1,
         "",
         "Receive-TimeOut\n",
         ""},
        {"calibrate, ACK and a stray byte",
         {"--port", "$PORT", "calibrate", "0"},
         [](SimOptions& o) { o.extraByte = true; },
         1,
         "",
         "unexpected answer to KAL0: 06 00\n",
         ""},
        {"calibrate 50 V", {"--port", "$PORT", "calibrate", "50"}, nullptr, 2, "", "calibrate takes 0 or 100", ""},
        {"test COM3", {"--port", "$PORT", "test-com3"}, nullptr, 0, "Test COM3 OK!\n", "", ""},
        {"test COM3 refused",
         {"--port", "$PORT", "test-com3"},
         [](SimOptions& o) { o.nak = {"TCM3"}; },
         1,
         "",
         "Test COM3 fehlgeschlagen!\n",
         ""},
        {"unknown command", {"--port", "$PORT", "frob"}, nullptr, 2, "", "unknown command: frob", ""},
        {"no port", {"read"}, nullptr, 2, "", "no port given", ""},
        {"port missing",
         {"--port", "$DIR/tty", "read"},
         nullptr,
         3,
         "",
         "Kann Schnittstelle $DIR/tty nicht öffnen",
         ""},
        {"port not a terminal",
         {"--port", "/dev/null", "read"},
         nullptr,
         3,
         "",
         "Kann Schnittstelle /dev/null nicht öffnen",
         ""},
        {"COMn through the settings file",
         {"--ini", "$DIR/KorvenCtrl.ini", "--port", "com1", "read"},
         nullptr,
         0,
         "HYS  Hysterese [%]                  2.0\n",
         "",
         ""},
        {"trace folder missing",
         {"--port", "$PORT", "--trace", "$DIR/missing/trace", "read"},
         nullptr,
         2,
         "",
         "File $DIR/missing/trace kann nicht geschrieben werden",
         ""},
        {"help of a command", {"write", "--help"}, nullptr, 0, "Usage: korvenctl [--port COMn|PATH] write", "", ""},
    };
    std::ofstream(m_dir / "KorvenCtrl.ini") << "[PORTS]\nCOM1=" << m_sim.DevicePath() << "\n";
    std::ofstream(m_dir / "empty.par") << "\x02SPAR:nothing here";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_sim.Update([&](SimOptions& o) {
            o = SimOptions{};
            if (row.faults)
                row.faults(o);
        });
        m_sim.SetParameters(RelayParameters{});
        m_sim.ClearReceivedFrames();
        const Outcome outcome = Run(row.args);
        auto expand = [this](std::string text) {
            if (const auto at = text.find("$DIR"); at != std::string::npos)
                text.replace(at, 4, m_dir.string());
            return text;
        };
        EXPECT_EQ(outcome.code, row.code) << outcome.err;
        EXPECT_NE(outcome.out.find(expand(row.out)), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(expand(row.err)), std::string::npos) << outcome.err;
        EXPECT_TRUE(row.err.empty() == outcome.err.empty()) << outcome.err;
        EXPECT_EQ(FramesStartingWith("SPAR"),
                  row.spar.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.spar});
    }
}

TEST_F(KorvenctlTest, SaveWritesTheProgramsRecordAndWriteSendsItBack)
{
    RelayParameters workedExample;
    workedExample.UPP = 15.0;
    workedExample.UMM = -20.0;
    workedExample.SVZ = 1.5;
    m_sim.SetParameters(workedExample);
    const Outcome saved = Run({"--port", "$PORT", "save", "$DIR/anlage"});
    EXPECT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(saved.out, (m_dir / "anlage.par").string() + "\n");
    std::ifstream in(m_dir / "anlage.par", std::ios::binary);
    const std::string record((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(record, "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;");

    // A relay whose set fails the checks is not saved: the file stays as it was.
    RelayParameters outOfRange;
    outOfRange.SWB = 200.0;
    m_sim.SetParameters(outOfRange);
    const Outcome refused = Run({"--port", "$PORT", "save", "$DIR/anlage.par"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.err, "Sollwertbezug nicht im Bereich 50 ... 150V\n\nDaten werden nicht gespeichert!\n");
    std::ifstream again(m_dir / "anlage.par", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), record);

    m_sim.SetParameters(RelayParameters{});
    const Outcome written = Run({"--port", "$PORT", "write", "$DIR/anlage.par"});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(m_sim.Parameters(), workedExample);
}

TEST_F(KorvenctlTest, FlashSendsTheProgramsFramesAndStopsWhereAsked)
{
    // Selects the first 64 KB and stores nothing: an image of all 0xFF.
    std::ofstream(m_dir / "blank.hex") << ":020000040000FA\n:00000001FF\n";
    std::ofstream(m_dir / "bad.hex") << ":020000040000FA\nnot a record\n";
    const std::string allF(192, 'F');
    struct Row {
        const char* name;
        const char* file;
        std::function<void(SimOptions&)> faults;
        bool interrupt; // Ctrl+C once the tenth program block is out
        int code;
        std::string out;
        std::string err;
        std::size_t frames; // received by the relay
    };
    const Row rows[] = {
        {"clean update", "blank.hex", nullptr, false, 0, "Verify Adresse 7680 (100%)\nVerify ok!\n", "", 484},
        {"verify block 5 refused", "blank.hex", [](SimOptions& o) { o.nak = {"V5"}; }, false, 1,
         "Programmiere Adresse 7680 (100%)\n", "Verify Adresse 192 --> Fehler!\n", 1 + 1 + 240 + 1 + 6},
        {"silent relay", "blank.hex", [](SimOptions& o) { o.silent = true; }, false, 1, "",
         "Keine Verbindung zum Gerät!\n", 1},
        {"bad HEX file", "bad.hex", nullptr, false, 2, "", "Das File ist kein gültiges HEX-File!\n", 0},
        {"Ctrl+C", "blank.hex", nullptr, true, 130, "", "korvenctl: stopped by Ctrl+C after Programmiere Adresse ", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_sim.Update([&](SimOptions& o) {
            o = SimOptions{};
            if (row.faults)
                row.faults(o);
        });
        m_sim.ClearReceivedFrames();
        std::atomic<bool> interrupted = false;
        std::thread presser([&] {
            if (row.interrupt && m_sim.WaitForFrames(12, std::chrono::seconds(30)))
                interrupted = true;
        });
        const Outcome outcome = Run({"--port", "$PORT", "flash", "$DIR/" + std::string(row.file)}, &interrupted);
        presser.join();
        EXPECT_EQ(outcome.code, row.code) << outcome.err;
        EXPECT_NE(outcome.out.find(row.out), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(row.err), std::string::npos) << outcome.err;

        const std::vector<std::string> frames = m_sim.ReceivedFrames();
        if (row.interrupt) {
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
    CSerialPort holder;
    ASSERT_EQ(holder.OpenPath(m_sim.DevicePath(), 19200), 0);
    const Outcome outcome = Run({"--port", "$PORT", "read"});
    EXPECT_EQ(outcome.code, 3);
    EXPECT_EQ(outcome.err, "Kann Schnittstelle " + m_sim.DevicePath() + " nicht öffnen\n");
}

} // namespace
