#include "cli/fleet_live.h"

#include "cli/commands.h"
#include "trend/reading_csv.h"

#include <chrono>
#include <ostream>
#include <thread>
#include <utility>

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kLivePeriod{1};
constexpr std::chrono::milliseconds kInterruptCheck{50};

bool Interrupted(const Console& console)
{
    return console.cancel != nullptr && console.cancel->load() != 0;
}

} // namespace

int LiveColumns::Column(Session& session, std::size_t index)
{
    // As over one port: a port that does not open says so once, and one whose
    // adapter is not there yet is tried again at every tick, its column empty
    // until it answers. One that cannot come (not permitted, no serial port)
    // keeps its column empty.
    bool opened = session.OpenPort();
    const bool mayAnswer = opened || session.PortMayComeBack();
    bool allAnswered = true;
    for (long tick = 0; AwaitTick(tick); ++tick) {
        const std::optional<double> reading = mayAnswer ? ReadLive(session.Port()) : std::nullopt;
        allAnswered = allAnswered && reading.has_value();
        opened = opened || session.Port().IsOpen();
        const std::lock_guard lock(m_mutex);
        m_values[index] = reading;
        if (--m_missing == 0)
            m_changed.notify_all();
    }
    // As over one port: 3 where the port never opened, 1 where readings were missing.
    return !opened ? kExitPort : allAnswered ? kExitOk : kExitRelay;
}

bool LiveColumns::AwaitTick(long tick)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_over || m_tick >= tick; });
    return !m_over;
}

void LiveColumns::Drive(const Console& console, const std::vector<std::string>& names, std::optional<long> count)
{
    // The lines end in "\r\n" already; a text-mode stream would make that "\r\r\n".
    if (console.makeOutputBinary)
        console.makeOutputBinary();
    console.out << CsvHeader(names) << std::flush;
    CsvStream csv;
    bool leftOutNoted = false;
    auto next = Clock::now();
    for (long tick = 0; (!count || tick < *count) && console.out && !Interrupted(console); ++tick) {
        if (tick > 0) {
            next += kLivePeriod;
            while (Clock::now() < next && !Interrupted(console))
                std::this_thread::sleep_for(std::min<Clock::duration>(kInterruptCheck, next - Clock::now()));
            if (Interrupted(console))
                break;
        }
        const WallClock::time_point now = WallClock::now();
        std::vector<std::optional<double>> values;
        {
            std::unique_lock lock(m_mutex);
            m_values.assign(m_values.size(), std::nullopt);
            m_missing = m_values.size();
            m_tick = tick;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_missing == 0; });
            values = m_values;
        }
        if (const std::optional<std::string> line = csv.Line(now, values)) {
            console.out << *line << std::flush;
            leftOutNoted = false;
        } else if (!std::exchange(leftOutNoted, true)) {
            console.err << "korvenctl: the clock was set back; readings are left out of the CSV until it passes "
                           "the time of the last line again"
                        << std::endl;
        }
    }
    const std::lock_guard lock(m_mutex);
    m_over = true;
    m_changed.notify_all();
}

} // namespace cli
