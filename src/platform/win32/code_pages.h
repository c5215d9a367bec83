// Text in a given Windows code page, converted as the platform converts it
// (through UTF-16). Kept apart from <windows.h> so that plain libraries can
// use it.
#pragma once

#include <string>
#include <string_view>

namespace zarvex::platform::win32 {

enum class CodePageResult { Converted, NotUtf8, Unrepresentable };

// UTF-8 to code page `codePage` (65001 only checks the UTF-8). Nothing is
// replaced by a default or "best fit" character: such text is Unrepresentable.
CodePageResult ToCodePage(std::string_view utf8, unsigned codePage, std::string& out);

// UTF-8 inside the program, UTF-16 at the Windows API.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

} // namespace zarvex::platform::win32
