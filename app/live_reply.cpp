#include "app/live_reply.h"

#include "link/frame.h"
#include "params/parameter_set.h"

std::optional<double> LiveReading(const ExchangeResult& result)
{
    const std::string_view reply = TerminatedReply(result.reply);
    if (!result.ok() || reply.size() < 6 || reply.substr(1, 5) != kLiveRequest || reply == BuildFrame(kLiveRequest))
        return std::nullopt;
    const std::size_t valueStart = 6;
    const std::size_t valueEnd = reply.size() - 3;
    if (valueEnd <= valueStart)
        return 0.0;
    return ReadNumber(reply.substr(valueStart, valueEnd - valueStart));
}
