#include "cli/fleet_console.h"

#include "cli/session.h"

#include <algorithm>
#include <chrono>
#include <ostream>
#include <utility>

namespace cli {

namespace {

// A bar's line must fit an 80-column terminal: a line that wraps would take two
// rows, and the bars would no longer be redrawn where they are.
constexpr std::size_t kBarLineWidth = 79;
// Bars are redrawn at most this often: sixteen flashes finish a block each about
// every 30 ms, and a terminal need not show every one of them.
constexpr std::chrono::milliseconds kRedrawInterval{100};

// Each port's bar is half as wide as the bar of a single port, so that the port's
// name, its bar and the status text fit on one line.
constexpr std::size_t kPortBarWidth = 20;

// The bar at the start of text ("[###.....] 45%  ...") at the port's bar width.
std::string Narrowed(const std::string& text)
{
    const auto close = text.find(']');
    if (text.empty() || text[0] != '[' || close == std::string::npos || close < 2)
        return text;
    const auto filled =
        static_cast<std::size_t>(std::count(text.begin() + 1, text.begin() + close, '#')) * kPortBarWidth / (close - 1);
    // Appended piece by piece: gcc 12 mistakes "[" + std::string(...) for an overlapping copy.
    std::string bar = "[";
    bar.append(filled, '#').append(kPortBarWidth - filled, '.').append(text, close);
    return bar;
}

// The first width characters of text.
std::string Clipped(const std::string& text, std::size_t width)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == width)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

FleetConsole::FleetConsole(const Console& console, std::vector<std::string> names, bool bars)
    : m_console(console), m_names(std::move(names)), m_bars(bars), m_showing(bars), m_barTexts(m_names.size())
{
    if (m_bars)
        m_drawing = std::thread([this] { Draw(); });
}

FleetConsole::~FleetConsole()
{
    EndBars();
}

void FleetConsole::Draw()
{
    std::unique_lock bars(m_barMutex);
    while (!m_over) {
        m_barChanged.wait_for(bars, kRedrawInterval);
        if (!m_stale || m_over)
            continue;
        bars.unlock();
        {
            const std::lock_guard screen(m_screenMutex);
            EraseBars();
            DrawBars();
        }
        bars.lock();
    }
}

bool FleetConsole::Write(bool toErr, const std::string& text)
{
    const std::lock_guard screen(m_screenMutex);
    EraseBars();
    if (toErr)
        m_console.out.flush(); // what stands above the bars, before the message
    std::ostream& stream = toErr ? m_console.err : m_console.out;
    stream << text << std::flush;
    DrawBars();
    return !stream.fail();
}

void FleetConsole::Bar(std::size_t index, std::string text)
{
    const std::lock_guard bars(m_barMutex);
    if (index < m_barTexts.size()) {
        m_barTexts[index] = Narrowed(text);
        m_stale = true;
    }
}

void FleetConsole::EndBars()
{
    {
        const std::lock_guard bars(m_barMutex);
        m_over = true;
        m_barChanged.notify_all();
    }
    if (m_drawing.joinable())
        m_drawing.join();
    const std::lock_guard screen(m_screenMutex);
    if (m_showing && m_stale) {
        EraseBars();
        DrawBars();
    }
    m_showing = false;
    m_drawn = 0;
}

void FleetConsole::EraseBars()
{
    // Up to the first bar's line, and everything from there on cleared.
    if (m_drawn > 0)
        m_console.out << "\x1b[" << m_drawn << "F\x1b[J";
    m_drawn = 0;
}

void FleetConsole::DrawBars()
{
    if (!m_showing)
        return;
    std::string lines;
    {
        const std::lock_guard bars(m_barMutex);
        for (std::size_t i = 0; i < m_barTexts.size(); ++i) {
            if (m_barTexts[i].empty())
                continue;
            lines += Clipped(TerminalText(m_names[i]) + ": " + m_barTexts[i], kBarLineWidth) + "\x1b[K\n";
            ++m_drawn;
        }
        m_stale = false;
    }
    m_console.out << lines << std::flush;
}

PortStream::PortStream(FleetConsole& console, std::size_t index, const std::string& name, bool toErr, bool show,
                       bool keep)
    : m_console(console), m_index(index), m_prefix(TerminalText(name) + ":"), m_toErr(toErr), m_show(show), m_keep(keep)
{
}

PortStream::int_type PortStream::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        m_pending += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
}

std::streamsize PortStream::xsputn(const char* s, std::streamsize n)
{
    m_pending.append(s, static_cast<std::size_t>(n));
    return n;
}

int PortStream::sync()
{
    return PassOn(false) ? 0 : -1;
}

void PortStream::Finish()
{
    PassOn(true);
}

bool PortStream::PassOn(bool all)
{
    std::string shown;
    const auto line = [&](std::string text) {
        const auto carriage = text.rfind('\r');
        if (carriage != std::string::npos && m_console.Bars()) {
            // A bar redrawn in place: its last drawing is the port's bar.
            text.erase(0, carriage + 1);
            text.erase(text.find_last_not_of(' ') + 1);
            if (!text.empty()) {
                m_console.Bar(m_index, text);
                m_afterBar = true;
                return;
            }
        }
        if (text.empty() && std::exchange(m_afterBar, false))
            return; // the line end that closes a bar
        m_afterBar = false;
        if (m_keep)
            m_kept += text + '\n';
        if (m_show)
            shown += m_prefix + (text.empty() ? "" : " ") + text + '\n';
    };
    std::size_t start = 0;
    for (std::size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n', start)) {
        line(m_pending.substr(start, end - start));
        start = end + 1;
    }
    m_pending.erase(0, start);
    // A bar being redrawn has no line end yet; nor has the rest at the end.
    if ((m_console.Bars() && m_pending.find('\r') != std::string::npos) || (all && !m_pending.empty()))
        line(std::exchange(m_pending, std::string()));
    return shown.empty() || m_console.Write(m_toErr, shown);
}

} // namespace cli
