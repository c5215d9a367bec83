// Reading and writing single keys of a profile (INI) file: "[section]" header
// lines and "key=value" lines, sections and keys matched without regard to
// case. Text is stored as the bytes given (UTF-8 on Linux).
//
// A write replaces the key's line in place and keeps every other line,
// comment and section as it was; it creates the key, the section and the file
// when they are missing. The new file is written beside the old one and
// renamed over it, so a failed write never leaves a damaged file behind.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zarvex::config {

// The value of `key` in `section`, whole, with surrounding blanks (and one pair
// of matching surrounding quotes) removed; the empty text when the file, the
// section or the key is missing or the file cannot be read.
std::string ReadIniValue(const std::filesystem::path& file, std::string_view section, std::string_view key);

// Sets `key` in `section` to `value`. Returns false, leaving the file as it
// was, when it cannot be read or replaced, or when the value holds a line
// break (which would split the line and corrupt the file).
bool WriteIniValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                   std::string_view value);

} // namespace zarvex::config
