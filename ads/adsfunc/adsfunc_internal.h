// Shared helpers of the extended members: argument conversion (ANSI text cut to the maximum of
// its role, UTF-16 text, range checks of record numbers and lengths) and reading engine text
// out of fixed buffers.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "ads/ace.h"

namespace adsfunc_detail {

// Maximum characters of a text argument, by role.
constexpr int kNameMax = 128;
constexpr int kFileNameMax = 260;
constexpr int kExpressionMax = 510;
constexpr int kKeyMax = 4082;
constexpr int kCaptionMax = 600;
constexpr int kDateMax = 255;

// Sizes of the engine buffers results are read into.
constexpr uint16_t kErrorTextBuffer = 600;
constexpr uint16_t kVersionBuffer = 255;
constexpr uint16_t kFileNameBuffer = 255;
constexpr uint16_t kDateBuffer = 255;
constexpr uint16_t kTimeBuffer = 100;
constexpr uint16_t kFieldNameBuffer = 129;
constexpr uint16_t kIndexNameBuffer = 261;
constexpr uint16_t kExpressionBuffer = 510;
constexpr uint16_t kKeyBuffer = 4082;
constexpr uint16_t kStringExprBuffer = 4083;

// An ANSI argument: the text cut to max characters (max < 0: in full), NUL-terminated.
class Ansi {
 public:
  Ansi(const QString& text, int max);
  UNSIGNED8* get() { return reinterpret_cast<UNSIGNED8*>(bytes_.data()); }
  // Null for an empty text (optional engine parameters).
  UNSIGNED8* orNull() { return bytes_.isEmpty() ? nullptr : get(); }
  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }

 private:
  QByteArray bytes_;
};

// Raises ERangeError when value is negative or above max; returns it otherwise.
uint32_t NonNegative(int64_t value, const char* what, uint64_t max = 0xFFFFFFFFu);

// Text in an ANSI engine buffer of length bytes.
QString FromBuffer(const UNSIGNED8* buffer, uint32_t length);

}  // namespace adsfunc_detail
