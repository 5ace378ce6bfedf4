#pragma once
// Paths are UTF-8 strings inside the program. On Windows the system takes them
// as UTF-16: a path must never reach it through the narrow functions, which
// read it in the ANSI code page ("C:\Prüfung" would not be found).

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);
// The path made absolute from the current folder; as given where it is empty or
// the current folder can't be had.
std::string AbsolutePathUtf8(const std::string& path);
// fopen for a UTF-8 path.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
