#include "cli/korvenctl.h"

#include "cli/commands.h"
#include "cli/session.h"
#include "files/settings_file.h"
#include "link/trace.h"
#include "params/parameter_file.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>

namespace cli {

namespace {

constexpr int kBaudRate = 19200;

const char kOverview[] = "Usage: korvenctl [--port COMn|PATH] [--ini FILE] [--trace FILE] COMMAND [ARGUMENTS]\n"
                         "Reads, checks, writes and services a KORVEN relay over a serial line.\n"
                         "\n"
                         "  --port COMn|PATH  the port: COMn as the program resolves it (key COMn of [PORTS]\n"
                         "                    in the --ini file, else /dev/ttyS<n-1>), or a device path\n"
                         "  --ini FILE        a KorvenCtrl.ini; without --port its [CONNECTION] COM is used\n"
                         "  --trace FILE      append every byte sent and received to FILE\n"
                         "  --help            this text; COMMAND --help explains a command\n"
                         "\n"
                         "Commands:\n";

const char kExitCodes[] = "\n"
                          "Exit codes: 0 success, 1 the relay refused or did not answer, 2 bad input\n"
                          "(usage, checks, files), 3 the port could not be opened, 4 the output could\n"
                          "not be written, 130 flash stopped by Ctrl+C.\n";

struct Parsed {
    GlobalOptions options;
    std::string command;
    Arguments args;
    bool help = false;
};

// Splits global options from the command and its arguments; global options may
// stand before or after the command. A message on error.
std::optional<std::string> ParseGlobal(const Arguments& args, Parsed& parsed)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
        }
        std::string* target = name == "--port"    ? &parsed.options.port
                              : name == "--ini"   ? &parsed.options.ini
                              : name == "--trace" ? &parsed.options.trace
                                                  : nullptr;
        if (target != nullptr) {
            if (!value && i + 1 < args.size())
                value = args[++i];
            if (!value || value->empty())
                return name + " needs a value";
            *target = *value;
        } else if (parsed.command.empty() && (name == "--help" || name == "-h")) {
            parsed.help = true;
        } else if (parsed.command.empty() && !name.empty() && name[0] == '-') {
            return "unknown option: " + args[i];
        } else if (parsed.command.empty()) {
            parsed.command = args[i];
        } else {
            parsed.args.push_back(args[i]);
        }
    }
    return std::nullopt;
}

void PrintOverview(std::ostream& out)
{
    out << kOverview;
    for (const CommandSpec& spec : Commands()) {
        const std::string synopsis = spec.synopsis;
        out << "  " << synopsis << std::string(synopsis.size() < 47 ? 47 - synopsis.size() : 1, ' ') << spec.summary
            << "\n";
    }
    out << kExitCodes;
}

const CommandSpec* FindCommand(const std::string& name)
{
    const auto& commands = Commands();
    const auto it =
        std::find_if(commands.begin(), commands.end(), [&](const CommandSpec& spec) { return name == spec.name; });
    return it == commands.end() ? nullptr : &*it;
}

bool AsksForHelp(const Arguments& args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

// "COM3" (any case) gives 3; anything else is a device path.
std::optional<int> ComNumber(const std::string& port)
{
    if (port.size() < 4 || port.size() > 6)
        return std::nullopt;
    std::string word = port.substr(0, 3);
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::toupper(c); });
    if (word != "COM" || !std::all_of(port.begin() + 3, port.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const int number = std::stoi(port.substr(3));
    return number >= 1 ? std::optional<int>(number) : std::nullopt;
}

} // namespace

std::string UnixLines(std::string text)
{
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

int Session::Fail(int code, const std::string& message) const
{
    m_console.err << UnixLines(message) << std::endl;
    return code;
}

int Session::Usage(const std::string& command, const std::string& message) const
{
    m_console.err << "korvenctl: " << message << "\nTry 'korvenctl " << (command.empty() ? "" : command + " ")
                  << "--help'." << std::endl;
    return kExitInput;
}

bool Session::OpenPort()
{
    std::ostream& err = m_console.err;
    CSerialPort::SetHooks(
        {[&err](const std::string& text, const std::string&) { err << UnixLines(text) << std::endl; }, m_options.ini});
    std::string port = m_options.port;
    if (port.empty()) // as the program starts: the port stored in the settings file
        port = "COM" + std::to_string(ReadProfileInt("CONNECTION", "COM", 1, m_options.ini));
    const std::optional<int> number = ComNumber(port);
    if ((number ? m_port.Open(*number, kBaudRate) : m_port.OpenPath(port, kBaudRate)) == 0)
        return true;
    // A device that opens but refuses the line settings (a file or /dev/null on
    // Windows) fails without the port's message; for a script it did not open.
    if (m_port.IsOpen()) {
        m_port.Close();
        err << "Kann Schnittstelle " << port << " nicht öffnen" << std::endl;
    }
    return false;
}

namespace {

int RunCommandLine(const Arguments& args, const Console& console)
{
    Parsed parsed;
    if (const auto problem = ParseGlobal(args, parsed)) {
        console.err << "korvenctl: " << *problem << "\nTry 'korvenctl --help'." << std::endl;
        return kExitInput;
    }
    if (parsed.help || parsed.command == "help") {
        PrintOverview(console.out);
        return kExitOk;
    }
    Session session(console, parsed.options);
    if (parsed.command.empty())
        return session.Usage("", "no command given");
    const CommandSpec* spec = FindCommand(parsed.command);
    if (spec == nullptr)
        return session.Usage("", "unknown command: " + parsed.command);
    if (AsksForHelp(parsed.args)) {
        console.out << "Usage: korvenctl [--port COMn|PATH] " << spec->synopsis << "\n\n" << spec->help << kExitCodes;
        return kExitOk;
    }
    if (parsed.options.port.empty() && parsed.options.ini.empty())
        return session.Usage(spec->name, "no port given: use --port COMn|PATH");

    if (!parsed.options.trace.empty() && !trace::Start(parsed.options.trace))
        return session.Fail(kExitInput, CannotWriteMessage(parsed.options.trace));
    const int code = spec->run(session, parsed.args);
    trace::Stop();
    CSerialPort::SetHooks({}); // the hook writes to this run's console
    return code;
}

} // namespace

int Run(const Arguments& args, const Console& console)
{
    const int code = RunCommandLine(args, console);
    // Output that did not arrive is a failure: a script must not take a cut-off
    // set or table for the relay's. An earlier failure keeps its own code.
    if (console.out.flush())
        return code;
    console.err << "korvenctl: the output could not be written" << std::endl;
    return code == kExitOk ? kExitOutput : code;
}

} // namespace cli
