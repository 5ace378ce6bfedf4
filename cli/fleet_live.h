#pragma once
// korvenctl live --csv over several ports: one CSV line per tick with a column
// per port. Each port's thread reads its relay at every tick; the line is
// written once every port has read.

#include "cli/session.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class LiveColumns {
public:
    explicit LiveColumns(std::size_t ports) : m_values(ports) {}

    // A port's thread: opens the port (one whose adapter is not there yet is
    // tried again at every tick, as by live over one port), then reads the relay
    // at each tick until the run ends. kExitOk when every reading came,
    // kExitRelay when one did not, kExitPort when the port cannot be opened at all.
    int Column(Session& session, std::size_t index);

    // The run's own thread: the header, then a tick a second, count times or
    // until Ctrl+C or the reader of the output goes away.
    void Drive(const Console& console, const std::vector<std::string>& names, std::optional<long> count);

private:
    // Waits for tick, true; false when the run is over.
    bool AwaitTick(long tick);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    long m_tick = -1;
    bool m_over = false;
    std::size_t m_missing = 0; // ports yet to read at this tick
    std::vector<std::optional<double>> m_values;
};

} // namespace cli
