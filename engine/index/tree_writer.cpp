// Bottom-up tree construction; see tree_writer.h and page_format.h.
#include "engine/index/tree_writer.h"

#include <algorithm>
#include <cstring>

#include "engine/core/check.h"
#include "engine/core/error.h"
#include "engine/core/checksum.h"
#include "engine/index/page_format.h"

namespace engine::index {

PageWriter::PageWriter(storage::File& file, uint32_t pageSize, uint32_t firstPage, size_t bufferBytes, bool durable)
    : file_(file), pageSize_(pageSize), next_(firstPage), bufferedFrom_(firstPage), durable_(durable) {
  buffer_.resize(std::max<size_t>(bufferBytes / pageSize, 1) * pageSize);
}

uint32_t PageWriter::Append(uint8_t* page) {
  if (used_ + pageSize_ > buffer_.size()) Finish();
  SealPage(page, pageSize_);
  std::memcpy(buffer_.data() + used_, page, pageSize_);
  used_ += pageSize_;
  return next_++;
}

void PageWriter::Finish() {
  if (used_ > 0) {
    const uint64_t offset = uint64_t{bufferedFrom_} * pageSize_;
    file_.Write(offset, buffer_.data(), used_);
    // The flush at the end then finds most pages on their way; a host that cannot is no worse.
    if (durable_) (void)file_.StartWriteback(offset, used_);
  }
  used_ = 0;
  bufferedFrom_ = next_;
}

TreeWriter::TreeWriter(PageWriter& out, uint32_t tagNumber, size_t entryLength)
    : out_(out),
      tag_(tagNumber),
      entryLength_(entryLength),
      leafCap_(LeafCapacity(out.pageSize(), entryLength)),
      innerCap_(InnerCapacity(out.pageSize(), entryLength)) {
  levels_.emplace_back();
  levels_[0].page.assign(out.pageSize(), 0);
}

void TreeWriter::Add(const uint8_t* entry) {
  Level& leaf = levels_[0];
  ENGINE_CHECK(leaf.n == 0 || std::memcmp(leaf.page.data() + kPageHeaderSize + (leaf.n - 1) * entryLength_, entry,
                                          entryLength_) < 0,
               "entries handed to the tree writer out of ascending order");
  if (leaf.n == leafCap_) Emit(0);
  std::memcpy(levels_[0].page.data() + kPageHeaderSize + levels_[0].n * entryLength_, entry, entryLength_);
  ++levels_[0].n;
  ++levels_[0].count;
}

void TreeWriter::Push(size_t level, const uint8_t* sep, uint32_t child, uint64_t count) {
  if (level == levels_.size()) {
    if (level >= static_cast<size_t>(kMaxTreeHeight)) Fail(err::kIndexKeyTooLong, "Index tree too deep");
    levels_.emplace_back();
    levels_.back().page.assign(out_.pageSize(), 0);
  }
  if (levels_[level].n == innerCap_) Emit(level);
  Level& L = levels_[level];
  uint8_t* e = L.page.data() + kPageHeaderSize + L.n * (entryLength_ + kInnerEntryExtra);
  StoreLE<uint32_t>(e, child);
  StoreLE<uint32_t>(e + 4, static_cast<uint32_t>(count));
  std::memcpy(e + kInnerEntryExtra, sep, entryLength_);
  ++L.n;
  L.count += count;
}

void TreeWriter::Emit(size_t level) {
  Level& L = levels_[level];
  uint8_t* p = L.page.data();
  p[4] = level == 0 ? kPageLeaf : kPageInner;
  p[5] = static_cast<uint8_t>(level);
  SetPageCount(p, static_cast<uint16_t>(L.n));
  StoreLE<uint32_t>(p + 8, tag_);
  SetPageNext(p, 0);
  std::vector<uint8_t> first(entryLength_);
  std::memcpy(first.data(), p + kPageHeaderSize + (level == 0 ? 0 : kInnerEntryExtra), entryLength_);
  uint32_t pg = out_.Append(p);
  uint64_t count = L.count;
  L.n = 0;
  L.count = 0;
  ++L.emitted;
  std::memset(p + kPageHeaderSize, 0, out_.pageSize() - kPageHeaderSize);
  Push(level + 1, first.data(), pg, count);
}

uint64_t TreeWriter::PagesFor(uint64_t entries, uint32_t pageSize, size_t entryLength) {
  if (entries == 0) return 0;
  const uint64_t leafCap = LeafCapacity(pageSize, entryLength);
  const uint64_t innerCap = InnerCapacity(pageSize, entryLength);
  uint64_t level = (entries + leafCap - 1) / leafCap;
  uint64_t total = level;
  while (level > 1) {
    level = (level + innerCap - 1) / innerCap;
    total += level;
  }
  return total;
}

void TreeWriter::Finish(uint32_t& root, uint8_t& height) {
  for (size_t i = 0;; ++i) {
    bool top = i + 1 == levels_.size();
    Level& L = levels_[i];
    if (top && L.emitted == 0) {
      if (L.n == 0) {
        root = 0;
        height = 0;
        return;
      }
      if (i > 0 && L.n == 1) {
        // A single child is the root itself.
        root = LoadLE<uint32_t>(L.page.data() + kPageHeaderSize);
        height = static_cast<uint8_t>(i);
        return;
      }
      uint8_t* p = L.page.data();
      p[4] = i == 0 ? kPageLeaf : kPageInner;
      p[5] = static_cast<uint8_t>(i);
      SetPageCount(p, static_cast<uint16_t>(L.n));
      StoreLE<uint32_t>(p + 8, tag_);
      root = out_.Append(p);
      height = static_cast<uint8_t>(i + 1);
      return;
    }
    if (L.n > 0) Emit(i);
  }
}

}  // namespace engine::index
