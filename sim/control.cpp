// The control channel's words: portable, as the client on Windows uses them too.

#include "sim/control.h"

#include <charconv>
#include <cstdio>
#include <set>

namespace {

constexpr char kEmptyWord[] = "~";

bool StandsForItself(unsigned char c)
{
    return c > ' ' && c < 0x7F && c != '%' && c != '~';
}

std::string Number(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename T> bool ReadNumber(std::string_view text, T& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The parameter memory's numbers by key, in the order GPAR sends them.
struct NumberKey {
    const char* key;
    double RelayParameters::*member;
};
const NumberKey kNumberKeys[] = {
    {"HYS", &RelayParameters::HYS}, {"SWB", &RelayParameters::SWB}, {"UPL", &RelayParameters::UPL},
    {"UPP", &RelayParameters::UPP}, {"UMI", &RelayParameters::UMI}, {"UMM", &RelayParameters::UMM},
    {"SVZ", &RelayParameters::SVZ}, {"KAL", &RelayParameters::KAL}, {"K0V", &RelayParameters::K0V},
};

} // namespace

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<double> ParseDecimal(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    for (char c : text) {
        if (!(c == '-' || c == '.' || (c >= '0' && c <= '9')))
            return std::nullopt; // keeps out "inf", "nan" and exponents
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string EscapeWord(std::string_view bytes)
{
    if (bytes.empty())
        return kEmptyWord;
    std::string word;
    word.reserve(bytes.size());
    for (const char c : bytes) {
        if (StandsForItself(static_cast<unsigned char>(c))) {
            word += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            word += hex;
        }
    }
    return word;
}

std::optional<std::string> UnescapeWord(std::string_view word)
{
    if (word == kEmptyWord)
        return std::string();
    std::string bytes;
    bytes.reserve(word.size());
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (c == '%' && i + 2 < word.size() && HexDigit(word[i + 1]) >= 0 && HexDigit(word[i + 2]) >= 0) {
            bytes += static_cast<char>(HexDigit(word[i + 1]) * 16 + HexDigit(word[i + 2]));
            i += 2;
        } else if (StandsForItself(c)) {
            bytes += static_cast<char>(c);
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::string JoinWords(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty())
            line += ' ';
        line += EscapeWord(word);
    }
    return line;
}

std::optional<std::vector<std::string>> SplitWords(std::string_view line)
{
    std::vector<std::string> words;
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        const auto word = UnescapeWord(line.substr(0, space));
        if (!word)
            return std::nullopt;
        words.push_back(*word);
        line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    }
    return words;
}

std::vector<std::string> ParameterWords(const RelayParameters& params)
{
    std::vector<std::string> words;
    for (const NumberKey& number : kNumberKeys)
        words.push_back(std::string(number.key) + "=" + Number(params.*(number.member)));
    words.push_back("INV=" + std::to_string(params.INV));
    words.push_back("VER=" + params.VER);
    return words;
}

bool ReadParameterWords(const std::vector<std::string>& words, RelayParameters& params)
{
    RelayParameters read;
    std::set<std::string> seen;
    for (const std::string& word : words) {
        const std::size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string_view value =
            eq == std::string::npos ? std::string_view() : std::string_view(word).substr(eq + 1);
        bool valid = eq != std::string::npos;
        if (key == "INV") {
            valid = valid && ReadNumber(value, read.INV);
        } else if (key == "VER") {
            read.VER = value;
        } else {
            const NumberKey* number = nullptr;
            for (const NumberKey& candidate : kNumberKeys)
                number = key == candidate.key ? &candidate : number;
            valid = valid && number != nullptr && ReadNumber(value, read.*(number->member));
        }
        if (!valid || !seen.insert(key).second)
            return false;
    }
    if (seen.size() != std::size(kNumberKeys) + 2)
        return false;
    params = read;
    return true;
}
