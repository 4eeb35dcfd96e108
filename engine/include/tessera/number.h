// Reading a number from a text box the way the converter always has.
#pragma once

#include <string_view>

namespace tessera {

// Leading blanks are skipped; "&H", "&O", "&B" (either case) start a
// hexadecimal, octal or binary integer and "&" before anything else octal
// digits; any other text is read as a decimal number (sign, digits, point,
// digits, exponent introduced by E or D) up to the first character that does
// not fit. No number at the start reads as 0. The result is always finite: a
// value too large for a double reads as the largest finite double of its sign.
double number_value(std::string_view text);

}  // namespace tessera
