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
        m_barTexts[index] = std::move(text);
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

PortStream::PortStream(FleetConsole& console, const std::string& name, bool toErr)
    : m_console(console), m_prefix(TerminalText(name) + ":"), m_toErr(toErr)
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
    std::size_t start = 0;
    for (std::size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n', start)) {
        shown += m_prefix + (end > start ? " " : "") + m_pending.substr(start, end - start) + '\n';
        start = end + 1;
    }
    m_pending.erase(0, start);
    if (all && !m_pending.empty())
        shown += m_prefix + " " + std::exchange(m_pending, std::string()) + '\n';
    return shown.empty() || m_console.Write(m_toErr, shown);
}

} // namespace cli
