#pragma once
// What Windows alone needs of the platform seam (platform_win32.cpp).
#include <string>
#include <vector>

namespace tw::glk {

// The program's arguments in UTF-8, read from the wide command line: the C
// runtime's argv holds them in the system's code page, which turns letters
// it lacks in a story's name into '?'.
std::vector<std::string> utf8_arguments();

} // namespace tw::glk
