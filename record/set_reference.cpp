#include "record/set_reference.h"

#include <array>

#include "files/utf8_path.h"
#include "params/parameter_file.h"
#include "params/parameter_text.h"
#include "params/preview_text.h"

namespace {

constexpr const char* kRecordSource = "Protokoll ";
// Ends a line of the comparison whose values differ.
constexpr const char* kDiffersMark = "  *";

struct ParameterRow {
    const char* key;
    const char* label;
    const char* unit;
    std::string ParameterSet::*text; // nullptr: INV
};

// The preview's rows, in its order.
constexpr std::array<ParameterRow, 8> kRows = {{
    {"SWB", "Sollwertbezug", "V", &ParameterSet::SWB},
    {"UPL", "U>", "%", &ParameterSet::UPL},
    {"UPP", "U>>", "%", &ParameterSet::UPP},
    {"UMI", "U<", "%", &ParameterSet::UMI},
    {"UMM", "U<<", "%", &ParameterSet::UMM},
    {"SVZ", "Schaltverz.", "s", &ParameterSet::SVZ},
    {"HYS", "Hysterese", "%", &ParameterSet::HYS},
    {"INV", "Invertieren", "", nullptr},
}};

std::string Shown(const ParameterSet& set, const ParameterRow& row)
{
    return row.text != nullptr ? set.*row.text : set.INV != 0 ? "ja" : "nein";
}

// The texts as the program shows them, whatever form they were stored in.
ParameterSet Normalized(ParameterSet set)
{
    NormalizeTexts(set);
    return set;
}

// "2026-12-09 09:45:14" of "2026-12-09T09:45:14+01:00".
std::string ShownTime(const std::string& time)
{
    std::string shown = time.substr(0, 19);
    if (shown.size() > 10)
        shown[10] = ' ';
    return shown;
}

} // namespace

ReferenceLookup RecordReference(const CommissioningRecord& record, const std::string& port)
{
    bool readable = true;
    const auto fields = record.CommissionedEntry(port, &readable);
    if (!fields)
        return {std::nullopt, readable ? ReferenceProblem::NoEntry : ReferenceProblem::CannotRead};
    SetReference reference;
    reference.set = Normalized(*RecordedSet(*fields, kSetColumns));
    reference.time = (*fields)[kTimeColumn];
    reference.source = kRecordSource + reference.time;
    reference.outcome = (*fields)[kOutcomeColumn];
    reference.version = (*fields)[kVersionColumn];
    return {reference, ReferenceProblem::None};
}

ReferenceLookup FileReference(const std::string& path, const ParameterSet& base)
{
    std::string line;
    if (ReadParameterLine(path, line) != ParameterFileResult::Ok)
        return {std::nullopt, ReferenceProblem::CannotRead};
    SetReference reference;
    reference.set = base;
    ParseParameterText(line, ScanMode::SetOnly, reference.set, nullptr);
    NormalizeTexts(reference.set);
    reference.source = PathToUtf8(PathFromUtf8(path).filename());
    return {reference, ReferenceProblem::None};
}

bool SetComparison::SetDiffers() const
{
    for (const ComparedParameter& parameter : parameters) {
        if (parameter.differs)
            return true;
    }
    return false;
}

SetComparison CompareWithReference(const ParameterSet& relaySet, const std::string& relayVersion,
                                   const SetReference& reference)
{
    SetComparison comparison;
    const ParameterSet relay = Normalized(relaySet);
    const ParameterSet other = Normalized(reference.set);
    for (const ParameterRow& row : kRows) {
        ComparedParameter parameter{row.key, row.label, row.unit, Shown(relay, row), Shown(other, row)};
        parameter.differs = parameter.relay != parameter.reference;
        comparison.parameters.push_back(parameter);
    }
    comparison.relayVersion = relayVersion;
    comparison.referenceVersion = reference.version;
    comparison.versionDiffers = !reference.version.empty() && reference.version != relayVersion;
    return comparison;
}

std::string ComparisonText(const SetComparison& comparison, const std::string& title)
{
    ParameterSet relay, other;
    for (std::size_t i = 0; i + 1 < kRows.size(); ++i) {
        relay.*kRows[i].text = comparison.parameters[i].relay;
        other.*kRows[i].text = comparison.parameters[i].reference;
    }
    relay.INV = comparison.parameters.back().relay == "ja";
    other.INV = comparison.parameters.back().reference == "ja";
    // The preview's table: a heading, a rule, then one line per row.
    const std::string table = BuildPreviewText(title, relay, other);
    std::string text;
    std::size_t line = 0;
    for (std::size_t at = 0, end; (end = table.find("\r\n", at)) != std::string::npos; at = end + 2, ++line) {
        text += table.substr(at, end - at);
        if (line >= 2 && comparison.parameters[line - 2].differs)
            text += kDiffersMark;
        text += "\r\n";
    }
    if (comparison.versionDiffers)
        text += "\r\nVersion: " + comparison.relayVersion + " (" + title + ": " + comparison.referenceVersion + ")" +
                kDiffersMark + "\r\n";
    return text;
}

std::string ReferenceHeadline(const SetReference& reference)
{
    if (reference.time.empty())
        return "Bezug: Datei " + reference.source;
    return "Bezug: Protokoll vom " + ShownTime(reference.time) + ", " + reference.outcome;
}

std::string ReferenceProblemText(ReferenceProblem problem, const std::string& where)
{
    switch (problem) {
    case ReferenceProblem::NoEntry:
        return "Im Protokoll ist für " + where + " kein bestätigter Parametersatz verzeichnet.";
    case ReferenceProblem::CannotRead:
        return CannotReadMessage(where);
    case ReferenceProblem::None:
        break;
    }
    return "";
}
