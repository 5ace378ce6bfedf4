#pragma once
// Profile files (KorvenCtrl.ini): [SECTION] lines and key=value lines.
// Section and key names match without regard to case. A relative path is taken
// from the current folder. On Windows integers are read by the platform's own
// profile functions; text values and writes everywhere by profile_file.cpp, byte
// for byte whatever the system's code page.

#include <string>

// The leading decimal digits of the value, after an optional sign; a value that
// does not begin with a digit gives 0; a missing file, section or key, or an empty
// value, gives def.
int ReadProfileInt(const std::string& section, const std::string& key, int def, const std::string& path);

// The value (at most 511 characters), or def when missing.
std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& def,
                              const std::string& path);

// Replaces just that key's value, adding file, section or key where missing, and
// keeps every other line as it was. Never leaves a half-written file behind.
// true on success.
bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& path);
