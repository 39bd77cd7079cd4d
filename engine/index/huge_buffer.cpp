// Huge-page-backed anonymous memory; see huge_buffer.h.
#include "engine/index/huge_buffer.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "engine/core/error.h"

namespace engine::index {

HugeBuffer::HugeBuffer(size_t bytes, bool hugePages) {
  if (bytes == 0) return;
  const size_t unit = hugePages ? size_t{2} << 20 : size_t{4} << 10;
  size_t size = (bytes + unit - 1) / unit * unit;
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    Fail(err::kIndexIoError, "Cannot reserve " + std::to_string(size >> 20) + " MB for sorting keys: " +
                                 std::strerror(errno));
  }
  if (hugePages) ::madvise(p, size, MADV_HUGEPAGE);  // a hint; ignored where huge pages are unavailable
  data_ = p;
  size_ = size;
}

HugeBuffer::~HugeBuffer() {
  if (data_ != nullptr) ::munmap(data_, size_);
}

HugeBuffer::HugeBuffer(HugeBuffer&& o) noexcept : data_(o.data_), size_(o.size_) {
  o.data_ = nullptr;
  o.size_ = 0;
}

HugeBuffer& HugeBuffer::operator=(HugeBuffer&& o) noexcept {
  if (this != &o) {
    if (data_ != nullptr) ::munmap(data_, size_);
    data_ = o.data_;
    size_ = o.size_;
    o.data_ = nullptr;
    o.size_ = 0;
  }
  return *this;
}

}  // namespace engine::index
