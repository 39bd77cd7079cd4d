// TStream: the byte stream interface through which blob field values are read and written (a
// dataset hands one out from CreateBlobStream), TBytesStream, a stream over a growable byte
// array, and TMemoryStream, the same over memory it owns and hands out for direct filling.
//
// Threading: a stream is used by one thread at a time.
#pragma once

#include <QByteArray>
#include <cstdint>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  TStream() = default;
  virtual ~TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Copies up to count bytes from the position into buffer; returns the number copied.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes at the position (growing the stream); returns the number written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // Cuts or extends (with zero bytes) the stream to size bytes.
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
  int64_t Size();
  // Everything from the start to the end.
  QByteArray ReadAll();
  // Replaces the whole content.
  void WriteAll(const QByteArray& bytes);
};

class TBytesStream : public TStream {
 public:
  TBytesStream() = default;
  explicit TBytesStream(const QByteArray& bytes) : bytes_(bytes) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;

  const QByteArray& Bytes() const { return bytes_; }

 protected:
  QByteArray bytes_;
  int64_t position_ = 0;
};

// A stream over a block of memory it owns. Memory() gives the block (Size() bytes) for filling
// it in place after SetSize; Clear empties it and rewinds.
class TMemoryStream : public TBytesStream {
 public:
  TMemoryStream() = default;
  char* Memory() { return bytes_.data(); }
  void Clear();
};
