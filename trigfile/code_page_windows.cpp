// codePageToUtf8 and utf8ToCodePage on Windows: its own code-page
// conversion, through UTF-16 either way.

#include "trigfile/code_page.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>

namespace trigfile {

namespace {

// Bytes of a code page as UTF-16. MB_ERR_INVALID_CHARS: a byte sequence that
// is no character of the code page fails the call instead of becoming a
// replacement character. The empty text is returned as it is.
std::optional<std::wstring> wideFrom(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return std::wstring();
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX / 2)) {
        return std::nullopt;
    }
    const int inSize = static_cast<int>(bytes.size());
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
    return utf16;
}

} // namespace

std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return std::string();
    }
    const auto converted = wideFrom(bytes, codePage);
    if (!converted) {
        return std::nullopt;
    }
    const std::wstring& utf16 = *converted;
    const int wide = static_cast<int>(utf16.size());
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

std::optional<std::string> utf8ToCodePage(std::string_view text, unsigned codePage) {
    if (text.empty()) {
        return std::string();
    }
    const auto converted = wideFrom(text, CP_UTF8);
    if (!converted) {
        return std::nullopt;
    }
    const std::wstring& utf16 = *converted;
    const int wide = static_cast<int>(utf16.size());
    // WC_NO_BEST_FIT_CHARS and the default-character flag: a character the
    // code page lacks fails instead of becoming "?" or a look-alike. The
    // flag may not be asked of UTF-8, which holds every character.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* askDefault = utf8 ? nullptr : &usedDefault;
    const int narrow =
        WideCharToMultiByte(codePage, flags, utf16.data(), wide, nullptr, 0, nullptr, askDefault);
    if (narrow <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(narrow), '\0');
    if (WideCharToMultiByte(codePage, flags, utf16.data(), wide, out.data(), narrow, nullptr,
                            askDefault) != narrow ||
        usedDefault) {
        return std::nullopt;
    }
    // The way back must give the text again: a code that stands for another
    // character is no code for this one.
    if (!utf8 && codePageToUtf8(out, codePage) != std::string(text)) {
        return std::nullopt;
    }
    return out;
}

} // namespace trigfile
