// Text conversions between the interface's ANSI code page, UTF-8 and UTF-16, through ICU.
//
// The ANSI code page is the process's one setting (platform/code_page.h: Windows-1252 unless
// configured), which the components read too, so both sides of the interface agree.
// Characters the target cannot represent become "?" (ANSI) or U+FFFD (Unicode); conversions
// never fail on content.
//
// Thread safety: all functions may be called from any thread; each thread keeps its own cached
// converters.
#pragma once

#include <string>
#include <string_view>

namespace engine::core {

// The ICU converter name of the process's ANSI code page.
std::string AnsiCodePage();

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

// Upper-cases a..z only, the case folding every name comparison of the engine uses.
std::string AsciiUpper(std::string_view text);
// Compares ignoring the case of a..z only.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace engine::core
