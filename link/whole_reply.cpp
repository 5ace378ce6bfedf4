#include "link/whole_reply.h"

#include "link/frame.h"
#include "port/serial_port.h"

#include <algorithm>

bool ReplyComplete(std::string_view reply, ReplyForm form)
{
    if (reply.size() >= CSerialPort::kReadSize)
        return true;
    switch (form) {
    case ReplyForm::Framed:
        return reply.find(ETX) != std::string_view::npos;
    case ReplyForm::Acknowledgement:
        return !reply.empty();
    case ReplyForm::Ignored:
        break;
    }
    return false;
}

std::string ReadWholeReply(ReplySource& source, ReplyForm form, ReadClock::time_point deadline)
{
    std::string reply;
    bool lastLook = false;
    while (!ReplyComplete(reply, form)) {
        const ReadClock::time_point now = source.Now();
        if (now >= deadline) {
            // What is in already when the time is up still counts: the wait may
            // have ended late (the window was busy meanwhile).
            if (lastLook || !source.Receive(reply, std::chrono::milliseconds{0}))
                break;
            lastLook = true;
            continue;
        }
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const bool waitingForQuiet = form == ReplyForm::Ignored && !reply.empty();
        if (waitingForQuiet)
            wait = std::min(wait, kQuietAfterReply);
        const std::size_t before = reply.size();
        if (!source.Receive(reply, wait))
            break;
        if (waitingForQuiet && reply.size() == before)
            break;
    }
    if (reply.size() > CSerialPort::kReadSize)
        reply.resize(CSerialPort::kReadSize);
    return reply;
}
