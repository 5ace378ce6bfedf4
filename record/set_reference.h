#pragma once
// Does the relay still hold what it was commissioned with? The reference set (the
// newest acknowledged write of the port in the commissioning record, or a
// parameter file), and the relay's set compared with it parameter by parameter,
// as plain data that the window and korvenctl render each in their own way.

#include <optional>
#include <string>
#include <vector>

#include "params/parameter_set.h"
#include "record/commissioning_record.h"

struct SetReference {
    ParameterSet set;
    std::string source;  // what a restore's entry names in "Datei": "Protokoll <time>", or the file's name
    std::string time;    // the entry's time as the record holds it; empty for a file
    std::string outcome; // the entry's outcome; empty for a file
    std::string version; // the relay's version text the entry noted; empty for a file
};

enum class ReferenceProblem {
    None,
    NoEntry,    // the record holds no acknowledged write of the port
    CannotRead, // the record or the file could not be read
};

struct ReferenceLookup {
    std::optional<SetReference> reference;
    ReferenceProblem problem = ReferenceProblem::None;
};

// The set port was last written with and acknowledged, from the record.
ReferenceLookup RecordReference(const CommissioningRecord& record, const std::string& port);
// The set a parameter file holds, read as a file load reads it: laid over base
// (the relay's set), so that what the file does not give is the relay's, as when
// the file is written to it.
ReferenceLookup FileReference(const std::string& path, const ParameterSet& base);

// One parameter of both sets, in the program's number format and units.
struct ComparedParameter {
    const char* key;   // "SWB"
    const char* label; // "Sollwertbezug", as the preview names it
    const char* unit;  // "V", "%", "s"; empty for the invert flag
    std::string relay;
    std::string reference;
    bool differs = false;
};

struct SetComparison {
    std::vector<ComparedParameter> parameters; // in the preview's order
    std::string relayVersion;
    std::string referenceVersion;
    bool versionDiffers = false; // only where the reference noted a version

    bool SetDiffers() const;
};

SetComparison CompareWithReference(const ParameterSet& relaySet, const std::string& relayVersion,
                                   const SetReference& reference);

// The comparison in the preview's layout, the relay left under "KORVEN", the
// reference right under title; each line that differs ends in a mark.
std::string ComparisonText(const SetComparison& comparison, const std::string& title);

// What the window shows above the comparison: where the reference comes from.
std::string ReferenceHeadline(const SetReference& reference);
// Why there is no reference, for the window and korvenctl.
std::string ReferenceProblemText(ReferenceProblem problem, const std::string& where);
