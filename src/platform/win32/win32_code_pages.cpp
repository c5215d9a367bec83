// Text in the Windows code pages, converted as the platform converts it
// (through UTF-16): the ANSI code page of profile files, and the code pages
// the QR Code tool writes.
#include "platform/profile_file.h"
#include "platform/win32/code_pages.h"

#include <windows.h>

#include <algorithm>

namespace zarvex::platform {

namespace {

std::string Convert(std::string_view text, UINT from, UINT to)
{
    if (text.empty())
        return {};
    const int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(std::max(wide, 0)), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
    const int n = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

std::optional<std::string> FromLegacyText(std::string_view stored) { return Convert(stored, CP_ACP, CP_UTF8); }
// Characters the code page lacks become "?", as the platform's writer stores them.
std::optional<std::string> ToLegacyText(std::string_view utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
// A file without a byte-order mark is in the ANSI code page, as the platform reads it.
bool ReadsAsLegacy(std::string_view) { return true; }

namespace win32 {

CodePageResult ToCodePage(std::string_view utf8, unsigned codePage, std::string& out)
{
    out.clear();
    if (utf8.empty())
        return CodePageResult::Converted;
    const int length = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (wide <= 0)
        return CodePageResult::NotUtf8;
    if (codePage == CP_UTF8) {
        out.assign(utf8);
        return CodePageResult::Converted;
    }
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, text.data(), wide);
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, nullptr,
                                          &usedDefault);
    if (bytes <= 0 || usedDefault)
        return CodePageResult::Unrepresentable;
    out.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), wide, out.data(), bytes, nullptr, &usedDefault);
    return usedDefault ? CodePageResult::Unrepresentable : CodePageResult::Converted;
}

} // namespace win32

} // namespace zarvex::platform

namespace zarvex::platform::win32 {

std::wstring Widen(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16)
{
    if (utf16.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace zarvex::platform::win32
