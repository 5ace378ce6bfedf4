// Any bytes as a parameter file, loaded as the program loads one: only the first
// line counts (up to its first LF, at most 511 bytes, without a byte-order mark), scanned in set-only mode
// for the preview and in full mode for the window, each normalized. A set saved
// and loaded again comes back as it was.

#include "files/text_encoding.h"
#include "fuzz/support.h"
#include "params/checks.h"
#include "params/parameter_file.h"
#include "params/parameter_text.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

namespace {

const std::string& ParameterFilePath()
{
    static const std::string path = (ScratchFolder() / "anlage.par").string();
    return path;
}

// The preview's set and the window's set of a load.
using LoadedSets = std::pair<ParameterSet, ParameterSet>;

LoadedSets Loaded(const std::string& path, std::string_view bytes)
{
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string line;
    FUZZ_REQUIRE(ReadParameterLine(path, line) == ParameterFileResult::Ok);
    LoadedSets sets;
    sets.first.HYS = sets.second.HYS = "7.5"; // a field the file may leave as it was
    ParseParameterText(line, ScanMode::SetOnly, sets.first, nullptr);
    NormalizeTexts(sets.first);
    DeviceInfo info;
    ParseParameterText(line, ScanMode::Full, sets.second, &info);
    NormalizeTexts(sets.second);
    return sets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string& path = ParameterFilePath();

    std::string line;
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    FUZZ_REQUIRE(ReadParameterLine(path, line) == ParameterFileResult::Ok);
    const std::string_view read = files::WithoutUtf8Bom(bytes.substr(0, kMaxParameterLine));
    const std::size_t lf = read.find('\n');
    FUZZ_REQUIRE(line == read.substr(0, lf == std::string_view::npos ? read.size() : lf + 1));

    // What follows the first line changes nothing. A line that starts with a
    // second byte-order mark goes back behind one, which the load takes off again.
    const LoadedSets whole = Loaded(path, bytes);
    const std::string bom = "\xEF\xBB\xBF";
    FUZZ_REQUIRE(Loaded(path, line.rfind(bom, 0) == 0 ? bom + line : line) == whole);

    // A set the checks let through is saved, and loaded again it is the same set
    // in the preview and in the window.
    if (FirstFailingRow(whole.first) == 0) {
        FUZZ_REQUIRE(WriteParameterFile(path, whole.first) == ParameterFileResult::Ok);
        std::ifstream saved(path, std::ios::binary);
        const std::string record(std::istreambuf_iterator<char>(saved), {});
        const LoadedSets again = Loaded(path, record);
        FUZZ_REQUIRE_SAYING(again.first == whole.first && again.second == whole.first,
                            "saved " + Escaped(record) + ", loaded " + Escaped(FormatParameterRecord(again.first)) +
                                " and " + Escaped(FormatParameterRecord(again.second)));
    }
    return 0;
}
