#include "cli/commands.h"

namespace cli {

const std::vector<CommandSpec>& Commands()
{
    static const std::vector<CommandSpec> commands = {
        {"live", "live [--csv] [--count N]", "the live reading once a second",
         "Polls the relay's live reading once a second and prints one line each: the time\n"
         "and the value, or -------- when no valid answer came. Runs until Ctrl+C, or N\n"
         "times with --count. Exits with 1 when any reading went unanswered, and with 3\n"
         "when the port never opened. A port whose adapter is not there (or that another\n"
         "program holds) is tried again at each reading, as an adapter pulled out and\n"
         "plugged in again is.\n"
         "With --csv the output is a CSV file for a spreadsheet, written line by line:\n"
         "UTF-8 with a byte-order mark, the header Zeit;Messwert [V], then the local time\n"
         "(ISO 8601) and the value with a decimal comma, separated by ';', empty where no\n"
         "valid answer came; lines end in CR LF. Redirect it into a .csv file. Its times\n"
         "never go backwards: after the clock was set back, readings are left out (with a\n"
         "note on standard error) until it passes the time of the last line again.\n",
         MakeLive},
        {"read", "read [--format par|table|json]", "the relay's parameter set",
         "Reads the relay's parameter set (GPAR) and prints it with the device texts\n"
         "(Version, Kal.-Faktor, Mittenspannung): as a table (the default), as JSON, or\n"
         "as the parameter text of a .par file (par). A missing or garbled answer prints\n"
         "\"Die Daten konnten nicht übertragen werden!\" and exits with 1.\n",
         MakeRead},
        {"save", "save FILE.par", "save the relay's set as a parameter file",
         "Reads the relay's set and writes it as the program's parameter file (a name\n"
         "not ending in .par gets .par appended), replacing the file in one step so that\n"
         "it is never left half-written, and prints the file's name. A set that fails\n"
         "the program's checks is not saved (exit 2).\n",
         MakeSave},
        {"write", "write FILE.par|--set KEY=VALUE... [--dry-run]", "check and write parameters",
         "Reads the relay's set, replaces the values that the parameter file's first line\n"
         "holds, or the values given with --set (keys HYS SWB UPL UPP UMI UMM SVZ as\n"
         "numbers with a decimal point, INV as 0 or 1), runs the program's eleven\n"
         "plausibility checks and sends the set (SPAR). A failed check prints its message\n"
         "and exits with 2; nothing is sent. --dry-run prints the frame instead of\n"
         "sending it. Without an acknowledgement it prints \"Die Daten konnten nicht\n"
         "übertragen werden!\" and exits with 1.\n",
         MakeWrite},
        {"compare", "compare [--against FILE.par] [--format table|json]", "does the relay hold its reference?",
         "Reads the relay's set (GPAR) and compares it with its reference: the set the\n"
         "commissioning record (--record, or the --ini file's) last noted as written to\n"
         "this port and acknowledged by the relay (\"Parameter geschrieben\", \"Parameter\n"
         "aus Datei geschrieben\", \"Parameter wiederhergestellt\"); an entry cut off or\n"
         "with a wrong check digit is never one. With --against the reference is a\n"
         "parameter file instead (over several ports {port} in its name takes each\n"
         "port's, as for save); what the file does not give counts as the relay's.\n"
         "Prints that the relay holds its reference (naming the entry's time or the\n"
         "file), or that it differs, and each parameter that differs, the relay's value\n"
         "beside the reference's, and the relay's version beside the one the entry noted\n"
         "where they differ. --format json gives the same as data. Exits with 0 when the\n"
         "relay holds its reference, 5 when its set differs, 2 when there is no reference\n"
         "(no entry for the port, no record, a record or file that cannot be read).\n",
         MakeCompare},
        {"restore", "restore [--against FILE.par]", "write the reference back where it differs",
         "Compares as compare does, and where the relay's set differs from its reference\n"
         "writes the reference to it (SPAR) after the program's checks, as write does; a\n"
         "relay that holds it gets nothing. The record notes \"Parameter wiederhergestellt\"\n"
         "with the set before, the set sent and where it came from in Datei (\"Protokoll\n"
         "<time of the entry>\", or the file's name), its start before the first frame.\n"
         "Over several ports nothing is sent to any relay until every port has passed\n"
         "its checks and noted its start: a port without a reference stops them all.\n",
         MakeRestore},
        {"flash", "flash FILE.hex", "program and verify new firmware",
         "Loads the Intel-HEX file with the program's rules (a file that cannot be read,\n"
         "has a line without a colon or puts no byte into the image is refused, exit 2,\n"
         "before anything is sent), checks that the relay answers,\n"
         "then programs the 240 blocks, verifies them and restarts the relay, with the\n"
         "program's status texts: as a progress bar on a terminal, otherwise one line at\n"
         "each tenth of a pass. A verify block the relay does not acknowledge ends with\n"
         "\"Verify Adresse N --> Fehler!\" (exit 1). Ctrl+C, SIGTERM or SIGHUP stops\n"
         "between two blocks, says where, and exits with 130, 143 or 129.\n",
         MakeFlash},
        {"calibrate", "calibrate 0|100", "calibrate at 0 V or 100 V",
         "Tells the relay to calibrate itself with 0 V, or about 100 V, at its measuring\n"
         "input (KAL0 or K100), and prints the program's result: \"Kalibrierung 0V OK!\"\n"
         "or \"Kalibrierung 100V OK!\"; when the relay refuses, the failure text with its\n"
         "possible causes, and \"Receive-TimeOut\" when it does not answer (exit 1).\n",
         MakeCalibrate, true, false},
        {"test-com3", "test-com3", "test the relay's third serial port",
         "Asks the relay to test its third serial port (TCM3) and prints \"Test COM3 OK!\",\n"
         "or \"Test COM3 fehlgeschlagen!\" and exits with 1.\n",
         MakeTestCom3, true, false},
        {"ports", "ports [--probe]", "the serial ports where a relay may be",
         "Lists every port where a relay may be (with --port, that port alone), in the\n"
         "order --port auto tries them, one a line: the name (COMn, or the device where no\n"
         "COMn names it; on Linux COMn as the --ini file's [PORTS] maps it, else\n"
         "/dev/ttyS<n-1> where that has a UART), the device behind it, what the system\n"
         "says it is (USB ids and names, serial number; on Windows the friendly name) and\n"
         "its state: present, missing, busy (another program holds it), not permitted, not\n"
         "serial or not opened. Each port is opened and closed again at once; one that\n"
         "another program holds is only reported. On Windows the serial port of a\n"
         "Bluetooth device shows as \"Bluetooth, not searched\": its open can block for half\n"
         "a minute, so neither this list nor --port auto opens it unless --port names it.\n"
         "--probe also asks each present port for a live reading and adds \"relay\" with the\n"
         "relay's version text, or \"no relay\"; it exits with 1 when no relay answers.\n",
         MakePorts, false},
    };
    return commands;
}

} // namespace cli
