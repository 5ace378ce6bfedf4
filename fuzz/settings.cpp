// Any bytes as a settings file, then one key written and read back: the value
// read is the value written, and no other key of the file changes.

#include "files/profile_file.h"
#include "fuzz/support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The names the program uses, in the case it writes them and in another.
const char* const kSections[] = {"CONNECTION", "DIR", "PARAMS", "dir"};
const char* const kKeys[] = {"COM", "WORKINGDIR", "TEST", "MarginTop"};

// A value the file cannot tell apart from "missing".
const std::string kMissing = "\x01missing";

const std::string& IniPath()
{
    static const std::string path = (ScratchFolder() / "KorvenCtrl.ini").string();
    return path;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string_view Trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \t\v\f\r");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\v\f\r") - first + 1);
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Every section and key name of the file, found without the code under test.
std::vector<std::pair<std::string, std::string>> NamesIn(std::string_view text)
{
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        const std::string_view line = Trim(text.substr(0, lf));
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            section = std::string(Trim(line.substr(1, line.find(']') - 1)));
            inSection = true;
        } else if (line.find('=') != std::string_view::npos && inSection) {
            names.emplace_back(section, std::string(Trim(line.substr(0, line.find('=')))));
        }
    }
    return names;
}

// What the program could want to store: valid UTF-8 of at most 511 bytes.
bool IsStorable(std::string_view value)
{
    return value.size() <= profile::kMaxValueLength && profile::DecodeValue(value) == value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section =
        input.ConsumeBool() ? input.PickValueInArray(kSections) : input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeBool() ? input.PickValueInArray(kKeys) : input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(600);
    const std::string file = input.ConsumeRemainingBytesAsString();

    const std::string& path = IniPath();
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
    }

    const auto names = NamesIn(file);
    std::vector<std::string> before;
    for (const auto& [s, k] : names)
        before.push_back(profile::ReadString(s, k, kMissing, path));

    const bool written = profile::WriteString(section, key, value, path);
    const std::string what = "[" + Escaped(section) + "] " + Escaped(key) + " = " + Escaped(value) + " into " +
                             Escaped(file) + " gives " + Escaped(Slurp(path));
    if (!written) {
        FUZZ_REQUIRE_SAYING(Slurp(path) == file, what);
        return 0;
    }
    if (IsStorable(value))
        FUZZ_REQUIRE_SAYING(profile::ReadString(section, key, kMissing, path) == value, what);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [s, k] = names[i];
        if (SameName(s, Trim(section)) && SameName(k, Trim(key)))
            continue;
        FUZZ_REQUIRE_SAYING(profile::ReadString(s, k, kMissing, path) == before[i], what + ", changes " + s + "/" + k);
    }
    return 0;
}
