#include "cli/outcome.h"

#include "files/text_encoding.h"
#include "firmware/update_passes.h"

#include <regex>

namespace cli {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void Escaped(std::string& out, unsigned char b)
{
    if (b == '"' || b == '\\')
        out.append(1, '\\').append(1, static_cast<char>(b));
    else if (b == '\n')
        out += "\\n";
    else if (b < 0x20 || b == 0x7F)
        out.append("\\u00").append(1, kHex[b >> 4]).append(1, kHex[b & 0x0F]);
    else
        out += static_cast<char>(b);
}

// A Latin-1 byte of 0x80 and above as JSON's escape of its character.
void Latin1(std::string& out, unsigned char b)
{
    out.append("\\u00").append(1, kHex[b >> 4]).append(1, kHex[b & 0x0F]);
}

} // namespace

Json Json::Number(const std::string& text)
{
    static const std::regex kNumber(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?)");
    return std::regex_match(text, kNumber) ? Literal(text) : Text(text);
}

Json Json::Text(std::string_view text)
{
    std::string out = "\"";
    while (!text.empty()) {
        bool cutShort = false;
        const std::size_t valid = files::ValidUtf8Prefix(text, cutShort);
        for (char c : text.substr(0, valid)) {
            if (static_cast<unsigned char>(c) >= 0x80)
                out += c; // part of a UTF-8 sequence
            else
                Escaped(out, static_cast<unsigned char>(c));
        }
        if (valid == text.size())
            break;
        Latin1(out, static_cast<unsigned char>(text[valid]));
        text.remove_prefix(valid + 1);
    }
    return Literal(out + '"');
}

Json Json::RelayText(std::string_view bytes)
{
    std::string out = "\"";
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80)
            Latin1(out, b);
        else
            Escaped(out, b);
    }
    return Literal(out + '"');
}

Json Json::Literal(std::string json)
{
    Json value;
    value.m_scalar = std::move(json);
    return value;
}

Json Json::Object(bool oneLine)
{
    Json value;
    value.m_object = true;
    value.m_oneLine = oneLine;
    return value;
}

Json& Json::Add(std::string key, Json value)
{
    m_members.emplace_back(std::move(key), std::move(value));
    return *this;
}

std::string Json::Render(std::size_t depth) const
{
    if (!m_object)
        return m_scalar;
    if (m_members.empty())
        return "{}";
    // Each member on a line of its own, one step in; or all on one line.
    const std::string between = m_oneLine ? ", " : ",\n" + std::string(2 * (depth + 1), ' ');
    std::string out = m_oneLine ? "{" : "{\n" + std::string(2 * (depth + 1), ' ');
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        const auto& [key, value] = m_members[i];
        if (i > 0)
            out.append(between);
        out.append(Text(key).m_scalar).append(": ").append(value.Render(depth + 1));
    }
    if (!m_oneLine)
        out.append("\n").append(2 * depth, ' ');
    return out.append("}");
}

std::string Outcome::Errors() const
{
    std::string errors;
    for (const Line& line : lines) {
        if (line.err)
            errors += (errors.empty() ? "" : "\n") + line.text;
    }
    return errors;
}

std::optional<std::string> ProgressText::Begin(const ProgressEvent& event)
{
    if (event.pass == m_pass) {
        m_failed += event.good ? 0 : 1;
        return std::nullopt;
    }
    std::optional<std::string> ended = End();
    m_pass = event.pass;
    m_failed = event.good ? 0 : 1;
    return ended;
}

std::string ProgressText::Bar(const ProgressEvent& event, std::size_t width)
{
    const unsigned done = event.block + 1;
    const std::size_t filled = done * width / kBlockCount;
    // Appended piece by piece: gcc 12 mistakes "[" + std::string(...) for an overlapping copy.
    std::string line = "[";
    line.append(filled, '#').append(width - filled, '.').append("] ");
    line.append(std::to_string(done * 100 / kBlockCount)).append("%  ").append(event.status);
    return line;
}

std::optional<std::string> ProgressText::Tenth(const ProgressEvent& event)
{
    const unsigned done = event.block + 1;
    if (done * 10 / kBlockCount == event.block * 10 / kBlockCount)
        return std::nullopt;
    return event.status + " (" + std::to_string(done * 100 / kBlockCount) + "%)";
}

std::optional<std::string> ProgressText::End()
{
    const bool failedBlocks = m_pass == kProgramLetter && m_failed > 0;
    const unsigned failed = m_failed;
    m_pass = 0;
    m_failed = 0;
    if (!failedBlocks)
        return std::nullopt;
    return ProgramStatus(kBlockCount - 1) + kBlockFailedSuffix + " (" + std::to_string(failed) +
           " blocks not acknowledged)";
}

} // namespace cli
