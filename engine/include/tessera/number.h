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

// Whether the whole text is one number as number_value reads it (blanks
// around it allowed): "50", " -2.5e1 ", "&H20". "50%", "abc" and "" are not,
// though number_value still reads them (as 50, 0 and 0).
bool is_number_text(std::string_view text);

// number_value rounded to a whole number, halves to the even neighbour, held
// within the range of an int: how the iteration box is read.
int rounded_number_value(std::string_view text);

}  // namespace tessera
