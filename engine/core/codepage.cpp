#include "engine/core/codepage.h"

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

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace engine::core
