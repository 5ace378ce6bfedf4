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

#include <optional>
#include <ostream>

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
    std::string line; // the file's parameter line, where one file serves every port
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
    // A name with {port} in it names a file for each port, which each port loads.
    if (!options.against.empty() && options.against.find(kPortPattern) == std::string::npos)
        return ReadParameterFileLine(session, options.against, options.line);
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
        const std::string path = ForPort(options.against, session.PortName());
        std::string line = options.line;
        if (line.empty()) {
            if (const int code = ReadParameterFileLine(session, path, line); code != kExitOk)
                return code;
        }
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

// A value as JSON: the invert flag as 0 or 1, a number where it is one ("inf" is not).
Json ValueData(const ComparedParameter& parameter, const std::string& value)
{
    if (*parameter.unit == '\0')
        return Json::Literal(value == "ja" ? "1" : "0");
    return Json::Number(Trimmed(value));
}

Json ComparisonData(const SetReference& reference, const SetComparison& comparison)
{
    Json data = Json::Object();
    data.Add("reference", Json::Text(reference.source));
    if (!reference.time.empty())
        data.Add("time", Json::Text(reference.time));
    data.Add("holds", Json::Literal(comparison.SetDiffers() ? "false" : "true"));
    Json differences = Json::Object();
    for (const ComparedParameter& parameter : comparison.parameters) {
        if (parameter.differs)
            differences.Add(parameter.key, std::move(Json::Object(true)
                                                         .Add("relay", ValueData(parameter, parameter.relay))
                                                         .Add("reference", ValueData(parameter, parameter.reference))));
    }
    data.Add("differences", std::move(differences));
    // The relay's version text is its bytes; the record's is UTF-8.
    if (comparison.versionDiffers)
        data.Add("version", std::move(Json::Object(true)
                                          .Add("relay", Json::RelayText(comparison.relayVersion))
                                          .Add("reference", Json::Text(comparison.referenceVersion))));
    return data;
}

// Each parameter that differs, the relay's value beside the reference's, and
// the version where it differs from the one the entry noted.
void DifferenceLines(Session& session, const SetComparison& comparison)
{
    const auto line = [&session](const std::string& key, const std::string& label, const std::string& relay,
                                 const std::string& reference) {
        const std::size_t width = DisplayWidth(label);
        session.Line(key + "  " + label + std::string(width < 24 ? 24 - width : 1, ' ') + "relay " +
                     TerminalText(relay) + ", reference " + TerminalText(reference));
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

namespace {

class Compare final : public Command {
public:
    int Check(Session& session, const Arguments& args) override
    {
        return CheckInput(session, "compare", args, true, m_options);
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Compare>(*this); }
    int Prepare(Session& session, Plan&) override
    {
        ParameterSet relaySet;
        DeviceInfo info;
        if (const int code = FindReference(session, m_options, relaySet, info, m_reference); code != kExitOk)
            return code;
        m_comparison = CompareWithReference(relaySet, info.VER, m_reference);
        return kExitOk;
    }
    int Apply(Session& session, const Plan&) override
    {
        // The set is what the relay holds or not; another version beside it is told, but is no difference.
        const bool differs = m_comparison.SetDiffers();
        if (differs)
            session.Done("differs from its reference, " + ReferenceName(m_reference) + ": " +
                         DifferingKeys(m_comparison));
        else
            session.Done("holds its reference, " + ReferenceName(m_reference));
        DifferenceLines(session, m_comparison);
        session.Data(ComparisonData(m_reference, m_comparison));
        return differs ? kExitDiffers : kExitOk;
    }
    bool GivesJson(bool) const override { return m_options.format == "json"; }

private:
    ReferenceOptions m_options;
    SetReference m_reference;
    SetComparison m_comparison;
};

class Restore final : public Command {
public:
    int Check(Session& session, const Arguments& args) override
    {
        if (const int code = CheckInput(session, "restore", args, false, m_options); code != kExitOk)
            return code;
        // Nothing goes to the relay, not even the read, when the restore could not be noted.
        return session.RecordAllowsChange() ? kExitOk : kExitOutput;
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Restore>(*this); }
    int Prepare(Session& session, Plan& plan) override;
    int Apply(Session& session, const Plan& plan) override;

private:
    ReferenceOptions m_options;
    SetReference m_reference;
    SetComparison m_comparison;
};

int Restore::Prepare(Session& session, Plan& plan)
{
    ParameterSet relaySet;
    DeviceInfo info;
    if (const int code = FindReference(session, m_options, relaySet, info, m_reference); code != kExitOk)
        return code;
    m_comparison = CompareWithReference(relaySet, info.VER, m_reference);
    if (!m_comparison.SetDiffers())
        return kExitOk; // nothing to write
    // The reference goes through the checks as any set written does: a file may hold anything.
    if (const int row = FirstFailingRow(m_reference.set); row != 0)
        return session.Fail(kExitInput, CheckMessage(row, CheckFamily::Transfer));
    RecordEntry change;
    change.action = record::kParametersRestored;
    change.before = relaySet;
    change.set = m_reference.set;
    change.file = m_reference.source;
    plan.change = std::move(change);
    return kExitOk;
}

int Restore::Apply(Session& session, const Plan& plan)
{
    if (!plan.change) {
        session.Done("holds its reference, " + ReferenceName(m_reference) + ": nothing written");
        return kExitOk;
    }
    const bool written = WriteRelayParameters(session.Port(), m_reference.set).ok();
    RecordEntry done = *plan.change;
    done.outcome = written ? kTransferOkText : kTransferFailedText;
    const int code = session.Record(done, written ? kExitOk : kExitRelay);
    if (!written)
        return session.Fail(code, kTransferFailedText);
    session.Line("restored " + DifferingKeys(m_comparison) + " from " + ReferenceName(m_reference));
    session.Done(kTransferOkText);
    return code;
}

} // namespace

std::unique_ptr<Command> MakeCompare()
{
    return std::make_unique<Compare>();
}

std::unique_ptr<Command> MakeRestore()
{
    return std::make_unique<Restore>();
}

} // namespace cli
