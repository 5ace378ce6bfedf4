#pragma once
// Finding the port the relay is on: each candidate port is opened in turn and
// asked for one live reading ("GMWT:"); the first that answers ends the search.
// Ports that do not open (missing, held by another program, not permitted) are
// passed over and never disturbed: our open is exclusive. The search sends
// nothing but that one request, and only to the port it is trying.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "port/port_list.h"
#include "port/serial_port.h"

// What happened at one port.
enum class TrialOutcome {
    Answered,     // a valid live reading came back
    NoAnswer,     // nothing came
    BadAnswer,    // bytes came, but no reading (noise, an echo, another device)
    Missing,      // no such device
    Busy,         // another program holds it
    NotPermitted, // the user may not open it
    NotSerial,    // no serial port
    NotOpened,    // refused for another reason, or its line settings
    NotReached,   // a network port whose server could not be reached
};

struct PortTrial {
    PortCandidate candidate;
    TrialOutcome outcome = TrialOutcome::NoAnswer;
};

// A short German text for the outcome: "keine Antwort", "wird von einem anderen
// Programm benutzt" ...
const char* TrialText(TrialOutcome outcome);

// Before the request the port is drained for at most this long, so that bytes
// from before the open do not spoil the reply; a line that never falls silent
// costs no more than this. With the pause and the read, a silent port costs
// about 0.36 s.
inline constexpr std::chrono::milliseconds kSearchDrainLimit{128};

// Opens the candidate's device quietly on port: Answered and the port left open
// when a relay answered the live reading, else the outcome with the port closed.
TrialOutcome TryPort(CSerialPort& port, const PortCandidate& candidate);

// The search one port at a time, so that a window can draw between the ports.
class PortSearch {
public:
    explicit PortSearch(std::vector<PortCandidate> candidates);

    // Opens the next candidates in turn until one opens, noting why each one
    // before it did not; returns the one that opened, which Ask asks, or nullptr
    // when the search is over (a relay answered, or every candidate was tried).
    const PortCandidate* Next();
    // Asks the port Next opened for one live reading and closes it; true when a
    // relay answered.
    bool Ask();

    const std::vector<PortTrial>& Trials() const { return m_trials; }
    // The port where a relay answered, or nullptr.
    const PortCandidate* Found() const;

private:
    std::vector<PortCandidate> m_candidates;
    std::size_t m_next = 0;
    CSerialPort m_port;
    std::vector<PortTrial> m_trials;
};

// The whole search at once; progress names each port before it is asked.
// Returns what happened at each port tried, the one that answered last.
std::vector<PortTrial> FindRelay(std::vector<PortCandidate> candidates,
                                 const std::function<void(const PortCandidate&)>& progress = {});

// Said where the system has no serial port at all.
inline constexpr const char* kNoSerialPortText =
    "Es ist keine serielle Schnittstelle vorhanden: den Adapter einstecken.";

// The text of the box when no relay answered: "Kein Gerät gefunden!", then one
// line per port tried and what happened there ("COM2: keine Antwort"), and what
// to do where no port exists or one may not be opened. Lines end in "\r\n".
std::string NoRelayFoundText(const std::vector<PortTrial>& trials);
