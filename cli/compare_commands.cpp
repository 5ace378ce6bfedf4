// The reference commands of korvenctl: does the relay still hold the set it was
// commissioned with (the newest acknowledged write of its port in the record, or
// a parameter file), and that set written back where it does not.

#include "cli/commands.h"
#include "cli/fleet.h"
#include "files/utf8_path.h"
#include "params/checks.h"
#include "params/parameter_file.h"
#include "params/relay_transfer.h"
#include "record/set_reference.h"

#include <limits>
#include <optional>
#include <ostream>
#include <regex>

namespace cli {

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

struct ReferenceOptions {
    std::string against; // a parameter file instead of the record; may hold {port}
    std::string format = "table";
};

std::optional<std::string> ParseOptions(const Arguments& args, ReferenceOptions& options, bool formats)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        // "--name VALUE" or "--name=VALUE" at args[i]; advances i past the value.
        const auto take = [&](const std::string& name, std::string& target) {
            if (args[i].rfind(name + "=", 0) == 0)
                target = args[i].substr(name.size() + 1);
            else if (args[i] == name && i + 1 < args.size())
                target = args[++i];
            else
                return false;
            return true;
        };
        if (!take("--against", options.against) && !(formats && take("--format", options.format)))
            return "unexpected argument: " + args[i];
    }
    if (options.format != "table" && options.format != "json")
        return "unknown format: " + options.format + " (table or json)";
    return std::nullopt;
}

// The file's path with {port} as the port's file name (a fleet has put it in already).
std::string AgainstPath(const ReferenceOptions& options, const std::string& port)
{
    std::string path = options.against;
    for (auto at = path.find(kPortPattern); at != std::string::npos; at = path.find(kPortPattern, at))
        path.replace(at, std::string_view(kPortPattern).size(), PortFileName(port));
    return path;
}

// The parameter line of a file, read as write reads it: a file that cannot be
// read, or holds none of the eight parameters, is no reference (kExitInput).
int LoadAgainst(const Session& session, const std::string& path, std::string& line)
{
    if (ReadParameterLine(path, line) != ParameterFileResult::Ok)
        return session.Fail(kExitInput, CannotReadMessage(path));
    constexpr std::int32_t kNoInv = std::numeric_limits<std::int32_t>::min();
    ParameterSet found;
    found.INV = kNoInv;
    ParseParameterText(line, ScanMode::SetOnly, found, nullptr);
    if (found.INV == kNoInv &&
        (found.HYS + found.SVZ + found.UMI + found.UMM + found.UPL + found.UPP + found.SWB).empty())
        return session.Fail(kExitInput, "korvenctl: " + path + " holds no parameters");
    return kExitOk;
}

// Everything a command checks before it opens the port: its options, the file
// (where {port} is not left to fill in) or the record's being on.
int CheckInput(Session& session, const std::string& command, const Arguments& args, bool formats,
               ReferenceOptions& options)
{
    if (const auto problem = ParseOptions(args, options, formats))
        return session.Usage(command, *problem);
    if (options.against.empty() && !session.Record().On())
        return session.Fail(kExitInput, "korvenctl: no commissioning record to find the reference in: give --record "
                                        "FILE, an --ini file that names one, or --against FILE.par");
    // The fleet's input check still holds {port}: each port loads its own file.
    std::string line;
    if (!options.against.empty() && options.against.find(kPortPattern) == std::string::npos)
        return LoadAgainst(session, options.against, line);
    return kExitOk;
}

// The relay's set read and its reference found: kExitOk, or the code of the
// failure, whose message has been given.
int FindReference(Session& session, const ReferenceOptions& options, ParameterSet& relaySet, DeviceInfo& info,
                  SetReference& reference)
{
    if (const int code = ReadRelaySet(session, relaySet, info); code != kExitOk)
        return code;
    if (!options.against.empty()) {
        const std::string path = AgainstPath(options, session.PortName());
        std::string line;
        if (const int code = LoadAgainst(session, path, line); code != kExitOk)
            return code;
        // What the file does not give is the relay's, as when a file is written to it.
        reference.source = PathToUtf8(PathFromUtf8(path).filename());
        reference.set = relaySet;
        ParseParameterText(line, ScanMode::SetOnly, reference.set, nullptr);
        NormalizeTexts(reference.set);
        return kExitOk;
    }
    const CommissioningRecord& record = session.Record();
    const ReferenceLookup lookup = RecordReference(record, session.PortName());
    if (!lookup.reference) {
        const std::string where =
            lookup.problem == ReferenceProblem::CannotRead ? record.FilePath() : session.PortName();
        return session.Fail(kExitInput, ReferenceProblemText(lookup.problem, where));
    }
    reference = *lookup.reference;
    return kExitOk;
}

// Where the reference comes from, for a line of output.
std::string ReferenceName(const SetReference& reference)
{
    return reference.time.empty() ? reference.source : "the record's entry of " + reference.time;
}

std::string JsonText(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b >= 0x20) {
            out += c; // UTF-8 as it is
        } else {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out + '"';
}

// A value as JSON: the invert flag as 0 or 1, a number where it is one ("inf" is not).
std::string JsonValue(const ComparedParameter& parameter, const std::string& value)
{
    static const std::regex kNumber(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?)");
    if (*parameter.unit == '\0')
        return value == "ja" ? "1" : "0";
    const std::string text = Trimmed(value);
    return std::regex_match(text, kNumber) ? text : JsonText(text);
}

void PrintJson(std::ostream& out, const SetReference& reference, const SetComparison& comparison)
{
    out << "{\n  \"reference\": " << JsonText(reference.source) << ",\n";
    if (!reference.time.empty())
        out << "  \"time\": " << JsonText(reference.time) << ",\n";
    out << "  \"holds\": " << (comparison.SetDiffers() ? "false" : "true") << ",\n  \"differences\": {";
    bool first = true;
    for (const ComparedParameter& parameter : comparison.parameters) {
        if (!parameter.differs)
            continue;
        out << (first ? "\n" : ",\n") << "    \"" << parameter.key
            << "\": {\"relay\": " << JsonValue(parameter, parameter.relay)
            << ", \"reference\": " << JsonValue(parameter, parameter.reference) << "}";
        first = false;
    }
    out << (first ? "}" : "\n  }");
    if (comparison.versionDiffers)
        out << ",\n  \"version\": {\"relay\": " << JsonText(comparison.relayVersion)
            << ", \"reference\": " << JsonText(comparison.referenceVersion) << "}";
    out << "\n}\n";
}

// Each parameter that differs, the relay's value beside the reference's, and
// the version where it differs from the one the entry noted.
void PrintDifferences(std::ostream& out, const SetComparison& comparison)
{
    const auto line = [&out](const std::string& key, const std::string& label, const std::string& relay,
                             const std::string& reference) {
        const std::size_t width = DisplayWidth(label);
        out << key << "  " << label << std::string(width < 24 ? 24 - width : 1, ' ') << "relay " << TerminalText(relay)
            << ", reference " << TerminalText(reference) << "\n";
    };
    for (const ComparedParameter& parameter : comparison.parameters) {
        if (parameter.differs)
            line(parameter.key,
                 *parameter.unit ? std::string(parameter.label) + " [" + parameter.unit + "]"
                                 : std::string(parameter.label),
                 Trimmed(parameter.relay), Trimmed(parameter.reference));
    }
    if (comparison.versionDiffers)
        line("VER", "Version", Trimmed(comparison.relayVersion), Trimmed(comparison.referenceVersion));
}

std::string DifferingKeys(const SetComparison& comparison)
{
    std::string keys;
    for (const ComparedParameter& parameter : comparison.parameters) {
        if (parameter.differs)
            keys += (keys.empty() ? "" : " ") + std::string(parameter.key);
    }
    return keys;
}

} // namespace

int RunCompare(Session& session, const Arguments& args)
{
    ReferenceOptions options;
    if (const int code = CheckInput(session, "compare", args, true, options); code != kExitOk)
        return code;
    ParameterSet relaySet;
    DeviceInfo info;
    SetReference reference;
    if (const int code = FindReference(session, options, relaySet, info, reference); code != kExitOk)
        return code;
    const SetComparison comparison = CompareWithReference(relaySet, info.VER, reference);
    // The set is what the relay holds or not; another version beside it is told, but is no difference.
    const int code = comparison.SetDiffers() ? kExitDiffers : kExitOk;
    if (options.format == "json") {
        PrintJson(session.out(), reference, comparison);
        return code;
    }
    if (code == kExitOk)
        session.Done("holds its reference, " + ReferenceName(reference));
    else
        session.Done("differs from its reference, " + ReferenceName(reference) + ": " + DifferingKeys(comparison));
    PrintDifferences(session.out(), comparison);
    return code;
}

int RunRestore(Session& session, const Arguments& args)
{
    ReferenceOptions options;
    if (const int code = CheckInput(session, "restore", args, false, options); code != kExitOk)
        return code;
    // Nothing goes to the relay, not even the read, when the restore could not be noted.
    if (!session.RecordAllowsChange())
        return kExitOutput;
    ParameterSet relaySet;
    DeviceInfo info;
    SetReference reference;
    if (const int code = FindReference(session, options, relaySet, info, reference); code != kExitOk)
        return code;
    const SetComparison comparison = CompareWithReference(relaySet, info.VER, reference);
    if (!comparison.SetDiffers()) {
        session.Done("holds its reference, " + ReferenceName(reference) + ": nothing written");
        return kExitOk;
    }
    // The reference goes through the checks as any set written does: a file may hold anything.
    if (const int row = FirstFailingRow(reference.set); row != 0)
        return session.Fail(kExitInput, CheckMessage(row, CheckFamily::Transfer));
    RecordEntry change;
    change.action = record::kParametersRestored;
    change.before = relaySet;
    change.set = reference.set;
    change.file = reference.source;
    if (const int code = session.StartChange(change); code != kExitOk)
        return code;
    const bool written = WriteRelayParameters(session.Port(), reference.set).ok();
    change.outcome = written ? kTransferOkText : kTransferFailedText;
    const int code = session.Record(change, written ? kExitOk : kExitRelay);
    if (!written)
        return session.Fail(code, kTransferFailedText);
    session.out() << "restored " << DifferingKeys(comparison) << " from " << ReferenceName(reference) << std::endl;
    session.Done(kTransferOkText);
    return code;
}

} // namespace cli
