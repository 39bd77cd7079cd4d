#include "engine/core/date_format.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>

#include "engine/core/error.h"

namespace engine::core {
namespace {

const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

enum class Field { kDay, kDay1, kMonth, kMonth1, kMonthName, kYear2, kYear4, kLiteral };

struct Token {
  Field field;
  char literal;
};

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
char Up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Splits a format into fields; false when it is not a valid format.
bool Tokenize(std::string_view text, std::string* normal, Token* tokens, size_t* count) {
  if (text.empty() || text.size() > 11) return false;
  bool day = false, month = false, year = false;
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    char c = Up(text[i]);
    if (!IsLetter(c)) {
      tokens[n++] = {Field::kLiteral, text[i]};
      normal->push_back(text[i]);
      ++i;
      continue;
    }
    // A run of one letter is one field; "CC" directly before "YY" is a four-digit year.
    size_t j = i;
    while (j < text.size() && Up(text[j]) == c) ++j;
    std::string run(j - i, c);
    if (run == "CC" && j + 1 < text.size() && Up(text[j]) == 'Y' && Up(text[j + 1]) == 'Y' &&
        (j + 2 == text.size() || Up(text[j + 2]) != 'Y')) {
      run = "CCYY";
      j += 2;
    }
    Field f;
    if (run == "DD") { f = Field::kDay; if (day) return false; day = true; }
    else if (run == "D") { f = Field::kDay1; if (day) return false; day = true; }
    else if (run == "MM") { f = Field::kMonth; if (month) return false; month = true; }
    else if (run == "M") { f = Field::kMonth1; if (month) return false; month = true; }
    else if (run == "MMM") { f = Field::kMonthName; if (month) return false; month = true; }
    else if (run == "YY") { f = Field::kYear2; if (year) return false; year = true; }
    else if (run == "YYYY" || run == "CCYY") { f = Field::kYear4; if (year) return false; year = true; }
    else return false;
    tokens[n++] = {f, 0};
    normal->append(run);
    i = j;
  }
  *count = n;
  return day && month && year;
}

std::mutex g_mutex;
std::string g_default = "MM/DD/CCYY";

}  // namespace

std::optional<DateFormat> DateFormat::TryParse(std::string_view text) {
  std::string normal;
  Token tokens[12];
  size_t count = 0;
  if (!Tokenize(text, &normal, tokens, &count)) return std::nullopt;
  DateFormat f;
  f.text_ = normal;
  return f;
}

DateFormat DateFormat::Parse(std::string_view text) {
  auto f = TryParse(text);
  if (!f) {
    Fail(err::kInvalidDateFormat, "The date format \"" + std::string(text) +
                                      "\" is not valid: it needs one day (D, DD), one month (M, MM, MMM) and one "
                                      "year (YY, YYYY, CCYY) field, at most 11 characters.");
  }
  return *f;
}

std::string DateFormat::Format(int32_t julian) const {
  if (julian == 0) return std::string();
  int y;
  unsigned m, d;
  CivilFromJulian(julian, &y, &m, &d);
  std::string normal;
  Token tokens[12];
  size_t count = 0;
  Tokenize(text_, &normal, tokens, &count);
  std::string out;
  char buf[8];
  for (size_t i = 0; i < count; ++i) {
    switch (tokens[i].field) {
      case Field::kDay: std::snprintf(buf, sizeof buf, "%02u", d); out += buf; break;
      case Field::kDay1: out += std::to_string(d); break;
      case Field::kMonth: std::snprintf(buf, sizeof buf, "%02u", m); out += buf; break;
      case Field::kMonth1: out += std::to_string(m); break;
      case Field::kMonthName: out += kMonths[m - 1]; break;
      case Field::kYear2: std::snprintf(buf, sizeof buf, "%02d", ((y % 100) + 100) % 100); out += buf; break;
      case Field::kYear4: std::snprintf(buf, sizeof buf, "%04d", y); out += buf; break;
      case Field::kLiteral: out.push_back(tokens[i].literal); break;
    }
  }
  return out;
}

std::optional<int32_t> DateFormat::ParseDate(std::string_view text) const {
  bool blank = true;
  for (char c : text) {
    if (c != ' ' && c != '\0') blank = false;
  }
  if (blank) return 0;
  std::string normal;
  Token tokens[12];
  size_t count = 0;
  Tokenize(text_, &normal, tokens, &count);
  int y = -1;
  long m = -1, d = -1;
  size_t pos = 0;
  auto digits = [&](size_t min, size_t max, long* value) {
    size_t start = pos;
    long v = 0;
    while (pos < text.size() && pos - start < max && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      v = v * 10 + (text[pos] - '0');
      ++pos;
    }
    if (pos - start < min) return false;
    *value = v;
    return true;
  };
  for (size_t i = 0; i < count; ++i) {
    long v = 0;
    switch (tokens[i].field) {
      case Field::kDay: case Field::kDay1:
        if (!digits(1, 2, &v)) return std::nullopt;
        d = v;
        break;
      case Field::kMonth: case Field::kMonth1:
        if (!digits(1, 2, &v)) return std::nullopt;
        m = v;
        break;
      case Field::kMonthName: {
        if (pos + 3 > text.size()) return std::nullopt;
        std::string name;
        for (size_t k = 0; k < 3; ++k) name.push_back(Up(text[pos + k]));
        pos += 3;
        for (int k = 0; k < 12; ++k) {
          if (name == kMonths[k]) m = k + 1;
        }
        if (m < 0) return std::nullopt;
        break;
      }
      case Field::kYear2:
        if (!digits(2, 2, &v)) return std::nullopt;
        y = static_cast<int>(v >= 50 ? 1900 + v : 2000 + v);
        break;
      case Field::kYear4:
        if (!digits(1, 4, &v)) return std::nullopt;
        y = static_cast<int>(v);
        break;
      case Field::kLiteral:
        if (pos >= text.size() || text[pos] != tokens[i].literal) return std::nullopt;
        ++pos;
        break;
    }
  }
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos != text.size()) return std::nullopt;
  if (!IsValidCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d))) return std::nullopt;
  return JulianFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
}

// Days-from-civil after H. Hinnant's public-domain algorithm, shifted to Julian day numbers.
int32_t JulianFromCivil(int year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days_since_1970 = static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
  return static_cast<int32_t>(days_since_1970 + 2440588);
}

void CivilFromJulian(int64_t julian, int* year, unsigned* month, unsigned* day) {
  int64_t z = julian - 2440588 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (*month <= 2));
}

bool IsValidCivil(int year, unsigned month, unsigned day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  unsigned max = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= max;
}

std::string ProcessDateFormat() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_default;
}

void SetProcessDateFormat(std::string_view text) {
  DateFormat f = DateFormat::Parse(text);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_default = std::string(text);
  (void)f;
  CountDateFormatChange();
}

namespace {
std::atomic<uint64_t> g_changes{0};
}  // namespace

uint64_t DateFormatChanges() { return g_changes.load(std::memory_order_acquire); }

void CountDateFormatChange() { g_changes.fetch_add(1, std::memory_order_release); }

}  // namespace engine::core
