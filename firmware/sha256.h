#pragma once
// SHA-256 (FIPS 180-4), for the record of which firmware image was programmed.

#include <string>
#include <string_view>

// The digest of bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
