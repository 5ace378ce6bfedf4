#pragma once
// What every command of korvenctl works with: the console, the global options
// and the port, which is opened only once a command has checked its input.

#include "cli/korvenctl.h"
#include "cli/outcome.h"
#include "firmware/hex_image.h"
#include "port/serial_port.h"
#include "record/commissioning_record.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct GlobalOptions {
    std::string port;   // COMn or a device path
    std::string ini;    // settings file whose [PORTS] maps COMn, and [CONNECTION] COM
    std::string trace;  // protocol trace file
    std::string record; // commissioning record; else the one the --ini file names
    // Over several ports, for a command that serves them all itself (ports): each one.
    std::vector<std::string> ports;
};

class Session {
public:
    Session(const Console& console, GlobalOptions options);

    const Console& console() const { return m_console; }
    // Standard output as it is, for a command whose lines go out as they come
    // (live, ports): see Stream.
    std::ostream& out() const { return m_console.out; }
    // The exit code of the stop asked for (Ctrl+C, SIGTERM, SIGHUP); 0 while none was.
    int StopCode() const { return m_console.cancel != nullptr ? m_console.cancel->load() : 0; }
    bool Interrupted() const { return StopCode() != 0; }

    // Opens the port named by the options; on failure the port's own message is
    // the outcome's and the command ends with kExitPort. --port auto
    // takes the first port where a relay answers, and names it on standard error.
    bool OpenPort();
    // After a failed OpenPort: whether the port named may still come (its adapter
    // is not there yet, or another program holds it for now), so that a command
    // that polls can wait for it; not after --port auto found no relay.
    bool PortMayComeBack() const;
    // Whether this session serves every port of a run over several ports itself (ports).
    bool ManyPorts() const { return !m_options.ports.empty(); }
    // The ports given with --port, each as named; none for none or --port auto.
    std::vector<std::string> NamedPorts() const;
    // The port's messages go to standard error, and COMn is looked up in the
    // --ini file's [PORTS].
    void UsePortSettings();
    CSerialPort& Port() { return m_port; }

    // The commissioning record of --record, else the one [PROTOKOLL] DATEI of the
    // --ini file names; off where neither names one.
    const CommissioningRecord& Record() const { return m_record; }
    // False, with the record's message in the outcome, when the record is on
    // and cannot be written: a change of the relay must not start (kExitOutput).
    // Asked before the port is opened, so that nothing at all is sent.
    bool RecordAllowsChange();
    // Notes the change entry describes as started, on the disk before its first
    // frame; false, with the record's message in the outcome, when it could
    // not be noted: then nothing may be sent (kExitOutput).
    bool RecordStart(RecordEntry entry);
    // Notes entry with the port opened and the relay's version text as this
    // session read it, on the disk before the outcome is shown. code, or
    // kExitOutput (after the message) where a change that went well could not
    // be noted.
    int Record(RecordEntry entry, int code);
    // The set just read, and its version text: this session's relay from now
    // on, and a "found" entry where the record last showed another set for the
    // port. Reading changes nothing: a record that cannot take it is only said so.
    void RecordFoundSet(const ParameterSet& set, const std::string& version);

    // The port opened, as the record names it: "COM3" or a device path.
    const std::string& PortName() const { return m_portName; }
    // The relay's version text, once this run has read it.
    const std::string& Version() const { return m_version; }

    // A failure: message (the program's "\r\n" line ends as "\n") for standard
    // error, its first line the outcome's text; returns code.
    int Fail(int code, const std::string& message);
    // A message for standard error that is no outcome (a record that could not
    // take a reading, the relay found by --port auto).
    void Note(const std::string& message);
    // The operator's text of a command that went well, on its own line of
    // standard output, and the outcome's text.
    void Done(const std::string& text);
    // A line of standard output: a table's row, a difference.
    void Line(const std::string& text);
    // The outcome as data, for a command that gives JSON.
    void Data(Json data) { m_outcome.data = std::move(data); }
    // From here on lines and messages go out as they come (and what the outcome
    // holds so far at once), for a command that runs until it is stopped.
    void Stream();
    // An event of the firmware passes, shown as the console shows progress; null: the passes ended.
    void Progress(const ProgressEvent* event);
    // Where the progress goes instead of standard output (each port's bar over several ports).
    void ShowProgress(std::function<void(const ProgressEvent*)> show) { m_showProgress = std::move(show); }
    // The outcome so far, with code and the relay this session read; the
    // session's outcome starts again empty.
    Outcome TakeOutcome(int code);
    // A usage problem: the message and a hint to the command's help; kExitInput.
    int Usage(const std::string& command, const std::string& message);

private:
    bool OpenFoundPort();
    // Notes the device behind the port about to be opened, for the record.
    void NoteDevice();
    // Fills the record's port, device and version fields of entry from this
    // session's port and relay.
    void PlaceEntry(RecordEntry& entry) const;

    const Console& m_console;
    GlobalOptions m_options;
    CSerialPort m_port;
    CommissioningRecord m_record;
    int m_comNumber = 0;    // of the port opened; 0 for a device path
    std::string m_portName; // the port opened, as the record names it: "COM3" or a device path
    std::string m_device;   // the device behind COMn as it was opened; empty where the name says it
    std::string m_version;  // the relay's version text, once this run has read it
    std::optional<ParameterSet> m_set; // the relay's set, once this run has read it
    Outcome m_outcome;
    bool m_streaming = false;
    std::function<void(const ProgressEvent*)> m_showProgress;
    std::size_t m_barWidth = 0; // of the progress bar last drawn on standard output
    ProgressText m_progress;
};

// What asked for the stop that code is the exit code of: "Ctrl+C", "SIGTERM", "SIGHUP".
std::string StopName(int code);

// Turns the program's "\r\n" line ends into "\n" for a terminal or a pipe.
std::string UnixLines(std::string text);
// Outside text (a relay's version text, a USB descriptor string, a device name)
// as a terminal may show it: every control character, and every byte that is no
// UTF-8, becomes '?', so that no such text breaks a line, moves the cursor or
// rewrites what a line shows.
std::string TerminalText(std::string_view text);
// A message with outside text in it: its line ends as UnixLines makes them, each line as TerminalText.
std::string TerminalLines(const std::string& message);

// Counts characters, not bytes, so that umlauts line up.
std::size_t DisplayWidth(std::string_view text);

// Shows an outcome: its lines in the order they came, standard error's as a
// terminal may show them; where json, its data instead of its standard output.
void ShowOutcome(const Outcome& outcome, bool json, std::ostream& out, std::ostream& err);

} // namespace cli
