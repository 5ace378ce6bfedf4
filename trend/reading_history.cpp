#include "trend/reading_history.h"

#include <cmath>
#include <limits>
#include <mutex>

std::optional<std::tm> LocalCalendar(std::time_t seconds)
{
    // Copied out under a lock: the one portable way to keep the shared buffer's
    // contents from another thread's call.
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    const std::tm* local = std::localtime(&seconds);
    return local != nullptr ? std::optional<std::tm>(*local) : std::nullopt;
}

std::string LocalTimeText(WallClock::time_point time, const char* format)
{
    const std::optional<std::tm> local = LocalCalendar(WallClock::to_time_t(time));
    char text[32] = "";
    if (local)
        std::strftime(text, sizeof text, format, &*local);
    return text;
}

void ReadingHistory::Add(WallClock::time_point time, std::optional<double> volts)
{
    const Tick tick{std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count(),
                    volts ? *volts : std::numeric_limits<double>::quiet_NaN()};
    if (m_ticks.size() < kCapacity) {
        // The whole ring at once: growing by doubling would hold two copies for a moment.
        if (m_ticks.empty())
            m_ticks.reserve(kCapacity);
        m_ticks.push_back(tick);
        return;
    }
    m_ticks[m_next] = tick;
    m_next = (m_next + 1) % kCapacity;
}

Reading ReadingHistory::At(std::size_t age) const
{
    const std::size_t newest = m_ticks.size() < kCapacity ? m_ticks.size() - 1 : (m_next + kCapacity - 1) % kCapacity;
    const Tick& tick = m_ticks[(newest + kCapacity - age) % kCapacity];
    Reading reading{WallClock::time_point(std::chrono::milliseconds(tick.milliseconds)), std::nullopt};
    if (!std::isnan(tick.volts))
        reading.volts = tick.volts;
    return reading;
}

std::optional<Reading> ReadingHistory::Latest() const
{
    if (m_ticks.empty())
        return std::nullopt;
    return At(0);
}

std::vector<Reading> ReadingHistory::Since(WallClock::time_point from) const
{
    // From the newest back: a span is short beside a full ring. A tick later than
    // the one after it was read before the clock was set back: its time is of the
    // clock as it was, so the walk ends there too, and the times come out in order.
    std::size_t count = 0;
    for (WallClock::time_point newer = WallClock::time_point::max(); count < m_ticks.size(); ++count) {
        const WallClock::time_point time = At(count).time;
        if (time < from || time > newer)
            break;
        newer = time;
    }
    std::vector<Reading> readings;
    readings.reserve(count);
    for (std::size_t age = count; age-- > 0;)
        readings.push_back(At(age));
    return readings;
}
