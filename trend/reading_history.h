#pragma once
// The live readings of the last day: one entry per live tick, a wall-clock time
// and the measured value or "no answer". The main window keeps it whether or
// not a trend window shows it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

using WallClock = std::chrono::system_clock;

// time as local clock time in strftime's format; empty where the system has no
// local time for it.
std::string LocalTimeText(WallClock::time_point time, const char* format);
// The local calendar time of seconds, on any thread (korvenctl notes and prints
// times from one thread per port, and std::localtime hands every caller the same
// buffer); nothing where the system has no local time for it.
std::optional<std::tm> LocalCalendar(std::time_t seconds);

struct Reading {
    WallClock::time_point time;
    std::optional<double> volts; // nothing: the relay gave no valid answer
    bool operator==(const Reading&) const = default;
};

class ReadingHistory {
public:
    // A day of ticks 1.2 s apart (the tick is never shorter than 1.23 s), at 16
    // bytes each: about 1.1 MB when full. The oldest tick then makes room.
    static constexpr std::size_t kCapacity = 72000;

    void Add(WallClock::time_point time, std::optional<double> volts);
    std::size_t Size() const { return m_ticks.size(); }
    std::optional<Reading> Latest() const;
    // The readings from time from on, oldest first, back to the last time the
    // clock was set back at most: their times never go backwards.
    std::vector<Reading> Since(WallClock::time_point from) const;

private:
    struct Tick {
        std::int64_t milliseconds; // since the epoch
        double volts;              // NaN: no answer
    };
    Reading At(std::size_t age) const; // age 0 is the latest tick

    std::vector<Tick> m_ticks;
    std::size_t m_next = 0; // where the next tick goes once the ring is full
};
