// Streams over bytes.
#include "runtime/data/stream.h"

#include <algorithm>
#include <cstring>

int64_t TStream::Size() {
  int64_t here = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(here, soBeginning);
  return end;
}

QByteArray TStream::ReadAll() {
  int64_t size = Size();
  QByteArray out(static_cast<qsizetype>(size), '\0');
  Seek(0, soBeginning);
  int64_t got = Read(out.data(), size);
  out.resize(static_cast<qsizetype>(got));
  return out;
}

void TStream::WriteAll(const QByteArray& bytes) {
  Seek(0, soBeginning);
  SetSize(0);
  Write(bytes.constData(), bytes.size());
}

int64_t TBytesStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= bytes_.size()) return 0;
  int64_t n = std::min<int64_t>(count, bytes_.size() - position_);
  std::memcpy(buffer, bytes_.constData() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TBytesStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > bytes_.size()) bytes_.resize(static_cast<qsizetype>(position_ + count), '\0');
  std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TBytesStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : bytes_.size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void TBytesStream::SetSize(int64_t size) {
  bytes_.resize(static_cast<qsizetype>(std::max<int64_t>(0, size)), '\0');
  if (position_ > bytes_.size()) position_ = bytes_.size();
}

void TMemoryStream::Clear() {
  bytes_.clear();
  position_ = 0;
}
