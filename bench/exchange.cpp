// Times the exchange routine through a real CSerialPort against an in-process
// korven-sim on a pseudo-terminal, and sets each median beside its floor: the
// waits the exchange must make (pause, read time-out) and the reply's arrival.
//
//   bench/exchange [--runs N] [--line-speed]

#include "link/exchange.h"
#include "link/frame.h"
#include "port/serial_port.h"
#include "sim/sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

// A read of 128 bytes on a silent line ends after 1 ms per requested byte.
constexpr Millis kReadTimeOut{128.0};
constexpr Millis kExchangeTarget{5.0};
constexpr Millis kDrainTarget{20.0};

Millis LineTime(std::size_t bytes)
{
    return std::chrono::duration_cast<Millis>(KorvenSim::kByteTime * static_cast<long>(bytes));
}

struct Figures {
    Millis median{};
    int failures = 0;
};

Figures Measure(int runs, const std::function<bool()>& once)
{
    std::vector<Millis> times;
    Figures figures;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!once())
            ++figures.failures;
        times.push_back(Clock::now() - start);
    }
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    figures.median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2.0;
    return figures;
}

void PrintRow(const char* name, const Figures& figures, Millis floor, Millis target, const char* note = "")
{
    const Millis overhead = figures.median - floor;
    std::printf("%-38s %8.1f ms %8.1f ms %8.1f ms   under %4.0f ms: %-3s", name, figures.median.count(), floor.count(),
                overhead.count(), target.count(), overhead < target ? "yes" : "NO");
    if (figures.failures)
        std::printf("   (%d failed exchanges)", figures.failures);
    std::printf("%s\n", note);
}

int Usage(FILE* to, int code)
{
    std::fprintf(to, "Usage: exchange [--runs N] [--line-speed]\n"
                     "Times exchanges against an in-process korven-sim and prints median, floor and overhead.\n");
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 20;
    bool lineSpeed = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--line-speed") {
            lineSpeed = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
            if (runs < 1)
                return Usage(stderr, 2);
        } else if (arg == "--help") {
            return Usage(stdout, 0);
        } else {
            return Usage(stderr, 2);
        }
    }

    SimOptions options;
    options.value = "230.4"; // a fixed reply length
    options.lineSpeed = lineSpeed;
    KorvenSim sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "exchange: %s\n", error.c_str());
        return 1;
    }
    const auto ini = std::filesystem::temp_directory_path() / ("korven-bench-" + std::to_string(getpid()) + ".ini");
    std::ofstream(ini, std::ios::binary) << "[PORTS]\nCOM1=" << sim.DevicePath() << "\n";
    CSerialPort::SetHooks(
        {[](const std::string& text, const std::string&) { std::fprintf(stderr, "exchange: %s\n", text.c_str()); },
         ini.string()});
    CSerialPort port;
    const int opened = port.Open(1, 19200);
    std::filesystem::remove(ini);
    if (opened != 0)
        return 1;

    std::printf("exchange: %d runs per case, korven-sim on %s, %s\n", runs, sim.DevicePath().c_str(),
                lineSpeed ? "paced at 19200 baud (0.52 ms a byte)" : "no line pacing");
    std::printf("%-38s %11s %11s %11s   %s\n", "case", "median", "floor", "overhead", "target");

    // Line time only counts where the line is paced; the request and the reply
    // cross it one after the other, partly under the pause.
    auto arrival = [&](std::size_t requestBytes, std::size_t replyBytes) {
        return lineSpeed ? LineTime(requestBytes + replyBytes) : Millis{0};
    };
    auto pauseOrArrival = [&](std::chrono::milliseconds pause, std::size_t requestBytes, std::size_t replyBytes) {
        return std::max(Millis(pause), arrival(requestBytes, replyBytes));
    };

    const std::string gmwtReply = BuildFrame("GMWT:230.4");
    const Figures framed = Measure(runs, [&] {
        const ExchangeResult r = RunExchange(port, "GMWT:", true, kPause, ReplyForm::Framed);
        return r.ok() && r.reply == gmwtReply;
    });
    PrintRow("(a) GMWT, drain, framed reply", framed, kReadTimeOut + pauseOrArrival(kPause, 9, gmwtReply.size()),
             kExchangeTarget);

    const Figures ack =
        Measure(runs, [&] { return RunExchange(port, "KAL0:", false, kPause, ReplyForm::Acknowledgement).ok(); });
    PrintRow("(b) KAL0, no drain, ACK", ack, pauseOrArrival(kPause, 9, 1), kExchangeTarget);

    const Figures drain = Measure(runs, [&] { return DrainPort(port) == 0; });
    PrintRow("(c) drain on a quiet line", drain, kReadTimeOut, kDrainTarget);

    if (lineSpeed) {
        RunExchange(port, "FWUP:", false, kPause, ReplyForm::Ignored);
        const std::string block = "P0000" + std::string(192, 'F');
        const Figures blocks = Measure(
            runs, [&] { return RunExchange(port, block, false, kBlockPause, ReplyForm::Acknowledgement).ok(); });
        // The floor adds the 30 ms pause to the line time of the 201-byte block
        // and its ACK, as on a port whose write returns only once the bytes are out.
        const Millis sequential = LineTime(201 + 1) + Millis(kBlockPause);
        PrintRow("(d) P block, 201 bytes, 30 ms pause", blocks, sequential, kExchangeTarget);
        const Millis overlapped = pauseOrArrival(kBlockPause, 201, 1);
        std::printf("    a write here returns once the driver has the bytes, so the pause runs while they cross\n"
                    "    the line: against that floor (%.1f ms) the overhead is %.1f ms\n",
                    overlapped.count(), (blocks.median - overlapped).count());
    }
    return framed.failures + ack.failures + drain.failures ? 1 : 0;
}
