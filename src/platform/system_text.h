// Text as the platform's own files hold it. The program's text is UTF-8
// throughout; profile files such as config.ini are in the system's code page,
// as the platform's profile functions write them: UTF-8 on Linux, the ANSI
// code page on Windows (936 on a Chinese system). Plain functions, no toolkit.
#pragma once

#include <string>
#include <string_view>

namespace zarvex::platform {

// UTF-8 to the system's code page; a character the code page lacks becomes
// the code page's default character.
std::string ToSystemText(std::string_view utf8);

// The system's code page to UTF-8.
std::string FromSystemText(std::string_view stored);

} // namespace zarvex::platform
