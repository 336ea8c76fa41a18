// codePageToUtf8 on Windows: its own code-page conversion, to UTF-16 and on
// to UTF-8.

#include "trigfile/code_page.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>

namespace trigfile {

std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return std::string();
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX / 2)) {
        return std::nullopt;
    }
    const int inSize = static_cast<int>(bytes.size());
    // MB_ERR_INVALID_CHARS: a byte sequence that is no character of the code
    // page fails the call instead of becoming a replacement character.
    const int wide =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), inSize, nullptr, 0);
    if (wide <= 0) {
        return std::nullopt;
    }
    std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), inSize, utf16.data(),
                            wide) != wide) {
        return std::nullopt;
    }
    // Windows reads the bytes a code page leaves unassigned (0x80 in 949;
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D in 1252) as the C1 control of the same
    // number instead of failing. They are no text of the code page, as
    // iconv says elsewhere; UTF-8 may hold the C1 controls themselves.
    if (codePage != CP_UTF8) {
        for (const wchar_t c : utf16) {
            if (c >= 0x80 && c <= 0x9F) {
                return std::nullopt;
            }
        }
    }
    const int narrow = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), wide,
                                           nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(narrow), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), wide, out.data(), narrow,
                            nullptr, nullptr) != narrow) {
        return std::nullopt;
    }
    return out;
}

} // namespace trigfile
