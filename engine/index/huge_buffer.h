// Large anonymous memory for rebuilds, backed by transparent huge pages where the system
// allows it: sorting millions of keys touches hundreds of megabytes once, and 2 MB pages cut
// the cost of faulting that memory in. Owned by one object; not thread-safe.
#pragma once

#include <cstddef>

namespace engine::index {

class HugeBuffer {
 public:
  HugeBuffer() = default;
  // Throws EngineError kIndexIoError when the memory cannot be had.
  explicit HugeBuffer(size_t bytes);
  ~HugeBuffer();
  HugeBuffer(HugeBuffer&& o) noexcept;
  HugeBuffer& operator=(HugeBuffer&& o) noexcept;
  HugeBuffer(const HugeBuffer&) = delete;
  HugeBuffer& operator=(const HugeBuffer&) = delete;

  void* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace engine::index
