#include "engine/expr/expr_text.h"

#include "engine/core/check.h"
#include "engine/core/codepage.h"

namespace engine::expr {

ExprText ExprText::FromUtf16(std::u16string_view text) {
  ExprText out;
  out.wide_.assign(text);
  out.from_.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size();) {
    // One character: a surrogate pair stays together.
    size_t n = (i + 1 < text.size() && text[i] >= 0xD800 && text[i] < 0xDC00 && text[i + 1] >= 0xDC00 &&
                text[i + 1] < 0xE000)
                   ? 2
                   : 1;
    std::u16string_view one = text.substr(i, n);
    std::string bytes = core::Utf16ToAnsi(one);
    if (core::AnsiToUtf16(bytes) != one) out.lossy_ = true;
    out.ansi_ += bytes;
    out.from_.insert(out.from_.end(), bytes.size(), static_cast<uint32_t>(i));
    i += n;
  }
  out.from_.push_back(static_cast<uint32_t>(text.size()));
  return out;
}

std::u16string ExprText::Utf16() const { return wide() ? wide_ : core::AnsiToUtf16(ansi_); }

std::u16string_view ExprText::Original(size_t begin, size_t end) const {
  ENGINE_CHECK(wide() && begin <= end && end <= ansi_.size(), "ANSI range outside the expression text");
  const uint32_t first = from_[begin];
  const uint32_t last = from_[end];
  return std::u16string_view(wide_).substr(first, last - first);
}

}  // namespace engine::expr
