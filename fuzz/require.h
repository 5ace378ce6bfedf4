#pragma once
// What a fuzz target asserts: a broken promise stops the run with a message, and
// libFuzzer keeps the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_REQUIRE(condition) FUZZ_REQUIRE_SAYING(condition, std::string())

// The same, printing what the target was doing (the names and values involved).
#define FUZZ_REQUIRE_SAYING(condition, context)                                                                        \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n%s\n", __FILE__, __LINE__, #condition,                    \
                         std::string(context).c_str());                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

// Bytes made readable for such a message: printable ASCII as is, others as \xNN.
inline std::string Escaped(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '\\' && c != '"') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out + "\"";
}
