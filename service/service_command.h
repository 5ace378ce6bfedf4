#pragma once
// The relay's service commands: the two calibrations and the test of its third
// serial port. Each is one exchange answered by a single byte; what the
// operator is told about the answer is decided here, so that every front end
// shows the same texts for the same outcomes.

#include <string>
#include <string_view>

#include "link/exchange.h"
#include "record/commissioning_record.h"

class CSerialPort;

enum class ServiceCommand {
    Calibrate0V,   // "KAL0:": the relay takes its input as 0 V
    Calibrate100V, // "K100:": the relay takes its input as 100 V
    TestCom3,      // "TCM3:": the relay checks its third serial port
};

struct ServiceResult {
    ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
    // The text the operator is told, or nullptr when the reply earns no message.
    const char* message = nullptr;
    // Port-test results carry the exclamation icon, calibration results none.
    bool exclamation = false;
    std::string reply; // the bytes of the single read, for a front end that shows them
    bool ok() const { return outcome == ExchangeOutcome::Accepted; }
};

// The command text of the frame ("KAL0:").
std::string_view ServiceCommandText(ServiceCommand command);

// Judges the bytes of the single read. Pure: no port involved.
ServiceResult JudgeServiceReply(ServiceCommand command, std::string_view reply);

// One exchange on port: the port test drains stale input first, the
// calibrations don't (their reply is judged on whatever the single read holds).
ServiceResult RunServiceCommand(CSerialPort& port, ServiceCommand command);

// The commissioning record's entry of a command: what is done; with the result,
// what the operator was told (a reply that earns no message is noted as such).
RecordEntry ServiceRecordEntry(ServiceCommand command);
RecordEntry ServiceRecordEntry(ServiceCommand command, const ServiceResult& result);
