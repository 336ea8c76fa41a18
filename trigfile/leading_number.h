#pragma once

#include <string_view>

namespace trigfile {

// Reads a box's text as a number the way the window has always done:
//  - blanks, tabs and line feeds are ignored wherever they stand (a carriage
//    return is not, so "12\r\n" reads as 12);
//  - "&H" or "&O" (either case) introduce a hexadecimal or octal integer;
//  - otherwise the longest leading decimal number is taken: optional sign,
//    digits, optional point and digits, optional exponent E or D with an
//    optional sign and digits. A dangling exponent ("1e", "1e+") is ignored.
//  - a text without such a part reads as 0.
// Values too large for a double give infinity; nothing wraps around.
double leadingNumber(std::string_view text);

} // namespace trigfile
