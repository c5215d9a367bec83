// Reading and writing single keys of a profile (INI) file: "[section]" header
// lines and "key=value" lines, sections and keys matched without regard to
// case. Lines end in LF, CR LF or a lone CR. The program's text is UTF-8; the
// file is UTF-8, with or without a byte-order mark, or else in the legacy code
// page (GBK; the ANSI code page on Windows), and stays in its encoding.
//
// A write replaces the key's line in place and keeps every other line,
// comment, line ending and section as it was; it creates the key, the section
// and the file when they are missing. The new file is written beside the old
// one and renamed over it, so a failed write never leaves a damaged file
// behind. Writers take turns through an advisory lock, so two programs
// writing different keys at once keep both. A symbolic link is written
// through: the file it points to is replaced and the link stays.
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
// was, when it cannot be read, is read-only for this process or cannot be
// replaced, when the value holds a line break (which would split the line and
// corrupt the file), or when the file's encoding cannot hold the text.
bool WriteIniValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                   std::string_view value);

} // namespace zarvex::config
