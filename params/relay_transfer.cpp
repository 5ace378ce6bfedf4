#include "params/relay_transfer.h"

ExchangeResult ReadRelayParameters(CSerialPort& port, ParameterSet& set, DeviceInfo& info)
{
    ExchangeResult result = RunExchange(port, kReadParametersRequest, true, kPause, ReplyForm::Framed);
    if (result.ok()) {
        ParseParameterText(result.reply, ScanMode::Full, set, &info);
        NormalizeTexts(set);
    }
    return result;
}

ExchangeResult WriteRelayParameters(CSerialPort& port, const ParameterSet& set)
{
    return RunExchange(port, BuildSparText(set), false, kPause, ReplyForm::Acknowledgement);
}
