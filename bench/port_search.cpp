// Times the search for the relay's port over 16 ports with nothing behind them,
// 2 silent ones and the relay last, through real CSerialPorts against in-process
// korven-sims on pseudo-terminals, and sets each median beside its target.
//
//   bench/port_search [--runs N]

#include "link/port_search.h"
#include "sim/sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr int kAbsentPorts = 16;
constexpr Millis kSearchTarget{2000.0};
// What a port that does not answer may cost the search.
constexpr Millis kSilentTarget{400.0};

Millis Median(std::vector<Millis> times)
{
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2.0;
}

void PrintRow(const char* name, Millis median, Millis target)
{
    std::printf("%-44s %8.1f ms   under %5.0f ms: %s\n", name, median.count(), target.count(),
                median < target ? "yes" : "NO");
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(arg == "--help" ? stdout : stderr,
                         "Usage: port_search [--runs N]\n"
                         "Times a search over %d absent ports, 2 silent ones and the relay.\n",
                         kAbsentPorts);
            return arg == "--help" ? 0 : 2;
        }
    }
    SimOptions silent;
    silent.silent = true;
    KorvenSim first(silent);
    KorvenSim second(silent);
    KorvenSim relay;
    std::string error;
    if (!first.Start(&error) || !second.Start(&error) || !relay.Start(&error)) {
        std::fprintf(stderr, "port_search: %s\n", error.c_str());
        return 1;
    }
    std::vector<PortCandidate> candidates;
    for (int n = 1; n <= kAbsentPorts; ++n)
        candidates.emplace_back("COM" + std::to_string(n), n, "/nonexistent/korven-tty" + std::to_string(n));
    for (const KorvenSim* sim : {&first, &second, &relay})
        candidates.emplace_back(sim->DevicePath(), 0, sim->DevicePath());

    std::vector<Millis> searches;
    std::vector<Millis> silentPorts;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        std::vector<Clock::time_point> asked;
        const auto start = Clock::now();
        const std::vector<PortTrial> trials =
            FindRelay(candidates, [&asked](const PortCandidate&) { asked.push_back(Clock::now()); });
        searches.push_back(Clock::now() - start);
        if (trials.size() != candidates.size() || trials.back().outcome != TrialOutcome::Answered ||
            asked.size() != 3) {
            ++failures;
            continue;
        }
        // From one port asked to the next: what each silent port cost.
        silentPorts.push_back(asked[1] - asked[0]);
        silentPorts.push_back(asked[2] - asked[1]);
    }
    std::printf("port_search: %d runs, %d absent ports, 2 silent korven-sims and one answering\n", runs, kAbsentPorts);
    PrintRow("the whole search, the relay last", Median(searches), kSearchTarget);
    if (!silentPorts.empty())
        PrintRow("one silent port", Median(silentPorts), kSilentTarget);
    if (failures)
        std::printf("    %d searches did not find the relay\n", failures);
    return failures ? 1 : 0;
}
