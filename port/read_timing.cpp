#include "port/read_timing.h"

#include <algorithm>

ReadDeadline::ReadDeadline(ReadClock::time_point start, unsigned requested)
    : m_overall(start + requested * kReadTimePerByte)
{
}

void ReadDeadline::BytesArrived(ReadClock::time_point now)
{
    m_silence = now + kInterByteGap;
}

ReadClock::time_point ReadDeadline::End() const
{
    return std::min(m_overall, m_silence);
}

int ReadDeadline::PollTimeoutMs(ReadClock::time_point now) const
{
    const ReadClock::time_point end = End();
    if (now >= end)
        return 0;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
    return static_cast<int>(left.count());
}
