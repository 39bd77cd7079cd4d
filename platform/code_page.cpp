// The process's ANSI code page and conversions through ICU converters.
#include "platform/code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>  // environ
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr char kVariable[] = "PELLMAR_ANSI_CODEPAGE";
constexpr char kHostKey[] = "SOFTWARE\\Pellmar\\Host";
constexpr char kHiveValue[] = "AnsiCodePage";

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Unassigned or illegal source bytes become "?" in the UTF-16 result.
void ToUnicodeQuestionMark(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  static const UChar kQuestion = u'?';
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kQuestion, 1, 0, err);
}

ConverterPtr OpenConverter(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr c(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status) || !c) return nullptr;
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(c.get(), "?", 1, &status);
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(c.get(), ToUnicodeQuestionMark, nullptr, nullptr, nullptr, &status);
  status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  return c;
}

// This thread's converter for `page` (ICU converters are not thread-safe), reset for a new
// conversion; nullptr when ICU does not know the name.
UConverter* ConverterFor(const std::string& page) {
  thread_local std::vector<std::pair<std::string, ConverterPtr>> converters;
  for (auto& [name, converter] : converters) {
    if (name == page) {
      ucnv_reset(converter.get());
      return converter.get();
    }
  }
  ConverterPtr converter = OpenConverter(page);
  if (!converter) return nullptr;
  converters.emplace_back(page, std::move(converter));
  return converters.back().second.get();
}

// The two variables this setting depends on, as getenv would answer them (nullptr when unset),
// found in one pass over the environment: text is converted on nearly every call between the
// programs and the engine, and two getenv scans were most of a short conversion's cost.
struct SettingVariables {
  const char* codePage = nullptr;
  const char* machineHive = nullptr;
};

// Whether the NUL-terminated `text` starts with `prefix`; inlined, as this runs for every
// environment entry.
inline bool StartsWith(const char* text, std::string_view prefix) {
  for (char c : prefix) {
    if (*text++ != c) return false;  // also stops at the terminating NUL
  }
  return true;
}

SettingVariables ReadSettingVariables() {
  // Both names share this prefix, so most entries are passed over after a few bytes.
  constexpr std::string_view kPrefix = "PELLMAR_";
  constexpr std::string_view kCodePage = std::string_view(kVariable).substr(kPrefix.size());
  constexpr std::string_view kMachineHive = std::string_view(kMachineHiveVariable).substr(kPrefix.size());
  static_assert(std::string_view(kVariable).starts_with(kPrefix) &&
                std::string_view(kMachineHiveVariable).starts_with(kPrefix));
  SettingVariables found;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* e = *entry;
    if (!StartsWith(e, kPrefix)) continue;
    const char* rest = e + kPrefix.size();
    // The first entry of a name wins, as with getenv.
    const auto value = [rest](std::string_view name) -> const char* {
      return StartsWith(rest, name) && rest[name.size()] == '=' ? rest + name.size() + 1 : nullptr;
    };
    if (found.codePage == nullptr) found.codePage = value(kCodePage);
    if (found.machineHive == nullptr) found.machineHive = value(kMachineHive);
  }
  return found;
}

// The setting of the machine hive in `file` ("" when absent, unreadable or unknown), read once
// per hive file.
std::string HiveSetting(std::string_view file) {
  static std::mutex* mu = new std::mutex;                       // never destroyed: text is
  static auto* cache = new std::map<std::string, std::string>;  // converted during exit too
  // The thread's last answer, as the shared cache would give it, without its lock. Plain
  // arrays, which live as long as the thread and need no destruction: text is converted
  // while the process exits too. Longer names are not remembered here.
  struct Last {
    char file[256] = {};
    size_t file_size = 0;  // 0: nothing remembered
    char name[64] = {};
    size_t name_size = 0;
  };
  thread_local Last last;
  if (last.file_size != 0 && std::string_view(last.file, last.file_size) == file) {
    return std::string(last.name, last.name_size);
  }
  const auto remember = [&](const std::string& name) {
    if (file.empty() || file.size() > sizeof last.file || name.size() > sizeof last.name) return;
    std::memcpy(last.file, file.data(), file.size());
    std::memcpy(last.name, name.data(), name.size());
    last.file_size = file.size();
    last.name_size = name.size();
  };
  std::lock_guard<std::mutex> lock(*mu);
  auto it = cache->find(std::string(file));
  if (it != cache->end()) {
    remember(it->second);
    return it->second;
  }
  std::string name;
  std::unique_ptr<RegistryHive> hive;
  RegistryValue value;
  if (LoadHive(Hive::kLocalMachine, &hive).ok() && hive->GetValue(kHostKey, kHiveValue, &value).ok() &&
      value.IsText() && IsKnownCodePage(value.text)) {
    name = value.text;
  }
  cache->emplace(std::string(file), name);
  remember(name);
  return name;
}

}  // namespace

bool IsKnownCodePage(const std::string& name) { return !name.empty() && ConverterFor(name) != nullptr; }

std::string AnsiCodePage() {
  // The variable is read on every call so that a change reaches every copy of this code; the
  // verdict on its last value is remembered, so an unchanged value costs one comparison.
  thread_local std::string last_variable;
  thread_local bool last_known = false;
  const SettingVariables variables = ReadSettingVariables();
  const char* variable = variables.codePage;
  if (variable != nullptr && *variable != '\0') {
    if (last_variable != variable) {
      last_variable = variable;
      last_known = IsKnownCodePage(last_variable);
    }
    if (last_known) return last_variable;
  }
  // The hive file as HiveFilePath names it, from the same look at the environment.
  const char* hive = variables.machineHive;
  std::string from_hive = HiveSetting(hive != nullptr && *hive != '\0' ? hive : kDefaultMachineHiveFile);
  return from_hive.empty() ? std::string(kDefaultAnsiCodePage) : from_hive;
}

Status SetAnsiCodePage(const std::string& name) {
  if (!IsKnownCodePage(name)) {
    return Status::Error(StatusCode::kInvalidArgument, "The code page \"" + name + "\" is not known.");
  }
  if (::setenv(kVariable, name.c_str(), 1) != 0) {
    return Status::Error(StatusCode::kIOError, "The code page setting cannot be changed.");
  }
  return Status::OK();
}

std::u16string DecodeCodePage(const std::string& page, std::string_view bytes) {
  if (bytes.empty()) return {};
  UConverter* c = ConverterFor(page);
  if (c == nullptr) c = ConverterFor(kDefaultAnsiCodePage);
  std::u16string out(bytes.size() * 2 + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(c, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), bytes.data(),
                            static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) {
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    return {};
  }
  out.resize(n);
  return out;
}

std::string EncodeCodePage(const std::string& page, std::u16string_view text) {
  if (text.empty()) return {};
  UConverter* c = ConverterFor(page);
  if (c == nullptr) c = ConverterFor(kDefaultAnsiCodePage);
  std::string out(text.size() * ucnv_getMaxCharSize(c) + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) {
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    return {};
  }
  out.resize(n);
  return out;
}

std::u16string AnsiToUtf16(std::string_view ansi) { return DecodeCodePage(AnsiCodePage(), ansi); }
std::string Utf16ToAnsi(std::u16string_view text) { return EncodeCodePage(AnsiCodePage(), text); }
std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi)); }
std::string Utf8ToAnsi(std::string_view utf8) { return Utf16ToAnsi(Utf8ToUtf16(utf8)); }

}  // namespace platform
