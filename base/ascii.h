#pragma once

#include <string>
#include <string_view>

namespace base {

// Letters A to Z in lower case and every other byte as it is, whatever the
// locale: how extensions, option values and unit names are compared.
char lowerAscii(char c);
std::string lowerAscii(std::string_view text);

// Whether a and b are the same once both are in lower case so.
bool sameIgnoringCase(std::string_view a, std::string_view b);

} // namespace base
