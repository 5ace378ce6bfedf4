#include "link/trace.h"

#include "files/utf8_path.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace trace {

namespace {

std::mutex g_mutex;
std::FILE* g_file = nullptr;
bool g_failed = false;
thread_local std::string t_label;

} // namespace

bool Start(const std::string& path, std::string* error)
{
    std::lock_guard lock(g_mutex);
    if (g_file != nullptr)
        std::fclose(g_file);
    g_failed = false;
    // Appending: a trace collects every run until the user removes it.
    g_file = OpenFileUtf8(path, "ab");
    if (g_file == nullptr && error != nullptr)
        *error = std::strerror(errno);
    return g_file != nullptr;
}

void Stop()
{
    std::lock_guard lock(g_mutex);
    if (g_file != nullptr && std::fclose(g_file) != 0)
        g_failed = true;
    g_file = nullptr;
}

bool WriteFailed()
{
    std::lock_guard lock(g_mutex);
    return g_failed;
}

bool Active()
{
    std::lock_guard lock(g_mutex);
    return g_file != nullptr;
}

void Record(Direction direction, std::string_view bytes, std::string_view note)
{
    std::lock_guard lock(g_mutex);
    if (g_file == nullptr)
        return;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const std::string line = FormatLine(std::chrono::duration_cast<std::chrono::microseconds>(now).count(), direction,
                                        bytes, note, t_label) +
                             '\n';
    // Flushed line by line so that an interrupted run keeps its last exchange.
    // A full disk or a vanished folder only costs the trace, never the exchange.
    if (std::fwrite(line.data(), 1, line.size(), g_file) != line.size() || std::fflush(g_file) != 0)
        g_failed = true;
}

void SetThreadLabel(std::string label)
{
    t_label = std::move(label);
}

std::string HexBytes(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!text.empty())
            text += ' ';
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    return text;
}

std::string FormatLine(long long microseconds, Direction direction, std::string_view bytes, std::string_view note,
                       std::string_view label)
{
    // Integer arithmetic keeps the point whatever the C locale says.
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%lld.%03lld", microseconds / 1000, microseconds % 1000);

    std::string line = stamp;
    if (!label.empty())
        line.append(" ").append(label);
    line += direction == Direction::Sent ? " TX " : " RX ";
    line += bytes.empty() ? "(nothing)" : HexBytes(bytes);
    line += " |";
    for (char c : bytes)
        line += c >= 0x20 && c < 0x7F ? c : '.';
    line += '|';
    if (!note.empty()) {
        line += " [";
        line += note;
        line += ']';
    }
    return line;
}

} // namespace trace
