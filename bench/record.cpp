// The commissioning record on this machine's disk: how long one append with its
// sync takes, and how long the last 100 entries of a 10 MB record take to show.
//
// An append opens the record, waits for its lock, looks at its header and its
// last byte, writes the entry and syncs it, as the window and korvenctl do before
// each outcome they report. Its floor is a bare write and fsync of the same line
// to a file kept open. The 10 MB record is made of entries as the program writes
// them; the window reads its newest entries from the end and lists them. A
// change's start entry on a 100 MB record whose port has no set is what
// korvenctl does before a flash: the port's last set looked for (for its version
// text), then the entry appended with its sync, all while other writers wait.
// The reference lookup finds the set a port was commissioned with on the same
// record. Targets: an append in under 20 ms (95th percentile), the last 100
// entries in under 50 ms, the start entry and the reference lookup on the 100 MB
// record in under 50 ms each (median).
//
//   bench/record [FOLDER]   FOLDER defaults to a new folder in the current one,
//                           so that the disk is the one the build is on.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "record/commissioning_record.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr double kTargetAppendMs = 20.0;
constexpr double kTargetShowMs = 50.0;
constexpr int kAppends = 200;
constexpr int kShows = 20;
constexpr double kTargetStartMs = 50.0;
constexpr std::uintmax_t kLargeRecord = 10u * 1024 * 1024;
constexpr std::uintmax_t kHugeRecord = 100u * 1024 * 1024;
constexpr int kStarts = 10;
constexpr double kTargetLookupMs = 50.0;

double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

RecordEntry WriteEntry(int n)
{
    RecordEntry entry;
    entry.action = record::kParametersWritten;
    entry.outcome = "Übertragung der Daten ok.";
    entry.port = "COM" + std::to_string(1 + n % 4);
    entry.device = "/dev/ttyUSB" + std::to_string(n % 4);
    entry.version = "V2.1 13.06.7";
    entry.before = ParameterSet{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "15.0", "100.0"};
    entry.set = ParameterSet{n % 2, "2.5", "1.0", "-12.0", "-20.0", "10.0", "17.5", "110.0"};
    return entry;
}

template <typename Work> std::vector<double> Times(int count, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        work(i);
        times.push_back(Millis(Clock::now() - start).count());
    }
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "korven-record-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);

    // The floor: the same line written and synced to a file held open.
    const std::string line = RecordLine(WriteEntry(0), WallClock::now());
    const int fd = ::open((folder / "floor.csv").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const std::vector<double> floor = Times(kAppends, [&](int) {
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()) || ::fsync(fd) != 0)
            std::perror("floor");
    });
    ::close(fd);

    const CommissioningRecord small((folder / "protokoll.csv").string());
    const std::vector<double> appends = Times(kAppends, [&](int n) {
        if (!small.Append(WriteEntry(n)))
            std::fprintf(stderr, "an append failed\n");
    });

    // Records of entries, written at once (without a sync for each).
    const auto makeRecord = [&folder](const char* name, std::uintmax_t size) {
        const fs::path path = folder / name;
        std::ofstream out(path, std::ios::binary);
        out << RecordHeader();
        const WallClock::time_point start = WallClock::now() - std::chrono::hours(24 * 365);
        for (int n = 0; static_cast<std::uintmax_t>(out.tellp()) < size; ++n)
            out << RecordLine(WriteEntry(n), start + n * std::chrono::seconds(90));
        return path;
    };
    const fs::path largePath = makeRecord("gross.csv", kLargeRecord);
    const CommissioningRecord large(largePath.string());
    std::size_t shown = 0;
    const std::vector<double> shows = Times(kShows, [&](int) {
        const auto entries = large.LastEntries(100);
        shown = entries.size();
        if (RecordListText(entries).empty())
            std::fprintf(stderr, "nothing to show\n");
    });
    // A port the record has never seen, flashed: its start entry.
    const fs::path hugePath = makeRecord("sehr-gross.csv", kHugeRecord);
    const CommissioningRecord huge(hugePath.string());
    const std::vector<double> starts = Times(kStarts, [&](int) {
        RecordEntry entry;
        entry.action = record::kFirmwareUpdate;
        entry.port = "COM16";
        if (const auto last = huge.LastEntryWithSet(entry.port))
            entry.version = (*last)[kVersionColumn];
        if (!huge.AppendStart(entry))
            std::fprintf(stderr, "a start entry failed\n");
    });

    // The set a port was commissioned with, on the same record: a port written
    // lately (its entry in the tail), and a port never written, whose lookup reads
    // the whole file back, a tail's worth per lock.
    const std::vector<double> lookups = Times(kStarts, [&](int) {
        if (!huge.CommissionedEntry("COM3"))
            std::fprintf(stderr, "no reference found\n");
    });
    const std::vector<double> misses = Times(3, [&](int) {
        if (huge.CommissionedEntry("COM17"))
            std::fprintf(stderr, "a reference found for a port never written\n");
    });

    const double append95 = Percentile(appends, 0.95);
    const double showMedian = Percentile(shows, 0.5);
    std::printf("commissioning record in %s\n", folder.c_str());
    std::printf("  floor, write and fsync of one %zu-byte line to an open file: median %.2f ms, 95th %.2f ms\n",
                line.size(), Percentile(floor, 0.5), Percentile(floor, 0.95));
    std::printf(
        "  append with its sync, %d of them: median %.2f ms, 95th %.2f ms, max %.2f ms (target under %.0f ms)\n",
        kAppends, Percentile(appends, 0.5), append95, Percentile(appends, 1.0), kTargetAppendMs);
    std::printf("  last %zu entries of a %.1f MB record, listed, %d times: median %.2f ms, max %.2f ms (target "
                "under %.0f ms)\n",
                shown, static_cast<double>(fs::file_size(largePath)) / (1024.0 * 1024.0), kShows, showMedian,
                Percentile(shows, 1.0), kTargetShowMs);
    const double startMedian = Percentile(starts, 0.5);
    std::printf("  start entry of a flash on a port that a %.1f MB record never saw, %d times: median %.2f ms, "
                "max %.2f ms (target under %.0f ms)\n",
                static_cast<double>(fs::file_size(hugePath)) / (1024.0 * 1024.0), kStarts, startMedian,
                Percentile(starts, 1.0), kTargetStartMs);
    const double lookupMedian = Percentile(lookups, 0.5);
    std::printf("  reference of a port written lately, on the same record, %d times: median %.2f ms, max %.2f ms "
                "(target under %.0f ms)\n",
                kStarts, lookupMedian, Percentile(lookups, 1.0), kTargetLookupMs);
    std::printf("  reference of a port never written (the whole record read back), 3 times: median %.2f ms\n",
                Percentile(misses, 0.5));
    const bool met = append95 < kTargetAppendMs && showMedian < kTargetShowMs && shown == 100 &&
                     startMedian < kTargetStartMs && lookupMedian < kTargetLookupMs;
    std::printf("  %s\n", met ? "targets met" : "TARGETS NOT MET");
    fs::remove_all(folder);
    return 0;
}
