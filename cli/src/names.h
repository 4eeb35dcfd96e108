// File names in what the program prints. A name is any string of bytes but
// "/" and NUL; a terminal line and a JSON string are text, and a name must not
// break either or come out as something that names another file.
#pragma once

#include <string>
#include <string_view>

namespace tessera::cli {

// Whether the bytes are UTF-8 as a JSON string can carry them: no stray or
// missing continuation bytes, no overlong forms, no surrogates, nothing past
// U+10FFFF.
bool is_utf8(std::string_view bytes);

// The length of the well-formed UTF-8 sequence that the bytes start with,
// with its code point in *code; 0 when they start with none.
std::size_t utf8_sequence(std::string_view bytes, char32_t* code);

// The name as a terminal line shows it. An ordinary name is left as it is;
// one that holds a control character, a line or paragraph separator or bytes
// that are not UTF-8 is quoted for the shell the way ls shows it ('a'$'\n''b'):
// the line stays one line, nothing invisible reaches the terminal, and the
// quoted name pasted into a shell gives the file back.
std::string shown_name(std::string_view name);

// Standard base64 (RFC 4648, with padding).
std::string base64(std::string_view bytes);

}  // namespace tessera::cli
