// Texts the dataset hands to the engine's expression language for filters and Locate: the
// trailing-wildcard rewrite of a Filter text, string literals that hold any value, the literal
// forms of numbers, dates, times and timestamps, and the option bits of optimised filters.
//
// The expression language has no escapes inside string literals; a literal ends at the next
// occurrence of its own quote. A value is therefore written as a double-quoted literal in which
// every double quote (and NUL, which would end the C string the engine receives) is spelled as a
// concatenation with CHR(n): the value can never end the literal early, so nothing in it is read
// as an operator, a bracket or another literal.
//
// Threading: pure functions.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "ads/adsdata.h"

namespace adsdata {

// Scans an expression text (bytes of UTF-8 or ANSI) for quoted literals that end in "*" and
// removes that last "*" from each, unless the literal is made only of "*" characters. Literals
// open with a double or a single quote and end at the same quote; bracketed literals ([...])
// are skipped whole, and so is the parenthesised argument of CONTAINS(...) (the search
// condition has its own wildcards), unless its parentheses or quotes do not close. Returns false
// when a wildcard was removed (the text must then be compared with the exact setting off), true
// otherwise.
bool RemoveTrailingWildcards(std::string& text);

// value as a double-quoted literal; double quotes inside it become "+ Chr(34) + " joins, NUL
// characters "+ Chr(0) + " joins.
QString QuotedFilterLiteral(const QString& value);

// A number in the language's form: shortest text that reads back as the same double ("." as
// the decimal point, an exponent when that is shorter).
QString FilterNumberText(double value);

// Literals that do not depend on the engine's date format: {^YYYY-MM-DD} for a Julian day,
// {^YYYY-MM-DD hh:mm:ss.fff} for a Julian day and milliseconds of the day, and "hh:mm:ss.fff"
// (for CTOT) for milliseconds of the day.
QString FilterDateLiteral(int64_t julianDay);
QString FilterTimestampLiteral(int64_t julianDay, int64_t msOfDay);
QString FilterTimeText(int64_t msOfDay);

// True when text is a plain decimal number (an optional "-", digits, at most one "."), which can
// stand in an expression as it is.
bool IsPlainNumberText(const QString& text);

// Option bits of AdsSetAOF100 for a filter text in UTF-16: the kind (atDynamic 0, atKeySet 4,
// atFixed 8), 1 to resolve now or 2 to resolve at first use, and 8192.
uint32_t AofOptionBits(TAdsAOFTypes type, bool resolveImmediate);

}  // namespace adsdata
