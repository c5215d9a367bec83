#include "qrcode/text_bytes.h"

#ifdef _WIN32
#include "platform/win32/code_pages.h"
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <stdexcept>

namespace zarvex::qrcode {

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    out.erase(std::remove(out.begin(), out.end(), '_'), out.end());
    out.erase(std::remove(out.begin(), out.end(), '-'), out.end());
    return out;
}

#ifndef _WIN32
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("this system cannot convert to ") + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

#endif

} // namespace

std::optional<TextEncoding> ParseTextEncoding(std::string_view name)
{
    const std::string n = Lower(name);
    if (n == "utf8")
        return TextEncoding::Utf8;
    if (n == "gbk" || n == "cp936" || n == "936")
        return TextEncoding::Gbk;
    if (n == "shiftjis" || n == "sjis")
        return TextEncoding::ShiftJis;
    return std::nullopt;
}

#ifdef _WIN32
std::vector<uint8_t> TextToBytes(std::string_view utf8, TextEncoding encoding)
{
    // As the platform converts: code page 936 (GBK) or 932 (Shift_JIS);
    // UTF-8 is only checked.
    const unsigned codePage = encoding == TextEncoding::Gbk ? 936 : encoding == TextEncoding::ShiftJis ? 932 : 65001;
    std::string out;
    switch (platform::win32::ToCodePage(utf8, codePage, out)) {
    case platform::win32::CodePageResult::NotUtf8:
        throw std::invalid_argument("the text is not valid UTF-8");
    case platform::win32::CodePageResult::Unrepresentable:
        throw std::invalid_argument(std::string("the text holds a character that code page ") + std::to_string(codePage)
                                    + " cannot represent");
    case platform::win32::CodePageResult::Converted:
        break;
    }
    return std::vector<uint8_t>(out.begin(), out.end());
}
#else
std::vector<uint8_t> TextToBytes(std::string_view utf8, TextEncoding encoding)
{
    // UTF-8 goes through iconv too, so that malformed input is refused the same way.
    const char* target = encoding == TextEncoding::Gbk ? "GBK" : encoding == TextEncoding::ShiftJis ? "SHIFT_JIS" : "UTF-8";
    Iconv cd(target, "UTF-8");
    std::vector<uint8_t> out(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outPtr = reinterpret_cast<char*>(out.data());
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG) {
            const size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            outPtr = reinterpret_cast<char*>(out.data()) + used;
            outLeft = out.size() - used;
            continue;
        }
        const size_t offset = utf8.size() - inLeft;
        // Show the offending character (its UTF-8 bytes, at most 4).
        size_t len = 1;
        while (len < 4 && offset + len < utf8.size() && (static_cast<unsigned char>(utf8[offset + len]) & 0xC0) == 0x80)
            ++len;
        const std::string ch(utf8.substr(offset, len));
        if (errno == EILSEQ && encoding != TextEncoding::Utf8)
            throw std::invalid_argument("the character \"" + ch + "\" at byte " + std::to_string(offset)
                                        + " cannot be written in " + target);
        throw std::invalid_argument("the text is not valid UTF-8 at byte " + std::to_string(offset));
    }
    out.resize(out.size() - outLeft);
    return out;
}

#endif

} // namespace zarvex::qrcode
