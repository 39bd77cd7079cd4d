#include "engine/core/codepage.h"

#include "engine/core/ascii_case.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace engine::core {

// The conversions are the platform's, so the engine and the components convert through the
// same setting in the same way.
std::string AnsiCodePage() { return platform::AnsiCodePage(); }
std::u16string AnsiToUtf16(std::string_view ansi) { return platform::AnsiToUtf16(ansi); }
std::string Utf16ToAnsi(std::u16string_view text) { return platform::Utf16ToAnsi(text); }
std::string AnsiToUtf8(std::string_view ansi) { return platform::AnsiToUtf8(ansi); }
std::string Utf8ToAnsi(std::string_view utf8) { return platform::Utf8ToAnsi(utf8); }

std::u16string Utf8ToUtf16(std::string_view utf8) { return platform::Utf8ToUtf16(utf8); }
std::string Utf16ToUtf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

std::string AsciiUpper(std::string_view text) { return engine::AsciiUpperCopy(text); }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) { return engine::AsciiEqualsIgnoreCase(a, b); }

}  // namespace engine::core
