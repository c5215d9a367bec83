# Keeps the source tree's layering true: the logic folders know no toolkit,
# the configuration knows nothing of the monitor, and Win32 headers stay in
# the Win32 platform code, the Win32 view and the WinHTTP transport.
#   cmake -DSRC=<source>/src -P include_rules.cmake
cmake_minimum_required(VERSION 3.25)
set(logic monitor config windows notify hotkey)
set(win32_headers "windows|winhttp|winuser|wingdi|winbase|windef|winnls|mmsystem|commctrl|commdlg|shellapi|shlobj|objbase|ole2|winsock2|ws2tcpip|windowsx|dwmapi|shellscalingapi|wininet|uxtheme")
set(faults "")

file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
foreach(file IN LISTS sources)
  file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include")
  string(REGEX MATCH "^[^/]+" folder "${file}")
  foreach(line IN LISTS includes)
    if(folder IN_LIST logic AND line MATCHES "<Q[A-Za-z]*(/|>)")
      list(APPEND faults "src/${file} includes a Qt header: ${line}")
    endif()
    if(folder STREQUAL "config" AND line MATCHES "\"monitor/")
      list(APPEND faults "src/${file} includes the monitor: ${line}")
    endif()
    string(TOLOWER "${line}" lower)
    if(lower MATCHES "<(${win32_headers})\\.h>" AND NOT file MATCHES "^(platform/win32|ui/win32)/"
       AND NOT file STREQUAL "notify/http_post_winhttp.cpp")
      list(APPEND faults "src/${file} includes a Win32 header: ${line}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files follow the include rules")
