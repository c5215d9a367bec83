// Text to the bytes a QR symbol carries. The encoder writes no character-set
// designator, so the reader must assume the encoding chosen here: UTF-8, or a
// legacy code page (GBK, the Simplified Chinese "ANSI" code page 936, or
// Shift_JIS, whose double-byte pairs the encoder packs in Kanji mode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarvex::qrcode {

enum class TextEncoding { Utf8, Gbk, ShiftJis };

// Parses "utf-8", "gbk", "shift-jis" (and a few common spellings); none otherwise.
std::optional<TextEncoding> ParseTextEncoding(std::string_view name);

// Converts UTF-8 text to the encoding. Throws std::invalid_argument, naming the
// character, when the text is not valid UTF-8 or holds a character the target
// encoding cannot represent.
std::vector<uint8_t> TextToBytes(std::string_view utf8, TextEncoding encoding);

} // namespace zarvex::qrcode
