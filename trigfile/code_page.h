#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trigfile {

// Windows code pages, by the numbers Windows gives them, that map texts
// come in.
inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageKorean = 949;   // Unified Hangul Code, a superset of EUC-KR
inline constexpr unsigned kCodePageWestern = 1252; // Windows Latin 1

// Bytes in a code page as UTF-8, through the platform's own converter
// (iconv on POSIX systems, MultiByteToWideChar on Windows); nothing when
// they are not valid text in that code page, or the platform cannot
// convert from it. UTF-8 to UTF-8 is the platform's check of UTF-8.
std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage);

// The other way: UTF-8 text as bytes of a code page, through the same
// converter; nothing when the text is not valid UTF-8 or holds a character
// the code page has no code for (never a stand-in character or a near match).
std::optional<std::string> utf8ToCodePage(std::string_view text, unsigned codePage);

} // namespace trigfile
