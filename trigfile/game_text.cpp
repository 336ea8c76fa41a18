#include "trigfile/game_text.h"

#include "trigfile/code_page.h"

#include <algorithm>
#include <cstdio>

namespace trigfile {

GameText decodeGameText(std::string_view bytes) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return GameText{std::string(bytes), TextEncoding::Utf8}; // the same in every code page
    }
    const std::pair<unsigned, TextEncoding> inOrder[] = {
        {kCodePageUtf8, TextEncoding::Utf8},
        {kCodePageKorean, TextEncoding::Korean},
        {kCodePageWestern, TextEncoding::Western},
    };
    for (const auto& [codePage, encoding] : inOrder) {
        if (auto text = codePageToUtf8(bytes, codePage)) {
            return GameText{std::move(*text), encoding};
        }
    }
    return GameText{std::string(bytes), TextEncoding::Unknown};
}

std::string_view encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Korean:
        return "CP949";
    case TextEncoding::Western:
        return "CP1252";
    case TextEncoding::Unknown:
        break;
    }
    return "unknown";
}

namespace {

// The escape of one ASCII byte, or "" when it stands for itself.
std::string escapeOf(unsigned char c) {
    switch (c) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        return hex;
    }
    return {};
}

} // namespace

std::string escapedText(const GameText& text, std::size_t maxCharacters) {
    const std::string_view s = text.text;
    const bool bytesAlone = text.encoding == TextEncoding::Unknown;
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (maxCharacters != 0 && characters == maxCharacters) {
            return out + "...";
        }
        const auto lead = static_cast<unsigned char>(s[i]);
        // A character of UTF-8 is its lead byte and the continuation bytes after it.
        std::size_t length = 1;
        while (!bytesAlone && lead >= 0x80 && i + length < s.size() &&
               (static_cast<unsigned char>(s[i + length]) & 0xC0) == 0x80) {
            ++length;
        }
        std::string escape = escapeOf(lead);
        // The C1 controls, U+0080 to U+009F: two bytes of UTF-8, C2 80 to C2 9F.
        if (!bytesAlone && length == 2 && lead == 0xC2 &&
            static_cast<unsigned char>(s[i + 1]) < 0xA0) {
            char code[7];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned char>(s[i + 1]));
            escape = code;
        }
        if (escape.empty() && bytesAlone && lead >= 0x80) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", lead);
            escape = hex;
        }
        out += escape.empty() ? std::string(s.substr(i, length)) : escape;
        ++characters;
        i += length;
    }
    return out;
}

} // namespace trigfile
