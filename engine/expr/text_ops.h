// Character operations shared by the expression operators and functions.
//
// Text is 8-bit in the ANSI code page (Windows-1252 by default); UPPER and LOWER map its
// letters, accented ones included, as Unicode maps them (tables built through ICU for the
// code page in effect at first use). Comparisons are byte order, blanks padding the shorter
// side, which is the order of fixed-length character fields.
//
// Thread safety: stateless.
#pragma once

#include <string_view>

namespace engine::expr {

unsigned char UpperChar(unsigned char c);
unsigned char LowerChar(unsigned char c);
// The 256-entry mapping tables behind UpperChar and LowerChar, for loops over many characters.
const unsigned char* UpperTable();
const unsigned char* LowerTable();

// Compares a and b in full, the shorter padded with blanks (trailing blanks never count).
int CompareFull(std::string_view a, std::string_view b);
// The comparison of "=" with exact off: a over b's length (a padded with blanks when
// shorter), so "SMITH  " = "SMI" holds and anything = "" holds.
int ComparePrefix(std::string_view a, std::string_view b);

std::string_view TrimRight(std::string_view s);
std::string_view TrimLeft(std::string_view s);

// The same for UTF-16 text (national characters), in the order of its code units.
int CompareFull(std::u16string_view a, std::u16string_view b);
int ComparePrefix(std::u16string_view a, std::u16string_view b);
std::u16string_view TrimRight(std::u16string_view s);
std::u16string_view TrimLeft(std::u16string_view s);

}  // namespace engine::expr
