// The fault matrix: every workflow that talks to the relay, run end to end
// against korven-sim in each of its fault modes. Each cell names what the
// operator must see (message boxes, lamp and reading, fields) and what reaches
// the relay; the runner describes what happened in the same words, so a cell
// passes when the two agree. Running the whole program prints the matrix.
// Some cells reach COM1 through a device server (ser2net) instead of the
// relay's own line. The same table runs on the Qt kit on Linux and on
// the Win32 kit under Wine.

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "firmware/firmware_dlg.h"
#include "tests/support/window_fixture.h"

namespace {

enum class Workflow {
    LiveReading,
    ReadParameters,
    WriteParameters,
    LoadFile,
    Calibrate0V,
    Calibrate100V,
    PortTest,
    FirmwareUpdate,
};
enum class Fault { None, Silent, Echo, BadChecksum, Nak, Drop, ExtraByte, Chatter, NotANumber, PtyClosed };

// Where a workflow's NAK and drop faults aim: its command, or for the firmware
// update every program block refused (the relay holds nothing to verify) and every
// verify block unanswered: a whole programming pass either way, but a verify pass
// that stops at its first block.
struct WorkflowInfo {
    const char* name;
    const char* nak;
    const char* drop;
};

// clang-format off
const std::map<Workflow, WorkflowInfo> kWorkflows = {
    {Workflow::LiveReading,     {"live reading",   "GMWT", "GMWT"}},
    {Workflow::ReadParameters,  {"read 1008",      "GPAR", "GPAR"}},
    {Workflow::WriteParameters, {"write 1009",     "SPAR", "SPAR"}},
    {Workflow::LoadFile,        {"load 1007",      "SPAR", "SPAR"}},
    {Workflow::Calibrate0V,     {"calibrate 0V",   "KAL0", "KAL0"}},
    {Workflow::Calibrate100V,   {"calibrate 100V", "K100", "K100"}},
    {Workflow::PortTest,        {"port test",      "TCM3", "TCM3"}},
    {Workflow::FirmwareUpdate,  {"firmware 1023",  "P*",   "V*"}},
};

struct FaultInfo {
    const char* name;
    void (*inject)(SimOptions&, const WorkflowInfo&);
};

// The pty is closed by each workflow at its own middle: the relay is unplugged
// rather than stopped, so that the cell can still ask what it received (under
// Wine a stopped korven-sim has ended, and its control channel with it).
const std::map<Fault, FaultInfo> kFaults = {
    {Fault::None,        {"none",         [](SimOptions&, const WorkflowInfo&) {}}},
    {Fault::Silent,      {"silent",       [](SimOptions& o, const WorkflowInfo&) { o.silent = true; }}},
    {Fault::Echo,        {"echo",         [](SimOptions& o, const WorkflowInfo&) { o.echo = true; }}},
    {Fault::BadChecksum, {"bad checksum", [](SimOptions& o, const WorkflowInfo&) { o.badChecksum = true; }}},
    {Fault::Nak,         {"NAK",          [](SimOptions& o, const WorkflowInfo& w) { o.nak.insert(w.nak); }}},
    {Fault::Drop,        {"drop",         [](SimOptions& o, const WorkflowInfo& w) { o.drop.insert(w.drop); }}},
    {Fault::ExtraByte,   {"extra byte",   [](SimOptions& o, const WorkflowInfo&) { o.extraByte = true; }}},
    {Fault::Chatter,     {"chatter",      [](SimOptions& o, const WorkflowInfo&) { o.chatter = true; }}},
    {Fault::NotANumber,  {"value abc",    [](SimOptions& o, const WorkflowInfo&) { o.value = "abc"; }}},
    {Fault::PtyClosed,   {"pty closed",   [](SimOptions&, const WorkflowInfo&) {}}},
};
// clang-format on

// How COM1 reaches the relay: its pty, or ser2net in front of it over RFC 2217.
enum class Line { Pty, Ser2net };

struct Cell {
    Workflow workflow;
    Fault fault;
    const char* expected;
    Line line = Line::Pty;
};

std::string FaultName(const Cell& cell)
{
    return kFaults.at(cell.fault).name + std::string(cell.line == Line::Ser2net ? ", ser2net" : "");
}

void PrintTo(const Cell& cell, std::ostream* os)
{
    *os << kWorkflows.at(cell.workflow).name << " / " << FaultName(cell);
}

// clang-format off
const Cell kCells[] = {
    {Workflow::LiveReading, Fault::None,        "green 230.4"},
    {Workflow::LiveReading, Fault::Silent,      "red --------"},
    {Workflow::LiveReading, Fault::Echo,        "red --------"},
    {Workflow::LiveReading, Fault::BadChecksum, "red --------"},
    {Workflow::LiveReading, Fault::Nak,         "red --------"},
    {Workflow::LiveReading, Fault::Drop,        "red --------"},
    {Workflow::LiveReading, Fault::ExtraByte,   "green 230.4"},
    {Workflow::LiveReading, Fault::Chatter,     "red --------"},
    {Workflow::LiveReading, Fault::NotANumber,  "green 0.0"},
    {Workflow::LiveReading, Fault::PtyClosed,   "red --------"},
    {Workflow::LiveReading, Fault::None,        "green 230.4",  Line::Ser2net},
    {Workflow::LiveReading, Fault::Silent,      "red --------", Line::Ser2net},

    {Workflow::ReadParameters, Fault::None,        "Meldung: Übertragung der Daten ok. | fields from the relay"},
    {Workflow::ReadParameters, Fault::Silent,      "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::Echo,        "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::BadChecksum, "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::Nak,         "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::Drop,        "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::ExtraByte,   "Meldung: Übertragung der Daten ok. | fields from the relay"},
    {Workflow::ReadParameters, Fault::Chatter,     "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::NotANumber,  "Meldung: Übertragung der Daten ok. | fields from the relay"},
    {Workflow::ReadParameters, Fault::PtyClosed,   "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed"},
    {Workflow::ReadParameters, Fault::None,        "Meldung: Übertragung der Daten ok. | fields from the relay", Line::Ser2net},
    {Workflow::ReadParameters, Fault::Silent,      "Fehler: Die Daten konnten nicht übertragen werden! | fields as typed", Line::Ser2net},

    // The preview's left column shows what the read brought, or the last values known.
    {Workflow::WriteParameters, Fault::None,        "preview | Meldung: Übertragung der Daten ok. | relay took the set"},
    {Workflow::WriteParameters, Fault::Silent,      "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay kept its set"},
    {Workflow::WriteParameters, Fault::Echo,        "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay kept its set"},
    {Workflow::WriteParameters, Fault::BadChecksum, "preview | Meldung: Übertragung der Daten ok. | relay took the set"},
    {Workflow::WriteParameters, Fault::Nak,         "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay kept its set"},
    {Workflow::WriteParameters, Fault::Drop,        "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay kept its set"},
    // ACK and a stray byte is not an acknowledgement, although the relay took the set.
    {Workflow::WriteParameters, Fault::ExtraByte,   "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay took the set"},
    {Workflow::WriteParameters, Fault::Chatter,     "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay took the set"},
    {Workflow::WriteParameters, Fault::NotANumber,  "preview | Meldung: Übertragung der Daten ok. | relay took the set"},
    // The line goes while the preview is open.
    {Workflow::WriteParameters, Fault::PtyClosed,   "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay kept its set"},
    {Workflow::WriteParameters, Fault::None,        "preview | Meldung: Übertragung der Daten ok. | relay took the set", Line::Ser2net},
    {Workflow::WriteParameters, Fault::Silent,      "preview | Fehler: Die Daten konnten nicht übertragen werden! | relay kept its set", Line::Ser2net},

    // The relay is read first; after a failed write the fields go back to what it held.
    {Workflow::LoadFile, Fault::None,        "preview | Meldung: Übertragung der Daten ok. | fields from the file | relay took the set"},
    {Workflow::LoadFile, Fault::Silent,      "Fehler: Die Daten konnten nicht übertragen werden! | preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay kept its set"},
    {Workflow::LoadFile, Fault::Echo,        "Fehler: Die Daten konnten nicht übertragen werden! | preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay kept its set"},
    {Workflow::LoadFile, Fault::BadChecksum, "Fehler: Die Daten konnten nicht übertragen werden! | preview | Meldung: Übertragung der Daten ok. | fields from the file | relay took the set"},
    {Workflow::LoadFile, Fault::Nak,         "preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay kept its set"},
    {Workflow::LoadFile, Fault::Drop,        "preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay kept its set"},
    {Workflow::LoadFile, Fault::ExtraByte,   "preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay took the set"},
    {Workflow::LoadFile, Fault::Chatter,     "Fehler: Die Daten konnten nicht übertragen werden! | preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay took the set"},
    {Workflow::LoadFile, Fault::NotANumber,  "preview | Meldung: Übertragung der Daten ok. | fields from the file | relay took the set"},
    {Workflow::LoadFile, Fault::PtyClosed,   "preview | Fehler: Die Daten konnten nicht übertragen werden! | fields from the relay | relay kept its set"},

    // A calibration reports a lone ACK or NAK, or silence; any other reply earns no message.
    {Workflow::Calibrate0V, Fault::None,        "KAL0 sent | KorvenCtrl: Kalibrierung 0V OK!"},
    {Workflow::Calibrate0V, Fault::Silent,      "KAL0 sent | KorvenCtrl: Receive-TimeOut"},
    {Workflow::Calibrate0V, Fault::Echo,        "KAL0 sent | no message"},
    {Workflow::Calibrate0V, Fault::BadChecksum, "KAL0 sent | KorvenCtrl: Kalibrierung 0V OK!"},
    {Workflow::Calibrate0V, Fault::Nak,         "KAL0 sent | KorvenCtrl: Kalibrierung fehlgeschlagen!\\r\\n\\r\\nMögliche Ursachen:\\r\\n- gemessene Eingangsspannung zu hoch (keine 0V)"},
    {Workflow::Calibrate0V, Fault::Drop,        "KAL0 sent | KorvenCtrl: Receive-TimeOut"},
    {Workflow::Calibrate0V, Fault::ExtraByte,   "KAL0 sent | no message"},
    {Workflow::Calibrate0V, Fault::Chatter,     "KAL0 sent | no message"},
    {Workflow::Calibrate0V, Fault::NotANumber,  "KAL0 sent | KorvenCtrl: Kalibrierung 0V OK!"},
    {Workflow::Calibrate0V, Fault::PtyClosed,   "nothing sent | KorvenCtrl: Receive-TimeOut"},

    {Workflow::Calibrate100V, Fault::None,        "K100 sent | KorvenCtrl: Kalibrierung 100V OK!"},
    {Workflow::Calibrate100V, Fault::Silent,      "K100 sent | KorvenCtrl: Receive-TimeOut"},
    {Workflow::Calibrate100V, Fault::Echo,        "K100 sent | no message"},
    {Workflow::Calibrate100V, Fault::BadChecksum, "K100 sent | KorvenCtrl: Kalibrierung 100V OK!"},
    {Workflow::Calibrate100V, Fault::Nak,         "K100 sent | KorvenCtrl: Kalibrierung fehlgeschlagen!\\r\\n\\r\\nMögliche Ursachen:\\r\\n- 0V nicht kalibriert\\r\\n- gemessene Eingangsspannung < ca.90V oder > ca.120V"},
    {Workflow::Calibrate100V, Fault::Drop,        "K100 sent | KorvenCtrl: Receive-TimeOut"},
    {Workflow::Calibrate100V, Fault::ExtraByte,   "K100 sent | no message"},
    {Workflow::Calibrate100V, Fault::Chatter,     "K100 sent | no message"},
    {Workflow::Calibrate100V, Fault::NotANumber,  "K100 sent | KorvenCtrl: Kalibrierung 100V OK!"},
    {Workflow::Calibrate100V, Fault::PtyClosed,   "nothing sent | KorvenCtrl: Receive-TimeOut"},

    // The port test passes on a lone ACK only.
    {Workflow::PortTest, Fault::None,        "TCM3 sent | KorvenCtrl: Test COM3 OK!"},
    {Workflow::PortTest, Fault::Silent,      "TCM3 sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},
    {Workflow::PortTest, Fault::Echo,        "TCM3 sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},
    {Workflow::PortTest, Fault::BadChecksum, "TCM3 sent | KorvenCtrl: Test COM3 OK!"},
    {Workflow::PortTest, Fault::Nak,         "TCM3 sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},
    {Workflow::PortTest, Fault::Drop,        "TCM3 sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},
    {Workflow::PortTest, Fault::ExtraByte,   "TCM3 sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},
    {Workflow::PortTest, Fault::Chatter,     "TCM3 sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},
    {Workflow::PortTest, Fault::NotANumber,  "TCM3 sent | KorvenCtrl: Test COM3 OK!"},
    {Workflow::PortTest, Fault::PtyClosed,   "nothing sent | KorvenCtrl: Test COM3 fehlgeschlagen!"},

    // The programming pass goes on whatever the replies; only the verify pass tells,
    // and it stops at its first bad block. Closing reads the parameters again.
    {Workflow::FirmwareUpdate, Fault::None,        "Verify ok! | restart sent | relay stored every block"},
    {Workflow::FirmwareUpdate, Fault::Silent,      "Verify Adresse 32 --> Fehler! | no restart | relay stored no block | Fehler: Die Daten konnten nicht übertragen werden!"},
    {Workflow::FirmwareUpdate, Fault::Echo,        "Verify Adresse 32 --> Fehler! | no restart | relay stored no block | Fehler: Die Daten konnten nicht übertragen werden!"},
    {Workflow::FirmwareUpdate, Fault::BadChecksum, "Verify ok! | restart sent | relay stored every block | Fehler: Die Daten konnten nicht übertragen werden!"},
    {Workflow::FirmwareUpdate, Fault::Nak,         "Verify Adresse 32 --> Fehler! | no restart | relay stored no block"},
    {Workflow::FirmwareUpdate, Fault::Drop,        "Verify Adresse 32 --> Fehler! | no restart | relay stored every block"},
    // Every block stored, but ACK and a stray byte is no acknowledgement.
    {Workflow::FirmwareUpdate, Fault::ExtraByte,   "Verify Adresse 32 --> Fehler! | no restart | relay stored every block"},
    {Workflow::FirmwareUpdate, Fault::Chatter,     "Verify Adresse 32 --> Fehler! | no restart | relay stored every block | Fehler: Die Daten konnten nicht übertragen werden!"},
    {Workflow::FirmwareUpdate, Fault::NotANumber,  "Verify ok! | restart sent | relay stored every block"},
    // The line goes after the twentieth program block.
    {Workflow::FirmwareUpdate, Fault::PtyClosed,   "Verify Adresse 32 --> Fehler! | no restart | relay stored some blocks | Fehler: Die Daten konnten nicht übertragen werden!"},
    {Workflow::FirmwareUpdate, Fault::None,        "Verify ok! | restart sent | relay stored every block", Line::Ser2net},
};
// clang-format on

// A cell that takes longer than this has waited for something that never comes. A
// firmware update takes about 18 s on a quiet line, 40 s when every block waits
// for its read time-out.
constexpr auto kCellBound = std::chrono::seconds(15);
constexpr auto kFirmwareCellBound = std::chrono::seconds(90);

// The Hysterese the field holds before the workflow, the relay's own, and the file's.
const std::string kTyped = "3.5";
const std::string kRelays = "2.0";
const std::string kFiles = "4.5";
const std::string kFileRecord = "\x02SPAR:HYS4.5;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;";

struct CellResult {
    Cell cell;
    std::string seen;
    bool passed;
};

std::vector<CellResult>& Results()
{
    static std::vector<CellResult> results;
    return results;
}

// Prints the matrix of every cell run in this process when the run ends.
class MatrixPrinter : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (Results().empty())
            return;
        std::printf("\n%-14s %-16s %s\n", "workflow", "fault", "outcome");
        for (const CellResult& r : Results()) {
            std::printf("%-14s %-16s %s%s\n", kWorkflows.at(r.cell.workflow).name, FaultName(r.cell).c_str(),
                        r.passed ? "" : "FAILED, expected ", r.cell.expected);
            if (!r.passed)
                std::printf("%31s seen %s\n", "", r.seen.c_str());
        }
    }
};

const auto* const kPrinter = ::testing::AddGlobalTestEnvironment(new MatrixPrinter);

class FaultMatrix : public WindowTest, public ::testing::WithParamInterface<Cell> {
protected:
    // A window whose first tick found the relay and read its parameters, with the
    // Hysterese field then typed over. Skips where the cell needs ser2net and it
    // is not installed.
    void Connect(Line line)
    {
        SimOptions options;
        options.value = "230.4";
        StartSim(options);
        if (line == Line::Ser2net) {
            std::string error;
            const std::string url = sim->DeviceServerUrl(true, &error);
            if (url.empty() && error == kNoDeviceServer)
                GTEST_SKIP() << error;
            ASSERT_FALSE(url.empty()) << error;
            WriteIni("[PORTS]\nCOM1=" + url + "\n");
        }
        OpenWindow();
        Tick();
        ASSERT_TRUE(dlg->Connected());
        // Each cell runs one workflow: no live reading may slip in between its steps.
        dlg->KillTimer(kLiveReadingTimer);
        Type(IDC_HYS, kTyped);
        ui.messages.clear();
        sim->ClearReceivedFrames();
    }

    // The message boxes shown (from the first'th on), as "caption: text" on one line.
    std::string Messages(std::size_t first = 0, std::size_t end = SIZE_MAX) const
    {
        std::string seen;
        for (std::size_t i = first; i < std::min(end, ui.messages.size()); ++i) {
            const ui::MessageRequest& m = ui.messages[i];
            std::string text = m.text;
            for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 4))
                text.replace(at, 2, "\\r\\n");
            seen += (seen.empty() ? "" : " | ") + m.caption + ": " + text;
        }
        return seen;
    }

    // Whether the relay received the command; unplugged relays receive nothing.
    std::string Sent(const std::string& command) const
    {
        for (const std::string& frame : sim->ReceivedFrames()) {
            if (frame.compare(1, command.size(), command) == 0)
                return command + " sent";
        }
        return "nothing sent";
    }

    std::string ServiceButton(Workflow workflow, int button, bool closeFirst)
    {
        if (closeFirst)
            sim->Unplug();
        dlg->SendCommand(button);
        return Joined({Sent(kWorkflows.at(workflow).nak), ui.messages.empty() ? "no message" : Messages()});
    }

    static std::string Joined(const std::vector<std::string>& parts)
    {
        std::string out;
        for (const std::string& part : parts) {
            if (!part.empty())
                out += (out.empty() ? "" : " | ") + part;
        }
        return out;
    }

    std::string LiveReading(bool closeFirst)
    {
        if (closeFirst)
            sim->Unplug();
        Tick();
        std::string shown = Text(IDC_MEASURED);
        shown.erase(0, shown.find_first_not_of(' '));
        const bool green = Shown(IDC_LAMP_GREEN) && !Shown(IDC_LAMP_RED) && dlg->Connected();
        return Joined({std::string(green ? "green " : "red ") + shown, Messages()});
    }

    std::string Fields() const
    {
        const std::string hys = Text(IDC_HYS);
        return hys == kRelays  ? "fields from the relay"
               : hys == kTyped ? "fields as typed"
               : hys == kFiles ? "fields from the file"
                               : "Hysterese " + hys;
    }

    std::string Relay(const std::string& sent) const
    {
        const std::string hys = FormatFixed(sim->Parameters().HYS, 0, 1);
        return hys == sent      ? "relay took the set"
               : hys == kRelays ? "relay kept its set"
                                : "relay has Hysterese " + hys;
    }

    std::string ReadParameters(bool closeFirst)
    {
        if (closeFirst)
            sim->Unplug();
        dlg->SendCommand(IDC_DEVICE_TO_PC);
        return Joined({Messages(), Fields()});
    }

    // Runs command, which opens the preview; OK is pressed in it, after the line
    // has gone if closeInPreview. The messages before the preview come first.
    std::string ThroughPreview(int command, bool closeInPreview)
    {
        auto messagesBefore = std::make_shared<std::optional<std::size_t>>();
        WhenModalOpens([this, messagesBefore, closeInPreview](ui::CDialog& modal) {
            *messagesBefore = ui.messages.size();
            if (closeInPreview)
                sim->Unplug();
            modal.SendCommand(ui::IDOK);
        });
        dlg->SendCommand(command);
        if (!*messagesBefore)
            return Joined({Messages(), "no preview"});
        return Joined({Messages(0, **messagesBefore), "preview", Messages(**messagesBefore)});
    }

    std::string WriteParameters(bool closeInPreview)
    {
        const std::string seen = ThroughPreview(IDC_PC_TO_DEVICE, closeInPreview);
        return Joined({seen, Relay(kTyped)});
    }

    std::string LoadFile(bool closeInPreview)
    {
        // Written by its path object: a narrow name would take the ANSI code page on Windows.
        std::ofstream(folder / "anlage.par", std::ios::binary) << kFileRecord;
        ui.files.push_back(PathToUtf8(folder / "anlage.par"));
        const std::string seen = ThroughPreview(IDC_LOAD_PARAMS, closeInPreview);
        return Joined({seen, Fields(), Relay(kFiles)});
    }

    // Presses button 1023; the dialog loads the file by itself, then "Upload" runs
    // both passes and "Schließen" ends it. closeMidway stops the relay during programming.
    std::string FirmwareUpdate(bool closeMidway)
    {
        const std::string hex = ":020000040000FA\n:0800000011223300445566000C\n:04010000A1B2C3D4F3\n";
        std::ofstream(folder / "relay.hex", std::ios::binary) << hex;
        ui.files.push_back(PathToUtf8(folder / "relay.hex"));
        auto status = std::make_shared<std::string>("dialog not run");
        WhenModalOpens([this, status, closeMidway](ui::CDialog& modal) {
            auto* firmware = dynamic_cast<CFirmwareDlg*>(&modal);
            if (firmware == nullptr ||
                !ui::WaitUntil([firmware] { return firmware->IsItemVisible(IDC_UPLOAD); }, 10000)) {
                *status = "file not loaded";
                modal.SendCommand(ui::IDOK);
                return;
            }
            std::shared_ptr<void> stopper;
            if (closeMidway) {
                // The pass lets the window system run after each block.
                stopper = Every(1, [this] {
                    if (sim->ReceivedFrames().size() < 21) // FWUP and twenty blocks
                        return false;
                    sim->Unplug();
                    return true;
                });
            }
            firmware->SendCommand(IDC_UPLOAD);
            *status = firmware->GetItemText(IDC_FIRMWARE_STATUS);
            firmware->SendCommand(ui::IDOK);
        });
        dlg->SendCommand(IDC_FIRMWARE);

        const std::size_t held = sim->FirmwareBlocks().size();
        return Joined({*status, FramesStartingWith("GMWT:") > 0 ? "restart sent" : "no restart",
                       std::string(held == RelayModel::kBlockCount ? "relay stored every block"
                                   : held == 0                     ? "relay stored no block"
                                                                   : "relay stored some blocks"),
                       Messages()});
    }

    std::string Run(Workflow workflow, bool closeInTheMiddle)
    {
        switch (workflow) {
        case Workflow::LiveReading:
            return LiveReading(closeInTheMiddle);
        case Workflow::ReadParameters:
            return ReadParameters(closeInTheMiddle);
        case Workflow::WriteParameters:
            return WriteParameters(closeInTheMiddle);
        case Workflow::LoadFile:
            return LoadFile(closeInTheMiddle);
        case Workflow::Calibrate0V:
            return ServiceButton(workflow, IDC_CALIBRATE_0V, closeInTheMiddle);
        case Workflow::Calibrate100V:
            return ServiceButton(workflow, IDC_CALIBRATE_100V, closeInTheMiddle);
        case Workflow::PortTest:
            return ServiceButton(workflow, IDC_TEST_COM3, closeInTheMiddle);
        case Workflow::FirmwareUpdate:
            return FirmwareUpdate(closeInTheMiddle);
        }
        return "unknown workflow";
    }
};

TEST_P(FaultMatrix, OutcomeAsExpected)
{
    const Cell& cell = GetParam();
    ASSERT_NO_FATAL_FAILURE(Connect(cell.line));
    if (IsSkipped())
        return;
    sim->Update([&](SimOptions& o) { kFaults.at(cell.fault).inject(o, kWorkflows.at(cell.workflow)); });

    const auto start = std::chrono::steady_clock::now();
    const std::string seen = Run(cell.workflow, cell.fault == Fault::PtyClosed);
    const auto took = std::chrono::steady_clock::now() - start;

    const auto bound = cell.workflow == Workflow::FirmwareUpdate ? kFirmwareCellBound : kCellBound;
    EXPECT_EQ(seen, cell.expected);
    EXPECT_LT(took, bound) << "the workflow held the window";
    Results().push_back({cell, seen, seen == cell.expected && took < bound});
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info)
{
    std::string name = std::string(kWorkflows.at(info.param.workflow).name) + "_" + FaultName(info.param);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Workflows, FaultMatrix, ::testing::ValuesIn(kCells), CellName);

} // namespace
