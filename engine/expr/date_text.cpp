#include "engine/expr/date_text.h"

#include <chrono>
#include <ctime>

namespace engine {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int64_t JulianFromYmd(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int limit = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > limit) return 0;
  // Fliegel and Van Flandern's conversion.
  int64_t a = (14 - month) / 12;
  int64_t y = year + 4800 - a;
  int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void YmdFromJulian(int64_t julian, int& year, int& month, int& day) {
  int64_t a = julian + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  month = static_cast<int>(m + 3 - 12 * (m / 10));
  year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

int64_t LocalNowMs() {
  using namespace std::chrono;
  auto now = system_clock::now();
  int64_t ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
  std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  int64_t julian = JulianFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  int64_t msOfDay = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000LL + ms % 1000;
  return julian * 86400000LL + msOfDay;
}

std::optional<DateFormat> DateFormat::Parse(std::string_view pattern) {
  DateFormat f;
  f.pattern_.assign(pattern);
  int found = 0;
  bool seen[3] = {false, false, false};
  bool anySeparator = false;
  for (size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    char up = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    if (up != 'D' && up != 'M' && up != 'Y') {
      anySeparator = true;
      ++i;
      continue;
    }
    size_t j = i;
    while (j < pattern.size() && (pattern[j] == c)) ++j;
    int which = up == 'D' ? 0 : up == 'M' ? 1 : 2;
    uint32_t width = static_cast<uint32_t>(j - i);
    if (seen[which] || found == 3) return std::nullopt;
    if (which == 2 ? (width != 2 && width != 4) : width != 2) return std::nullopt;
    seen[which] = true;
    f.parts_[found++] = Part{up, static_cast<uint32_t>(i), width};
    i = j;
  }
  if (found != 3) return std::nullopt;
  f.separated_ = anySeparator;
  return f;
}

void DateFormat::write(int64_t julian, char* out) const {
  for (size_t i = 0; i < pattern_.size(); ++i) out[i] = pattern_[i];
  int year = 0, month = 0, day = 0;
  if (julian > 0) YmdFromJulian(julian, year, month, day);
  for (const Part& p : parts_) {
    int v = p.kind == 'D' ? day : p.kind == 'M' ? month : year;
    for (uint32_t k = 0; k < p.width; ++k) {
      char* slot = out + p.pos + p.width - 1 - k;
      if (julian <= 0) {
        *slot = ' ';
      } else {
        *slot = static_cast<char>('0' + v % 10);
        v /= 10;
      }
    }
  }
}

int64_t DateFormat::read(std::string_view text, int epoch) const {
  int values[3] = {0, 0, 0};
  int widths[3] = {0, 0, 0};
  if (separated_) {
    size_t i = 0;
    for (int n = 0; n < 3; ++n) {
      while (i < text.size() && !isDigit(text[i])) {
        if (text[i] != ' ' && n == 0) {
          // Leading non-blank text that is no digit cannot be a date.
          return 0;
        }
        ++i;
      }
      if (i == text.size()) return 0;
      int v = 0, w = 0;
      while (i < text.size() && isDigit(text[i]) && w < 4) v = v * 10 + (text[i++] - '0'), ++w;
      values[n] = v;
      widths[n] = w;
    }
    for (; i < text.size(); ++i)
      if (text[i] != ' ') return 0;
  } else {
    size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    std::string_view t = text.substr(start);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    if (t.size() != pattern_.size()) return 0;
    for (int n = 0; n < 3; ++n) {
      int v = 0;
      for (uint32_t k = 0; k < parts_[n].width; ++k) {
        char c = t[parts_[n].pos + k];
        if (!isDigit(c)) return 0;
        v = v * 10 + (c - '0');
      }
      values[n] = v;
      widths[n] = static_cast<int>(parts_[n].width);
    }
  }
  int year = 0, month = 0, day = 0;
  for (int n = 0; n < 3; ++n) {
    switch (parts_[n].kind) {
      case 'D': day = values[n]; break;
      case 'M': month = values[n]; break;
      default:
        year = values[n];
        if (widths[n] <= 2) {
          year += epoch / 100 * 100;
          if (year < epoch) year += 100;
        }
    }
  }
  return JulianFromYmd(year, month, day);
}

void WriteTime(int64_t ms, char* out) {
  int64_t secs = ms / 1000;
  int h = static_cast<int>(secs / 3600 % 24), m = static_cast<int>(secs / 60 % 60), s = static_cast<int>(secs % 60);
  out[0] = static_cast<char>('0' + h / 10);
  out[1] = static_cast<char>('0' + h % 10);
  out[2] = ':';
  out[3] = static_cast<char>('0' + m / 10);
  out[4] = static_cast<char>('0' + m % 10);
  out[5] = ':';
  out[6] = static_cast<char>('0' + s / 10);
  out[7] = static_cast<char>('0' + s % 10);
}

std::optional<int64_t> ReadTime(std::string_view text) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  auto number = [&](int maxDigits, int& out) {
    int w = 0;
    out = 0;
    while (i < text.size() && isDigit(text[i]) && w < maxDigits) out = out * 10 + (text[i++] - '0'), ++w;
    return w > 0;
  };
  skipBlanks();
  int h = 0, m = 0, s = 0, frac = 0;
  if (!number(2, h)) return std::nullopt;
  if (i >= text.size() || text[i] != ':') return std::nullopt;
  ++i;
  if (!number(2, m)) return std::nullopt;
  if (i < text.size() && text[i] == ':') {
    ++i;
    if (!number(2, s)) return std::nullopt;
    if (i < text.size() && text[i] == '.') {
      ++i;
      int digits = 0;
      while (i < text.size() && isDigit(text[i])) {
        if (digits < 3) frac = frac * 10 + (text[i] - '0'), ++digits;
        ++i;
      }
      while (digits++ < 3) frac *= 10;
    }
  }
  skipBlanks();
  if (i + 1 < text.size() + 0 && i + 2 <= text.size()) {
    char a = static_cast<char>(text[i] & ~0x20), b = static_cast<char>(text[i + 1] & ~0x20);
    if ((a == 'A' || a == 'P') && b == 'M') {
      if (h < 1 || h > 12) return std::nullopt;
      if (a == 'A' && h == 12) h = 0;
      if (a == 'P' && h != 12) h += 12;
      i += 2;
      skipBlanks();
    }
  }
  if (i != text.size()) return std::nullopt;
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  return ((h * 60LL + m) * 60 + s) * 1000 + frac;
}

}  // namespace engine
