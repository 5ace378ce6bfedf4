#pragma once
// What a command of korvenctl comes to, as data: its exit code, the operator's
// text, its lines, its data for JSON, the relay's version and set where read,
// and, while it runs, the firmware passes' progress. The console shows these:
// as lines (with the port's name in front over several ports), as a bar, as
// JSON (keyed by port over several ports) and as the summary table. Nothing is
// read back from text once printed.

#include "params/parameter_text.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

// A JSON value: a scalar as its JSON text, or an object's members in order.
class Json {
public:
    // A number where text is one ("100.0", "-10"), else the text as a string ("inf").
    static Json Number(const std::string& text);
    // Our own text: UTF-8 passes as it is, a byte that is no part of UTF-8 counts as Latin-1.
    static Json Text(std::string_view text);
    // The relay's bytes, each of 0x80 and above a Latin-1 character.
    static Json RelayText(std::string_view bytes);
    // true, false, or a number written by the program itself.
    static Json Literal(std::string json);
    // An object; oneLine: its members on the line of its key ({"relay": 1, "reference": 2}).
    static Json Object(bool oneLine = false);

    Json& Add(std::string key, Json value);
    // The value as JSON text, its lines after the first indented by depth steps of two spaces.
    std::string Render(std::size_t depth = 0) const;

private:
    std::string m_scalar;
    std::vector<std::pair<std::string, Json>> m_members;
    bool m_object = false;
    bool m_oneLine = false;
};

struct Outcome {
    // A line (or lines, '\n' between them) for standard output or standard
    // error, in the order the command gave them.
    struct Line {
        bool err = false;
        std::string text;
    };

    int code = 0;
    // What the command came to, in the operator's words: the program's own
    // message ("Verify ok!", "Übertragung der Daten ok."), a file's name, or
    // the first line of a failure's message (without "korvenctl: ").
    std::string text;
    std::vector<Line> lines;
    std::optional<Json> data; // where the command gives its outcome as JSON
    std::string version;      // the relay's version text, where this run read it
    std::optional<ParameterSet> set; // the relay's set, where this run read it

    // The lines for standard error, as one text.
    std::string Errors() const;
};

// An event of the firmware passes: a block done, and the status text beside it.
struct ProgressEvent {
    char pass = 0; // the pass's letter, 'P' or 'V'
    unsigned block = 0;
    bool good = true;
    std::string status;
};

// What a console shows of the passes: a bar for each block on a terminal,
// elsewhere a line at each tenth of a pass; and when a programming pass with
// blocks not acknowledged ends, a line that says so.
class ProgressText {
public:
    // The line that ends the pass before, where event begins another (see End).
    std::optional<std::string> Begin(const ProgressEvent& event);
    // The bar after event, width characters between its brackets:
    // "[####....] 50%  Programmiere Adresse 3840".
    static std::string Bar(const ProgressEvent& event, std::size_t width = 40);
    // The line at a tenth of a pass, where event ends one: "Programmiere Adresse 768 (10%)".
    static std::optional<std::string> Tenth(const ProgressEvent& event);
    // Where the pass shown last was a programming pass with blocks not acknowledged: a line that says so.
    std::optional<std::string> End();

private:
    char m_pass = 0;
    unsigned m_failed = 0;
};

} // namespace cli
