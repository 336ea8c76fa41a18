#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trigfile {

// How a text of the game (a map string, a trigger file's text block) was
// read.
enum class TextEncoding { Utf8, Korean, Western, Unknown };

// A text of the game and the encoding it was read in.
struct GameText {
    std::string text; // UTF-8; the bytes as they were when the encoding is Unknown
    TextEncoding encoding = TextEncoding::Utf8;

    bool operator==(const GameText&) const = default;
};

// Reads a text's bytes (up to its NUL) as the game does. The original game
// shows them in the system's code page: CP949 on Korean systems, where
// most custom maps were made, CP1252 in the West. StarCraft: Remastered
// reads each string on its own, as UTF-8 when it is valid UTF-8 and in the
// old code page otherwise. So: UTF-8 when the bytes are valid UTF-8 (plain
// ASCII is), else CP949 when they are valid there, else CP1252 when they
// are valid there, else Unknown.
GameText decodeGameText(std::string_view bytes);

// "UTF-8", "CP949", "CP1252" or "unknown".
std::string_view encodingName(TextEncoding encoding);

// A text for people to read: control characters (the game's colour codes,
// line breaks) as \xNN, \n, \r and \t, the C1 controls as \u0080 to
// \u009F, quotes and backslashes escaped, the bytes of a text of Unknown
// encoding above 0x7F as \xNN. With
// maxCharacters, a longer text is cut after that many characters (an
// escape counting as one, none split) and ends in "...".
std::string escapedText(const GameText& text, std::size_t maxCharacters = 0);

} // namespace trigfile
