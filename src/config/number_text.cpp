#include "config/number_text.h"

#include <cctype>

namespace zarvex::config {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct Scan {
    std::optional<int64_t> value; // none when no digit was found or on overflow
    size_t end = 0;               // index after the number
};

// Reads [sign] digits [. digits] from `pos`, rounding half to even exactly,
// without going through floating point.
Scan ScanNumber(std::string_view t, size_t pos)
{
    Scan s;
    bool negative = false;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) {
        negative = t[pos] == '-';
        ++pos;
    }
    const size_t digitsStart = pos;
    uint64_t whole = 0;
    bool overflow = false;
    while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos]))) {
        const unsigned d = static_cast<unsigned>(t[pos] - '0');
        if (whole > (UINT64_MAX - d) / 10)
            overflow = true;
        else
            whole = whole * 10 + d;
        ++pos;
    }
    bool anyDigit = pos > digitsStart;
    // Fraction: compare with one half; only its first digit and whether any
    // later digit is nonzero matter.
    int firstFraction = -1;
    bool restNonZero = false;
    if (pos < t.size() && t[pos] == '.') {
        ++pos;
        const size_t fracStart = pos;
        while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos]))) {
            if (pos == fracStart)
                firstFraction = t[pos] - '0';
            else if (t[pos] != '0')
                restNonZero = true;
            ++pos;
        }
        anyDigit = anyDigit || pos > fracStart;
    }
    s.end = pos;
    if (!anyDigit || overflow)
        return s;
    const bool above = firstFraction > 5 || (firstFraction == 5 && restNonZero);
    const bool half = firstFraction == 5 && !restNonZero;
    if (above || (half && whole % 2 == 1)) {
        if (whole == UINT64_MAX)
            return s;
        ++whole;
    }
    if (whole > static_cast<uint64_t>(INT64_MAX) + (negative ? 1u : 0u))
        return s;
    s.value = negative ? static_cast<int64_t>(0 - whole) : static_cast<int64_t>(whole);
    return s;
}

} // namespace

std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t min, int64_t max)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    const std::string_view t = text.substr(begin, end - begin);
    const Scan s = ScanNumber(t, 0);
    if (!s.value || s.end != t.size() || *s.value < min || *s.value > max)
        return std::nullopt;
    return s.value;
}

std::optional<int16_t> ParseInt16(std::string_view text)
{
    const auto v = ParseWholeNumber(text, INT16_MIN, INT16_MAX);
    if (!v)
        return std::nullopt;
    return static_cast<int16_t>(*v);
}

int64_t LeadingNumber(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    const Scan s = ScanNumber(text, pos);
    if (s.value)
        return *s.value;
    if (s.end > pos) // digits that overflowed
        return pos < text.size() && text[pos] == '-' ? INT64_MIN : INT64_MAX;
    return 0;
}

} // namespace zarvex::config
