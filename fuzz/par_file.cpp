// Any bytes as a parameter file, loaded as the program loads one: only the first
// line counts (up to its first LF, at most 511 bytes), scanned in set-only mode
// and normalized. A set saved and loaded again comes back as it was.

#include "fuzz/support.h"
#include "params/checks.h"
#include "params/parameter_file.h"
#include "params/parameter_text.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace {

const std::string& ParameterFilePath()
{
    static const std::string path = (ScratchFolder() / "anlage.par").string();
    return path;
}

ParameterSet Loaded(const std::string& path, std::string_view bytes)
{
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    ParameterSet set;
    set.HYS = "7.5"; // a field the file may leave as it was
    FUZZ_REQUIRE(ReadParameterFile(path, set) == ParameterFileResult::Ok);
    return set;
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
    const std::size_t lf = bytes.find('\n');
    const std::size_t expected = std::min(lf == std::string_view::npos ? size : lf + 1, kMaxParameterLine);
    FUZZ_REQUIRE(line == bytes.substr(0, expected));

    // What follows the first line changes nothing.
    const ParameterSet whole = Loaded(path, bytes);
    FUZZ_REQUIRE(Loaded(path, line) == whole);

    // A set the checks let through is saved, and loaded again it is the same set.
    if (FirstFailingRow(whole) == 0) {
        FUZZ_REQUIRE(WriteParameterFile(path, whole) == ParameterFileResult::Ok);
        ParameterSet again;
        FUZZ_REQUIRE(ReadParameterFile(path, again) == ParameterFileResult::Ok);
        FUZZ_REQUIRE_SAYING(again == whole, "saved " + Escaped(FormatParameterRecord(whole)) + ", loaded " +
                                                Escaped(FormatParameterRecord(again)));
    }
    return 0;
}
