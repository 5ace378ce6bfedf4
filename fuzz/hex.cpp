// Any bytes as an Intel-HEX file, loaded into the firmware image: nothing is
// ever stored outside the image (it lies on the heap at its exact size, so the
// address sanitizer sees a byte past its end), lower-case digits load as
// upper-case ones do, and a load starts from an erased image whatever it held.

#include "firmware/hex_image.h"
#include "fuzz/support.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

namespace {

HexLoadResult Load(const std::string& text, FirmwareImage& image)
{
    std::istringstream in(text);
    return LoadHexImage(in, image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    auto image = std::make_unique<FirmwareImage>();
    const HexLoadResult result = Load(text, *image);
    FUZZ_REQUIRE(result.opened && !result.readFailed);
    if (text.find(':') == std::string::npos)
        FUZZ_REQUIRE(std::all_of(image->begin(), image->end(), [](unsigned char b) { return b == 0xFF; }));

    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    auto again = std::make_unique<FirmwareImage>();
    again->fill(0x5A); // what an earlier load left
    const HexLoadResult upperResult = Load(upper, *again);
    FUZZ_REQUIRE(*again == *image);
    FUZZ_REQUIRE(upperResult.badLines == result.badLines);

    // One line as the parser sees it: the fuzzer's own buffer, so no field is read past its end.
    HexRecord record;
    const std::string_view line(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, kHexPieceLength));
    if (ParseHexRecord(line, record) == 0)
        FUZZ_REQUIRE(!line.empty() && line[0] == ':');
    return 0;
}
