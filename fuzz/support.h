#pragma once
// What the fuzz targets share: their assertions (a broken promise stops the run
// with a message, and libFuzzer keeps the input that caused it), and a folder
// for the files the file targets write.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

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

// A folder of this fuzzing process's own, in memory where the system offers it:
// the file targets write a file on every run. It is removed when the process
// ends normally (a finding leaves it for a look).
inline std::filesystem::path ScratchFolder()
{
    namespace fs = std::filesystem;
    struct Folder {
        fs::path path;
        ~Folder()
        {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    static const Folder folder{base / ("korven-fuzz-" + std::to_string(::getpid()))};
    fs::create_directories(folder.path);
    return folder.path;
}
