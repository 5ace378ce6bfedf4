#pragma once
// The protocol trace, off unless asked for: every exchange and every drain that
// finds bytes writes one line per direction to a file, with a monotonic
// timestamp in milliseconds, the bytes in hex and as printable text, and what
// became of the exchange. A trace that cannot be written never disturbs the
// exchange: a write error is only noted (WriteFailed).

#include <string>
#include <string_view>

namespace trace {

enum class Direction {
    Sent,     // towards the relay
    Received, // from the relay
};

// Starts tracing, appending to path. false, with the reason in error, when the
// file cannot be opened; the trace is then off.
bool Start(const std::string& path, std::string* error = nullptr);

// Ends tracing and closes the file. Harmless when off.
void Stop();

bool Active();

// Whether a line could not be written (a full disk, a vanished medium) since the
// last Start, or its file not be closed at the last Stop.
bool WriteFailed();

// Writes one line when the trace is on; does nothing otherwise.
void Record(Direction direction, std::string_view bytes, std::string_view note);

// Names the port in every line the calling thread writes from now on, where
// several ports share one trace (one thread each); empty: no name, as alone.
void SetThreadLabel(std::string label);

// The bytes as upper-case hex pairs separated by blanks: "02 47 50".
std::string HexBytes(std::string_view bytes);

// One line without its line end:
//   "<ms> [<label> ]TX|RX <hex bytes or (nothing)> |<printable>| [note]"
// where <ms> is the monotonic clock in milliseconds with three decimals, the
// label names the port where several share the trace, the printable text shows
// bytes outside 0x20..0x7E as '.', and the note in square brackets is left out
// when empty.
std::string FormatLine(long long microseconds, Direction direction, std::string_view bytes, std::string_view note,
                       std::string_view label = {});

} // namespace trace
