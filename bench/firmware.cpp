// Times a whole firmware update (programming pass, pause, verify pass, restart)
// through a real CSerialPort against an in-process korven-sim, once on the bare
// pseudo-terminal and once with the simulator's 19200-baud line pacing, and sets
// each total beside its floor:
//
//   bare:  every block exchange waits its 30 ms pause and, on the original's
//          line settings, a 1 ms inter-character time-out: 480 x 31 ms, plus the
//          1000 ms between the passes and three short exchanges of 101 ms;
//   paced: the line time of 480 block frames of 201 bytes (10 bits a byte at
//          19200 baud), plus the 1000 ms and three 100 ms pauses.
//
// With the pacing it also reads replies that are still streaming in (a GPAR
// reply read without a pause) and counts how many the read's inter-byte silence
// cut short: the silence must be long enough for that, and short, because every
// block's read pays it once.
//
//   bench/firmware [--bare | --paced] [--streams N]

#include "firmware/update_passes.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "port/read_timing.h"
#include "port/serial_port.h"
#include "sim/sim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr double kTargetRatio = 1.05;
constexpr unsigned kBlockFrames = 2 * kBlockCount;
constexpr std::size_t kBlockFrameBytes = kBlockTextLength + 5; // STX, letter, digits, ETX
constexpr int kShortExchanges = 3;                             // FWUP twice, the restart
// What a read costs on the original's settings once a reply is in.
constexpr std::chrono::milliseconds kOriginalInterCharacter{1};

Seconds PacedFloor()
{
    return KorvenSim::kByteTime * static_cast<long>(kBlockFrames * kBlockFrameBytes) + kVerifyDelay +
           kShortExchanges * kPause;
}

Seconds BareFloor()
{
    return kBlockFrames * (kBlockPause + kOriginalInterCharacter) + kVerifyDelay +
           kShortExchanges * (kPause + kOriginalInterCharacter);
}

FirmwareImage PatternImage()
{
    FirmwareImage image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
    return image;
}

// Opens COM1 on the simulator's pseudo-terminal.
bool OpenPort(CSerialPort& port, const KorvenSim& sim)
{
    const auto ini = std::filesystem::temp_directory_path() / ("korven-bench-" + std::to_string(getpid()) + ".ini");
    std::ofstream(ini, std::ios::binary) << "[PORTS]\nCOM1=" << sim.DevicePath() << "\n";
    CSerialPort::SetHooks(
        {[](const std::string& text, const std::string&) { std::fprintf(stderr, "firmware: %s\n", text.c_str()); },
         ini.string()});
    const int opened = port.Open(1, 19200);
    std::filesystem::remove(ini);
    return opened == 0;
}

// One full update; false when it did not end in "Verify ok!" with one restart.
bool RunOnce(bool paced, int streams)
{
    SimOptions options;
    options.lineSpeed = paced;
    KorvenSim sim(options);
    std::string error;
    CSerialPort port;
    if (!sim.Start(&error) || !OpenPort(port, sim)) {
        std::fprintf(stderr, "firmware: %s\n", error.empty() ? "cannot open the port" : error.c_str());
        return false;
    }

    const FirmwareImage image = PatternImage();
    FirmwareUpdate update(port, image, {});
    const auto start = Clock::now();
    const PassResult result = update.Run();
    const Seconds total = Clock::now() - start;
    const bool ok = result.outcome == PassOutcome::Ok && sim.RestartCount() == 1 &&
                    sim.ReceivedFrames().size() == kBlockFrames + kShortExchanges;

    const Seconds floor = paced ? PacedFloor() : BareFloor();
    const double ratio = total / floor;
    std::printf("%-28s %8.2f s %8.2f s %7.3f   under %.2f: %-3s  %s\n", paced ? "paced at 19200 baud" : "bare pty",
                total.count(), floor.count(), ratio, kTargetRatio, ratio < kTargetRatio ? "yes" : "NO",
                ok ? result.status.c_str() : "(update FAILED)");

    if (paced && streams > 0) {
        // The GPAR reply crosses the line in about 60 ms; read at once, it streams in.
        int cut = 0;
        for (int i = 0; i < streams; ++i)
            cut += RunExchange(port, "GPAR:", true, std::chrono::milliseconds(0), ReplyForm::Framed).ok() ? 0 : 1;
        std::printf("    GPAR replies read while streaming in, %.1f ms silence ends a read: %d of %d cut short\n",
                    std::chrono::duration<double, std::milli>(kInterByteGap).count(), cut, streams);
    }
    return ok;
}

int Usage(FILE* to, int code)
{
    std::fprintf(to, "Usage: firmware [--bare | --paced] [--streams N]\n"
                     "Times a whole firmware update against an in-process korven-sim and prints total, floor\n"
                     "and ratio; with pacing also how many streaming replies the read cut short.\n");
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    bool bare = true;
    bool paced = true;
    int streams = 100;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--bare") {
            paced = false;
        } else if (arg == "--paced") {
            bare = false;
        } else if (arg == "--streams" && i + 1 < argc) {
            streams = std::atoi(argv[++i]);
        } else if (arg == "--help") {
            return Usage(stdout, 0);
        } else {
            return Usage(stderr, 2);
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line as it is measured, also into a file
    std::printf("firmware: whole update, %u block frames of %zu bytes\n", kBlockFrames, kBlockFrameBytes);
    std::printf("%-28s %10s %10s %7s\n", "line", "total", "floor", "ratio");
    bool ok = true;
    if (bare)
        ok = RunOnce(false, 0) && ok;
    if (paced)
        ok = RunOnce(true, streams) && ok;
    return ok ? 0 : 1;
}
