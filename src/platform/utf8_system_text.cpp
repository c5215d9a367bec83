// Systems whose code page is UTF-8: the text stays as it is.
#include "platform/system_text.h"

namespace zarvex::platform {

std::string ToSystemText(std::string_view utf8) { return std::string(utf8); }
std::string FromSystemText(std::string_view stored) { return std::string(stored); }

} // namespace zarvex::platform
