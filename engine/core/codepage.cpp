#include "engine/core/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "engine/core/error.h"

namespace engine::core {
namespace {

std::mutex g_mutex;
std::string g_codepage;       // guarded by g_mutex
unsigned g_generation = 1;    // bumped by SetAnsiCodePage so threads reopen their converter

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr Open(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr c(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status) || !c) return nullptr;
  // Unmappable characters become "?" when converting to ANSI.
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(c.get(), "?", 1, &status);
  return c;
}

std::pair<std::string, unsigned> Current() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_codepage.empty()) {
    const char* env = std::getenv("ACE_ANSI_CODEPAGE");
    g_codepage = "windows-1252";
    if (env && *env && Open(env)) g_codepage = env;
  }
  return {g_codepage, g_generation};
}

UConverter* AnsiConverter() {
  thread_local ConverterPtr converter;
  thread_local unsigned generation = 0;
  auto [name, gen] = Current();
  if (!converter || generation != gen) {
    converter = Open(name);
    generation = gen;
    if (!converter) Fail(err::kInternalError, "The ANSI code page " + name + " cannot be opened.");
  }
  return converter.get();
}

}  // namespace

void SetAnsiCodePage(const std::string& name) {
  if (!Open(name)) Fail(err::kInvalidArgument, "The code page " + name + " is not known.");
  std::lock_guard<std::mutex> lock(g_mutex);
  g_codepage = name;
  ++g_generation;
}

std::string AnsiCodePage() { return Current().first; }

std::u16string AnsiToUtf16(std::string_view ansi) {
  if (ansi.empty()) return {};
  UConverter* c = AnsiConverter();
  ucnv_reset(c);
  std::u16string out(ansi.size() * 2 + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(c, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), ansi.data(),
                            static_cast<int32_t>(ansi.size()), &status);
  if (U_FAILURE(status)) Fail(err::kInternalError, "ANSI text could not be converted.");
  out.resize(n);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  UConverter* c = AnsiConverter();
  ucnv_reset(c);
  std::string out(text.size() * 4 + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) Fail(err::kInternalError, "Text could not be converted to the ANSI code page.");
  out.resize(n);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  std::u16string out(utf8.size() + 1, u'\0');
  int32_t n = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) Fail(err::kInternalError, "UTF-8 text could not be converted.");
  out.resize(n);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  std::string out(text.size() * 3 + 1, '\0');
  int32_t n = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, reinterpret_cast<const UChar*>(text.data()),
                     static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) Fail(err::kInternalError, "Text could not be converted to UTF-8.");
  out.resize(n);
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi)); }
std::string Utf8ToAnsi(std::string_view utf8) { return Utf16ToAnsi(Utf8ToUtf16(utf8)); }

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
