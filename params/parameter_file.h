#pragma once
// Parameter files (*.par): one record holding the relay's write command as the
// program sends it, without checksum and ETX: STX, "SPAR:" and the eight items,
// no line end. The key scanner that reads relay replies reads them back.

#include <string>
#include <string_view>

#include "params/parameter_set.h"

enum class ParameterFileResult {
    Ok,
    CannotOpen,  // missing, a folder, no permission
    CannotWrite, // folder missing or read-only, disk full: the old file stays as it was
};

// A first line is read into a 512-byte buffer: at most 511 bytes of the file.
inline constexpr std::size_t kMaxParameterLine = 511;

// The record of a set, byte for byte (the texts as they stand, not cut).
std::string FormatParameterRecord(const ParameterSet& set);

// Writes the record of set to path. A failed write never leaves a truncated
// file behind: the record goes to a temporary file that replaces the old one.
ParameterFileResult WriteParameterFile(const std::string& path, const ParameterSet& set);

// The file's first line: its bytes up to and including the first LF, at most
// kMaxParameterLine of them, without a UTF-8 byte-order mark in front; an empty
// file gives an empty line.
ParameterFileResult ReadParameterLine(const std::string& path, std::string& line);

// The operator's messages about a file that cannot be read or written.
std::string CannotReadMessage(std::string_view path);
std::string CannotWriteMessage(std::string_view path);

// The name a set is saved under: ".par" appended unless the last four
// characters are ".par" in any case (anlage.txt is saved as anlage.txt.par).
std::string WithParameterSuffix(const std::string& path);

enum class PathStyle { Posix, Windows };
#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// The characters that end a folder name: '/', and on Windows '\\' too.
std::string_view PathSeparators(PathStyle style = kNativePathStyle);

// The folder of a chosen file without its trailing separator. The root folder
// stays "/"; on Windows a drive's root leaves its letter and colon ("C:").
std::string FolderOf(const std::string& path, PathStyle style = kNativePathStyle);

// The file title: the name without folder and extension (anlage for /x/anlage.par).
std::string FileTitleOf(const std::string& path, PathStyle style = kNativePathStyle);
