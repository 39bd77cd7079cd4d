// Large anonymous memory for rebuilds: address space reserved at once, of which only the pages
// touched take memory. Large buffers ask for transparent huge pages where the system allows them:
// sorting millions of keys touches hundreds of megabytes, and 2 MB pages cut the cost of faulting
// that memory in and of the TLB misses of jumping across it. Owned by one object; not thread-safe.
#pragma once

#include <cstddef>

namespace engine::index {

class HugeBuffer {
 public:
  HugeBuffer() = default;
  // Throws EngineError kIndexIoError when the address space cannot be had. hugePages: ask for
  // 2 MB pages (the size is then rounded up to 2 MB).
  explicit HugeBuffer(size_t bytes, bool hugePages = true);
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
