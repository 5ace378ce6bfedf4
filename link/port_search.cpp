#include "link/port_search.h"

#include "app/live_reply.h"
#include "link/exchange.h"

#include <optional>
#include <utility>

namespace {

constexpr int kBaudRate = 19200;

TrialOutcome OutcomeOf(OpenFailure failure)
{
    switch (failure) {
    case OpenFailure::Missing:
        return TrialOutcome::Missing;
    case OpenFailure::Busy:
    case OpenFailure::PortInUse: // another client at the device server
        return TrialOutcome::Busy;
    case OpenFailure::NotPermitted:
        return TrialOutcome::NotPermitted;
    case OpenFailure::NotSerial:
        return TrialOutcome::NotSerial;
    case OpenFailure::None:
    case OpenFailure::Other:
        break;
    case OpenFailure::BadAddress:
    case OpenFailure::UnknownHost:
    case OpenFailure::NobodyListens:
    case OpenFailure::NoAnswer:
    case OpenFailure::NotRfc2217:
    case OpenFailure::LineSettings:
        return TrialOutcome::NotReached;
    }
    return TrialOutcome::NotOpened;
}

// Nothing when the port opened; else why not, with the port closed again.
std::optional<TrialOutcome> OpenQuietly(CSerialPort& port, const PortCandidate& candidate)
{
    if (port.TryPath(candidate.device, kBaudRate) == 0)
        return std::nullopt;
    // A device that opens but refuses its line settings is no port to ask.
    port.Close();
    return OutcomeOf(port.LastOpenFailure());
}

TrialOutcome AskForReading(CSerialPort& port)
{
    DrainPort(port, kSearchDrainLimit);
    const ExchangeResult result = RunExchange(port, kLiveRequest, false, kPause, ReplyForm::Framed);
    if (LiveReading(result))
        return TrialOutcome::Answered;
    return result.reply.empty() ? TrialOutcome::NoAnswer : TrialOutcome::BadAnswer;
}

} // namespace

const char* TrialText(TrialOutcome outcome)
{
    switch (outcome) {
    case TrialOutcome::Answered:
        return "Gerät gefunden";
    case TrialOutcome::NoAnswer:
        return "keine Antwort";
    case TrialOutcome::BadAnswer:
        return "keine gültige Antwort";
    case TrialOutcome::Missing:
        return "nicht vorhanden";
    case TrialOutcome::Busy:
        return "wird von einem anderen Programm benutzt";
    case TrialOutcome::NotPermitted:
        return "keine Berechtigung";
    case TrialOutcome::NotSerial:
        return "keine serielle Schnittstelle";
    case TrialOutcome::NotReached:
        return "Netzwerk-Schnittstelle nicht erreichbar";
    case TrialOutcome::NotOpened:
        break;
    }
    return "lässt sich nicht öffnen";
}

TrialOutcome TryPort(CSerialPort& port, const PortCandidate& candidate)
{
    if (const auto failure = OpenQuietly(port, candidate))
        return *failure;
    const TrialOutcome outcome = AskForReading(port);
    if (outcome != TrialOutcome::Answered)
        port.Close();
    return outcome;
}

PortSearch::PortSearch(std::vector<PortCandidate> candidates) : m_candidates(std::move(candidates)) {}

const PortCandidate* PortSearch::Next()
{
    if (m_port.IsOpen())
        return &m_candidates[m_next - 1]; // not asked yet
    while (m_next < m_candidates.size() && Found() == nullptr) {
        const PortCandidate& candidate = m_candidates[m_next++];
        if (const auto failure = OpenQuietly(m_port, candidate))
            m_trials.push_back({candidate, *failure});
        else
            return &candidate;
    }
    return nullptr;
}

bool PortSearch::Ask()
{
    if (!m_port.IsOpen())
        return false;
    const TrialOutcome outcome = AskForReading(m_port);
    // Closed in any case: the port that answered is opened again as the chosen one.
    m_port.Close();
    m_trials.push_back({m_candidates[m_next - 1], outcome});
    return outcome == TrialOutcome::Answered;
}

const PortCandidate* PortSearch::Found() const
{
    return !m_trials.empty() && m_trials.back().outcome == TrialOutcome::Answered ? &m_trials.back().candidate
                                                                                  : nullptr;
}

std::vector<PortTrial> FindRelay(std::vector<PortCandidate> candidates,
                                 const std::function<void(const PortCandidate&)>& progress)
{
    PortSearch search(std::move(candidates));
    while (const PortCandidate* candidate = search.Next()) {
        if (progress)
            progress(*candidate);
        search.Ask();
    }
    return search.Trials();
}

std::string NoRelayFoundText(const std::vector<PortTrial>& trials)
{
    std::string text = "Kein Gerät gefunden!";
    bool anyPort = false;
    const PortCandidate* refused = nullptr;
    for (const PortTrial& trial : trials) {
        anyPort = anyPort || trial.outcome != TrialOutcome::Missing;
        // A COMn of the list with nothing behind it, which the system does not know either.
        if (trial.outcome == TrialOutcome::Missing && trial.candidate.assumed)
            continue;
        text += "\r\n" + PortLabel(trial.candidate) + ": " + TrialText(trial.outcome);
        if (trial.outcome == TrialOutcome::NotPermitted && refused == nullptr)
            refused = &trial.candidate;
    }
    if (!anyPort)
        text += std::string("\r\n") + kNoSerialPortText;
    if (refused != nullptr)
        text += "\r\n" + NotPermittedReason(DeviceDisplayName(refused->device));
    return text;
}
