// Small text helpers the platform services share: conversion between UTF-8 (the platform API's
// text) and UTF-16 (hive files, length limits counted in characters as the original platform
// counts them), and case-insensitive comparison that folds only the letters a to z.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Number of UTF-16 code units the UTF-8 text takes (what a length limit of the original
// platform counts).
size_t Utf16Length(std::string_view text);

// 'a'..'z' to 'A'..'Z'; every other byte unchanged.
char FoldAscii(char c);
std::string UpperAscii(std::string_view text);

// Equality ignoring the case of a..z only.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Three-way comparison ignoring the case of a..z only (byte order otherwise).
int CompareIgnoreAsciiCase(std::string_view a, std::string_view b);

// Matches a name against a wildcard pattern as the original platform's folder enumeration does:
// "*" any run of characters, "?" exactly one character, letters a..z without case; "*" and "*.*"
// match every name (also names without a dot).
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace platform
