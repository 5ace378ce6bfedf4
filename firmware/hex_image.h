#pragma once
// The firmware image and its loading from an Intel-HEX file. The reading is
// narrow on purpose: only data records of the first 64 KB of the linear address
// space are taken, only while an extended-linear-address record has selected it,
// and only three of every four data bytes (the relay's program words are three
// bytes wide, stored in groups of four). Everything else in the file is passed
// over in silence.

#include <array>
#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

// A copy of the relay's program memory: 40960 bytes, word address = offset / 2.
inline constexpr std::size_t kImageSize = 0xA000;
using FirmwareImage = std::array<unsigned char, kImageSize>;

// A file is read in pieces of at most this many characters, like fgets into a
// 512-byte buffer: a longer line is split, and its second piece is a bad line.
inline constexpr std::size_t kHexPieceLength = 511;

inline constexpr const char* kHexBadLine = "Das File ist kein gültiges HEX-File!";
// Said where a file loaded cleanly but put no byte into the image (no data record
// in the first 64 KB, or no extended-address record before them): programming
// that image would erase the relay's firmware.
inline constexpr const char* kHexNoData = "Das HEX-File enthält keine Daten für das Gerät: es wird nicht programmiert.";

// One record, as parsed from one line.
struct HexRecord {
    unsigned char count = 0; // number of data bytes
    unsigned char addressHigh = 0;
    unsigned char addressLow = 0;
    unsigned char type = 0;
    std::array<unsigned char, 255> data{};
};

// Record types the loader acts on.
inline constexpr unsigned char kHexData = 0x00;
inline constexpr unsigned char kHexExtendedLinearAddress = 0x04;

// Two characters to one byte with the loader's own arithmetic: '0'..'9' count as
// digits; any other high character is (c + 9) & 0x0F, any other low one c - 55,
// so 'A'..'F' give 10..15 and other characters are not rejected but give
// whatever that arithmetic gives (taken as 8 bits).
unsigned char HexPairToByte(char high, char low);

// Fills record from line (its line end, if any, is not part of the record).
// 0 on success; -1 if the line does not begin with ':' or is too short for the
// fields its count claims (nothing past the line's end is ever read). The
// checksum is neither read nor tested.
int ParseHexRecord(std::string_view line, HexRecord& record);

struct HexLoadResult {
    bool opened = false;      // the file was opened; the image was reset and filled
    bool readFailed = false;  // reading stopped on an error (a directory, a vanished medium)
    std::size_t badLines = 0; // pieces rejected by ParseHexRecord
    std::size_t stored = 0;   // bytes the file put into the image (0: the image is the blank one)
    bool Clean() const { return opened && !readFailed && badLines == 0; }
};

// Loads a HEX text into image, which is first set to all 0xFF. Reads to the
// end; an end-of-file record does not stop it.
HexLoadResult LoadHexImage(std::istream& in, FirmwareImage& image);

// Opens path and loads it into a scratch image, which replaces image only when
// the load is clean: after a file that cannot be read or has a bad line, image
// still holds the last clean file, never a half-filled one that could be flashed.
HexLoadResult LoadHexFile(const std::string& path, FirmwareImage& image);

// The one message a load gives the operator, or nothing after a clean load: a
// file with many bad lines is reported once, not once per line.
std::optional<std::string> HexLoadMessage(const HexLoadResult& result, const std::string& path);
