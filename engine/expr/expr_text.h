// The text of an expression, with the characters it was written in when it came as UTF-16.
//
// The expression language reads 8-bit text in the ANSI code page. A filter may be handed over
// as UTF-16 (a national-character filter such as NAME = 'Жук'); converted to ANSI, every
// character the code page cannot hold becomes "?", and a literal would then match any other
// text of the same length outside the code page. An ExprText keeps, for every byte of the
// ANSI text, the UTF-16 character it was made from, so the parser can give each string
// literal its exact characters, and comparisons with national-character fields stay exact.
//
// Thread safety: an immutable value once made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::expr {

class ExprText {
 public:
  // Text that was ANSI from the start.
  explicit ExprText(std::string ansi) : ansi_(std::move(ansi)) {}

  // Converts UTF-16 text to ANSI one character at a time, remembering where each came from.
  static ExprText FromUtf16(std::u16string_view text);

  const std::string& ansi() const { return ansi_; }
  // Whether some character of the UTF-16 text has no place in the ANSI code page.
  bool lossy() const { return lossy_; }
  // Whether the text came as UTF-16.
  bool wide() const { return !from_.empty(); }
  // The text as UTF-16: as it came, or the ANSI text converted.
  std::u16string Utf16() const;
  // The UTF-16 characters that ANSI bytes [begin, end) were made from. REQUIRES: wide(), and
  // begin <= end <= ansi().size().
  std::u16string_view Original(size_t begin, size_t end) const;

 private:
  ExprText() = default;

  std::string ansi_;
  std::u16string wide_;
  // For each byte of ansi_, the offset in wide_ of the character it belongs to, and one entry
  // more for the end; empty when the text was ANSI from the start.
  std::vector<uint32_t> from_;
  bool lossy_ = false;
};

}  // namespace engine::expr
