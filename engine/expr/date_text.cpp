#include "engine/expr/date_text.h"

#include "engine/core/ascii_case.h"
#include "engine/core/date_format.h"
#include "engine/table/julian.h"

namespace engine::expr {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

int64_t JulianFromYmd(int year, int month, int day) {
  if (month < 1 || day < 1) return 0;
  auto m = static_cast<unsigned>(month);
  auto d = static_cast<unsigned>(day);
  return core::IsValidCivil(year, m, d) ? core::JulianFromCivil(year, m, d) : 0;
}

void YmdFromJulian(int64_t julian, int& year, int& month, int& day) {
  unsigned m = 0;
  unsigned d = 0;
  core::CivilFromJulian(julian, &year, &m, &d);
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

int64_t LocalNowMs() {
  int32_t julian = 0;
  int32_t msOfDay = 0;
  table::NowLocal(&julian, &msOfDay);
  return julian * 86400000LL + msOfDay;
}

namespace {

const char* const kMonthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

char UpperAscii(char c) { return engine::AsciiUpper(c); }

}  // namespace

std::optional<DateFormat> DateFormat::Parse(std::string_view pattern) {
  DateFormat f;
  f.pattern_.assign(pattern);
  bool seen[3] = {false, false, false};  // day, month, year
  bool anySeparator = false;
  for (size_t i = 0; i < pattern.size();) {
    if (f.count_ == 16) return std::nullopt;
    char up = UpperAscii(pattern[i]);
    if (up != 'D' && up != 'M' && up != 'Y' && up != 'C') {
      anySeparator = true;
      f.pieces_[f.count_++] = Piece{0, 1, false, pattern[i]};
      ++f.length_;
      ++i;
      continue;
    }
    size_t j = i;
    while (j < pattern.size() && UpperAscii(pattern[j]) == up) ++j;
    size_t run = j - i;
    Piece p{up, static_cast<uint32_t>(run), false, 0};
    int which;
    if (up == 'C') {
      // CCYY: the century digits and the year digits together form a four-digit year.
      if (run != 2 || j + 2 > pattern.size() || UpperAscii(pattern[j]) != 'Y' || UpperAscii(pattern[j + 1]) != 'Y' ||
          (j + 2 < pattern.size() && UpperAscii(pattern[j + 2]) == 'Y'))
        return std::nullopt;
      j += 2;
      p = Piece{'Y', 4, false, 0};
      which = 2;
    } else if (up == 'Y') {
      if (run != 2 && run != 4) return std::nullopt;
      which = 2;
    } else if (up == 'D') {
      if (run > 2) return std::nullopt;
      p.minimal = run == 1;
      p.width = 2;
      which = 0;
    } else {
      if (run > 3) return std::nullopt;
      if (run == 3) p = Piece{'N', 3, false, 0};
      p.minimal = run == 1;
      if (run == 1) p.width = 2;
      which = 1;
    }
    if (seen[which]) return std::nullopt;
    seen[which] = true;
    f.pieces_[f.count_++] = p;
    f.length_ += p.width;
    i = j;
  }
  if (!seen[0] || !seen[1] || !seen[2]) return std::nullopt;
  f.separated_ = anySeparator;
  return f;
}

uint32_t DateFormat::Write(int64_t julian, char* out) const {
  int year = 0, month = 0, day = 0;
  if (julian > 0) YmdFromJulian(julian, year, month, day);
  uint32_t at = 0;
  for (int k = 0; k < count_; ++k) {
    const Piece& p = pieces_[k];
    if (p.kind == 0) {
      out[at++] = p.literal;
      continue;
    }
    if (julian <= 0) {
      for (uint32_t w = 0; w < p.width; ++w) out[at++] = ' ';
      continue;
    }
    if (p.kind == 'N') {
      for (int c = 0; c < 3; ++c) out[at++] = kMonthNames[month - 1][c];
      continue;
    }
    int v = p.kind == 'D' ? day : p.kind == 'M' ? month : year;
    uint32_t width = p.width;
    if (p.minimal && v < 10) width = 1;
    for (uint32_t w = 0; w < width; ++w) {
      out[at + width - 1 - w] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
    at += width;
  }
  return at;
}

int64_t DateFormat::Read(std::string_view text, int epoch) const {
  int year = -1, month = -1, day = -1;
  int yearDigits = 0;
  auto store = [&](char kind, int v, int digits) {
    if (kind == 'D') day = v;
    else if (kind == 'Y') year = v, yearDigits = digits;
    else month = v;
  };
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  size_t end = text.size();
  while (end > start && text[end - 1] == ' ') --end;
  std::string_view t = text.substr(start, end - start);
  if (t.empty()) return 0;
  size_t i = 0;
  if (separated_) {
    // The fields of the text in the pattern's order; separators are whatever is between them.
    for (int k = 0; k < count_; ++k) {
      const Piece& p = pieces_[k];
      if (p.kind == 0) continue;
      while (i < t.size() && !IsDigit(t[i]) && !IsLetter(t[i])) ++i;
      if (i >= t.size()) return 0;
      if (p.kind == 'N' ? !IsLetter(t[i]) : !IsDigit(t[i])) return 0;
      if (p.kind == 'N') {
        if (i + 3 > t.size()) return 0;
        int m = 0;
        for (int n = 0; n < 12 && !m; ++n)
          if (UpperAscii(t[i]) == kMonthNames[n][0] && UpperAscii(t[i + 1]) == kMonthNames[n][1] &&
              UpperAscii(t[i + 2]) == kMonthNames[n][2])
            m = n + 1;
        if (!m) return 0;
        month = m;
        i += 3;
        continue;
      }
      int v = 0, w = 0, maxDigits = p.kind == 'Y' ? 4 : 2;
      while (i < t.size() && IsDigit(t[i]) && w < maxDigits) v = v * 10 + (t[i++] - '0'), ++w;
      if (w == 0) return 0;
      store(p.kind, v, w);
    }
    if (i != t.size()) return 0;
  } else {
    // No separators: every field at its fixed width.
    for (int k = 0; k < count_; ++k) {
      const Piece& p = pieces_[k];
      if (i + p.width > t.size()) return 0;
      if (p.kind == 'N') {
        int m = 0;
        for (int n = 0; n < 12 && !m; ++n)
          if (UpperAscii(t[i]) == kMonthNames[n][0] && UpperAscii(t[i + 1]) == kMonthNames[n][1] &&
              UpperAscii(t[i + 2]) == kMonthNames[n][2])
            m = n + 1;
        if (!m) return 0;
        month = m;
        i += 3;
        continue;
      }
      int v = 0;
      for (uint32_t w = 0; w < p.width; ++w) {
        if (!IsDigit(t[i])) return 0;
        v = v * 10 + (t[i++] - '0');
      }
      store(p.kind, v, static_cast<int>(p.width));
    }
    if (i != t.size()) return 0;
  }
  if (yearDigits <= 2) {
    year += epoch / 100 * 100;
    if (year < epoch) year += 100;
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
    while (i < text.size() && IsDigit(text[i]) && w < maxDigits) out = out * 10 + (text[i++] - '0'), ++w;
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
      while (i < text.size() && IsDigit(text[i])) {
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

}  // namespace engine::expr
