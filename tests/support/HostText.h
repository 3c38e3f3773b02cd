// Texts as the library hands them to its host: on Linux UTF-8, on Windows the ANSI code page
// (936 under LC_ALL=zh_CN.UTF-8 in Wine). Tests write their expectations in UTF-8 and convert
// them here; CMake picks HostText_posix.cpp or HostText_win32.cpp.
#pragma once

#include <string>

namespace vml::testing {

std::string HostText(const std::string& utf8);

}  // namespace vml::testing
