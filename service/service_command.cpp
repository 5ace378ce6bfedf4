#include "service/service_command.h"

namespace {

constexpr const char* kReceiveTimeOut = "Receive-TimeOut";
constexpr const char* kCom3Ok = "Test COM3 OK!";
constexpr const char* kCom3Failed = "Test COM3 fehlgeschlagen!";

struct CalibrationTexts {
    const char* accepted;
    const char* refused; // a headline, an empty line, the possible causes one a line
};

CalibrationTexts TextsOf(ServiceCommand command)
{
    if (command == ServiceCommand::Calibrate0V)
        return {"Kalibrierung 0V OK!", "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n"
                                       "- gemessene Eingangsspannung zu hoch (keine 0V)"};
    return {"Kalibrierung 100V OK!", "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n"
                                     "- 0V nicht kalibriert\r\n"
                                     "- gemessene Eingangsspannung < ca.90V oder > ca.120V"};
}

} // namespace

std::string_view ServiceCommandText(ServiceCommand command)
{
    switch (command) {
    case ServiceCommand::Calibrate0V:
        return "KAL0:";
    case ServiceCommand::Calibrate100V:
        return "K100:";
    case ServiceCommand::TestCom3:
        break;
    }
    return "TCM3:";
}

ServiceResult JudgeServiceReply(ServiceCommand command, std::string_view reply)
{
    ServiceResult result;
    result.outcome = JudgeReply(reply, ReplyForm::Acknowledgement);
    if (command == ServiceCommand::TestCom3) {
        result.message = result.ok() ? kCom3Ok : kCom3Failed;
        result.exclamation = true;
        return result;
    }
    // A calibration is reported when the relay answered with a lone ACK or NAK,
    // or not at all; any other reply earns no message.
    const CalibrationTexts texts = TextsOf(command);
    switch (result.outcome) {
    case ExchangeOutcome::Accepted:
        result.message = texts.accepted;
        break;
    case ExchangeOutcome::Refused:
        result.message = texts.refused;
        break;
    case ExchangeOutcome::NoAnswer:
        result.message = kReceiveTimeOut;
        break;
    case ExchangeOutcome::BadReply:
    case ExchangeOutcome::NotJudged:
        break;
    }
    return result;
}

ServiceResult RunServiceCommand(CSerialPort& port, ServiceCommand command)
{
    const bool drain = command == ServiceCommand::TestCom3;
    const ExchangeResult exchange =
        RunExchange(port, ServiceCommandText(command), drain, kPause, ReplyForm::Acknowledgement);
    ServiceResult result = JudgeServiceReply(command, exchange.reply);
    result.reply = exchange.reply;
    return result;
}

RecordEntry ServiceRecordEntry(ServiceCommand command)
{
    RecordEntry entry;
    entry.action = command == ServiceCommand::Calibrate0V     ? record::kCalibrated0V
                   : command == ServiceCommand::Calibrate100V ? record::kCalibrated100V
                                                              : record::kPortTest;
    return entry;
}

RecordEntry ServiceRecordEntry(ServiceCommand command, const ServiceResult& result)
{
    RecordEntry entry = ServiceRecordEntry(command);
    entry.outcome = result.message != nullptr ? result.message : "keine Meldung: unerwartete Antwort";
    return entry;
}
