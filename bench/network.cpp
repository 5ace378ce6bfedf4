// Times exchanges, the live rhythm and a whole firmware update over network
// ports: korven-sim behind Debian's ser2net, directly (0 ms) and through a
// relay that adds 40 ms each way, and sets each beside its floor:
//
//   exchange: the pause, or the round trip where that is longer (the reply's own
//             bytes cost nothing more on the unpaced pseudo-terminal);
//   live:     the window's tick as the window runs it (reopen, drain, exchange)
//             and its 1000 ms timer restarted after it: 1000 ms, one drain read
//             on a quiet line (128 ms), and the exchange's floor; within 2 %;
//   window:   the longest stretch of a tick on a relay that is silent behind
//             its device server (allowance 5 s) in which the window's events
//             would wait; under 150 ms;
//   firmware: the same update on the bare pseudo-terminal, plus one round trip
//             per block; a ratio under 1.10.
//
//   bench/network [--runs N] [--ticks N] [--no-firmware]

#include "firmware/update_passes.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "port/read_timing.h"
#include "port/serial_port.h"
#include "sim/device_server.h"
#include "sim/sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;
using Seconds = std::chrono::duration<double>;
using std::chrono::milliseconds;

constexpr double kLiveTargetPercent = 2.0;
constexpr double kFirmwareTargetRatio = 1.10;
constexpr double kUnservedTargetMs = 150;
constexpr milliseconds kTimer{1000};
constexpr milliseconds kQuietDrain{128};

Millis Median(std::vector<Millis> times)
{
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n == 0 ? Millis{} : n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2.0;
}

// Opens COM1 as named by entry; false with a message.
bool OpenPort(CSerialPort& port, const std::string& entry, const std::string& more = {})
{
    const auto ini = std::filesystem::temp_directory_path() / ("korven-bench-net-" + std::to_string(getpid()) + ".ini");
    std::ofstream(ini, std::ios::binary) << "[PORTS]\nCOM1=" << entry << "\n" << more;
    CSerialPort::SetHooks(
        {[](const std::string& text, const std::string&) { std::fprintf(stderr, "network: %s\n", text.c_str()); },
         ini.string()});
    const int opened = port.Open(1, 19200);
    std::filesystem::remove(ini);
    return opened == 0;
}

FirmwareImage PatternImage()
{
    FirmwareImage image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
    return image;
}

Seconds TimeUpdate(CSerialPort& port, bool& ok)
{
    FirmwareUpdate update(port, PatternImage(), {});
    const auto start = Clock::now();
    ok = update.Run().outcome == PassOutcome::Ok;
    return Clock::now() - start;
}

void Exchanges(CSerialPort& port, const char* path, milliseconds delay, int runs)
{
    struct Kind {
        const char* name;
        std::string text;
        bool drain;
        milliseconds pause;
        ReplyForm form;
    };
    const Kind kinds[] = {
        {"GMWT: (framed)", "GMWT:", false, kPause, ReplyForm::Framed},
        {"GPAR: (framed, 104 bytes)", "GPAR:", false, kPause, ReplyForm::Framed},
        {"SPAR: (acknowledged)", "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;", false, kPause,
         ReplyForm::Acknowledgement},
        {"P block (30 ms pause)", "P0000" + std::string(192, 'F'), false, kBlockPause, ReplyForm::Acknowledgement},
    };
    for (const Kind& kind : kinds) {
        // Blocks are taken in update mode only.
        if (kind.pause == kBlockPause)
            RunExchange(port, "FWUP:", false, kPause, ReplyForm::Ignored);
        std::vector<Millis> times;
        int failures = 0;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            if (!RunExchange(port, kind.text, kind.drain, kind.pause, kind.form).ok())
                ++failures;
            times.push_back(Clock::now() - start);
        }
        const Millis floor = std::max<Millis>(kind.pause, 2 * delay);
        const Millis median = Median(times);
        std::printf("  %-8s %3lld ms  %-27s %8.1f ms %8.1f ms %+7.1f ms%s\n", path,
                    static_cast<long long>(delay.count()), kind.name, median.count(), floor.count(),
                    (median - floor).count(), failures ? "  (FAILURES)" : "");
    }
}

// A window's wait: notes when the exchange lets the window's events be served.
class NotingWait final : public ExchangeWait {
public:
    explicit NotingWait(std::vector<Clock::time_point>& served) : m_served(served) {}
    bool Serve() override
    {
        m_served.push_back(Clock::now());
        return true;
    }

private:
    std::vector<Clock::time_point>& m_served;
};

// The longest stretch of a tick in which the window's events would wait: from the
// tick's start to the first time they are served, between two, and from the last to its end.
Millis LongestUnserved(CSerialPort& port, std::vector<Clock::time_point>& served)
{
    served.clear();
    served.push_back(Clock::now());
    port.Reopen();
    DrainPort(port);
    RunExchange(port, "GMWT:", false, kPause, ReplyForm::Framed);
    served.push_back(Clock::now());
    Millis longest{};
    for (std::size_t i = 1; i < served.size(); ++i)
        longest = std::max<Millis>(longest, served[i] - served[i - 1]);
    return longest;
}

void Live(CSerialPort& port, const char* path, milliseconds delay, int ticks, std::vector<Clock::time_point>& served)
{
    // As the window's tick: reopen, drain, the exchange; its timer restarts after it.
    std::vector<Millis> periods;
    int failures = 0;
    auto last = Clock::now();
    for (int i = 0; i <= ticks; ++i) {
        const auto start = Clock::now();
        if (i > 0)
            periods.push_back(start - last);
        last = start;
        port.Reopen();
        DrainPort(port);
        if (!RunExchange(port, "GMWT:", false, kPause, ReplyForm::Framed).ok())
            ++failures;
        served.clear();
        std::this_thread::sleep_for(kTimer);
    }
    const Millis floor = kTimer + kQuietDrain + std::max<Millis>(kPause, 2 * delay);
    const Millis median = Median(periods);
    const double percent = (median / floor - 1.0) * 100.0;
    std::printf("  %-8s %3lld ms  live period %8.1f ms against %7.1f ms: %+.2f %%   within %.0f %%: %s%s\n", path,
                static_cast<long long>(delay.count()), median.count(), floor.count(), percent, kLiveTargetPercent,
                percent < kLiveTargetPercent ? "yes" : "NO", failures ? "  (FAILURES)" : "");
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 20;
    int ticks = 10;
    bool firmware = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--ticks" && i + 1 < argc) {
            ticks = std::atoi(argv[++i]);
        } else if (arg == "--no-firmware") {
            firmware = false;
        } else {
            std::fprintf(stderr, "Usage: network [--runs N] [--ticks N] [--no-firmware]\n");
            return arg == "--help" ? 0 : 2;
        }
    }
    if (!Ser2net::Available()) {
        std::fprintf(stderr, "network: ser2net is not installed (scripts/install-deps installs it)\n");
        return 1;
    }
    KorvenSim sim;
    Ser2net server;
    DelayingRelay delayed;
    std::string error;
    if (!sim.Start(&error) || !server.Start(sim.DevicePath(), &error) || !delayed.Start(server.Rfc2217Port(), &error)) {
        std::fprintf(stderr, "network: %s\n", error.c_str());
        return 1;
    }
    sim.Update([](SimOptions& o) { o.value = "230.4"; });

    // Every exchange waits as the window's do, its events served in between.
    std::vector<Clock::time_point> served;
    SetExchangeWaits([&served] { return std::make_unique<NotingWait>(served); });

    std::printf("Exchanges through ser2net (median of %d)      median     floor   overhead\n", runs);
    struct Path {
        const char* name;
        std::string url;
        milliseconds delay;
    };
    const Path paths[] = {
        {"rfc2217", server.Rfc2217Url(), milliseconds{0}},
        {"tcp", server.RawUrl(), milliseconds{0}},
        {"rfc2217", "rfc2217://127.0.0.1:" + std::to_string(delayed.Port()), milliseconds{40}},
    };
    for (const Path& path : paths) {
        delayed.SetShape({path.delay});
        CSerialPort port;
        if (!OpenPort(port, path.url))
            return 1;
        Exchanges(port, path.name, path.delay, runs);
        Live(port, path.name, path.delay, ticks, served);
        port.Close();
        std::this_thread::sleep_for(milliseconds(500)); // ser2net lets go of the device
    }

    {
        // A relay that is off behind its device server: each tick waits the pause and a 5 s allowance.
        sim.Update([](SimOptions& o) { o.silent = true; });
        CSerialPort port;
        if (!OpenPort(port, server.Rfc2217Url(), "COM1_ZUSCHLAG=5000\n"))
            return 1;
        Millis longest{};
        for (int i = 0; i < 2; ++i)
            longest = std::max(longest, LongestUnserved(port, served));
        std::printf("Window unserved during a tick, silent relay, allowance 5 s: longest %.1f ms   under %.0f ms: %s\n",
                    longest.count(), kUnservedTargetMs, longest.count() < kUnservedTargetMs ? "yes" : "NO");
        port.Close();
        sim.Update([](SimOptions& o) { o.silent = false; });
        std::this_thread::sleep_for(milliseconds(500)); // ser2net lets go of the device
    }

    if (firmware) {
        bool ok = true;
        CSerialPort serial;
        if (serial.OpenPath(sim.DevicePath(), 19200) != 0)
            return 1;
        // The serial update on the same pseudo-terminal while ser2net rests.
        const Seconds bare = TimeUpdate(serial, ok);
        serial.Close();
        delayed.SetShape({milliseconds{40}});
        CSerialPort port;
        if (!OpenPort(port, "rfc2217://127.0.0.1:" + std::to_string(delayed.Port())))
            return 1;
        bool networkOk = true;
        const Seconds network = TimeUpdate(port, networkOk);
        const Seconds floor = bare + 2 * milliseconds{40} * static_cast<long>(2 * kBlockCount);
        const double ratio = network / floor;
        std::printf("Firmware update over RFC 2217, 40 ms each way: %.2f s against %.2f s (bare serial %.2f s + "
                    "480 round trips): %.3f   under %.2f: %s%s\n",
                    network.count(), floor.count(), bare.count(), ratio, kFirmwareTargetRatio,
                    ratio < kFirmwareTargetRatio ? "yes" : "NO", ok && networkOk ? "" : "  (update FAILED)");
    }
    return 0;
}
