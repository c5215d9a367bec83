// Text to whole numbers the way the settings and the hot-key spec are typed:
// surrounding blanks ignored, an optional sign, decimal digits, an optional
// fraction rounded to the nearest whole number with halves going to the even
// neighbour ("2.5" is 2, "3.5" is 4).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zarvex::config {

// The whole text must be such a number; none otherwise, or when the rounded
// value lies outside [min, max].
std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t min, int64_t max);

std::optional<int16_t> ParseInt16(std::string_view text);

// The leading number of a text (blanks first allowed, anything after it
// ignored), rounded the same way; 0 when the text does not start with one.
// Values beyond the 64-bit range are clamped.
int64_t LeadingNumber(std::string_view text);

} // namespace zarvex::config
