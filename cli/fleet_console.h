#pragma once
// The console of a run over several ports: every port writes through a stream
// of its own, whose lines reach the one console whole, with the port's name in
// front ("COM3: Verify ok!"), so that lines of different ports never mix. On a
// terminal that takes cursor movement, each port's progress bar gets a line of
// its own below everything else, redrawn in place.

#include "cli/korvenctl.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace cli {

class FleetConsole {
public:
    // names: the ports, in the order of their bars; bars: draw a bar per port.
    FleetConsole(const Console& console, std::vector<std::string> names, bool bars);
    ~FleetConsole();
    FleetConsole(const FleetConsole&) = delete;
    FleetConsole& operator=(const FleetConsole&) = delete;

    // Writes text, whole lines each ending in '\n', to standard output or
    // standard error in one piece, above the bars; false when that stream
    // cannot be written (a full disk, a reader gone away).
    bool Write(bool toErr, const std::string& text);
    // The bar of port index now reads text. It is drawn by a thread of its
    // own, at most every 100 ms: a slow terminal never holds up a relay.
    void Bar(std::size_t index, std::string text);
    // Each port's bar is half as wide as the bar of a single port, so that the
    // port's name, its bar and the status text fit on one line.
    static constexpr std::size_t kPortBarWidth = 20;
    // Draws the bars as they stand last and leaves them where they are: what
    // follows is written below them.
    void EndBars();

private:
    void Draw();
    void EraseBars();
    void DrawBars();

    const Console& m_console;
    const std::vector<std::string> m_names;
    const bool m_bars;
    std::mutex m_screenMutex; // the console's streams, and what is drawn there
    std::size_t m_drawn = 0;  // bar lines on the screen below the last line written
    bool m_showing;           // the bars are still drawn (until EndBars)
    std::mutex m_barMutex;    // what the bars read; taken after m_screenMutex, never before
    std::vector<std::string> m_barTexts;
    bool m_stale = false; // a bar changed since they were drawn
    bool m_over = false;  // the drawing thread ends
    std::condition_variable m_barChanged;
    std::thread m_drawing;
};

// One port's standard output or standard error. What the port writes goes on
// at each flush: its complete lines with the port's name in front, whole.
class PortStream : public std::streambuf {
public:
    PortStream(FleetConsole& console, const std::string& name, bool toErr);

    // Passes on what is left, a line without its end too.
    void Finish();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    // false when the console's stream failed: the port's stream fails too, so
    // that a command that stops when its output goes (live) stops here as well.
    bool PassOn(bool all);

    FleetConsole& m_console;
    std::string m_prefix;
    bool m_toErr;
    std::string m_pending;
};

} // namespace cli
