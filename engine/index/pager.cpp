// Page cache; see pager.h.
#include "engine/index/pager.h"

#include <string>

#include "engine/core/error.h"
#include "engine/core/checksum.h"
#include "engine/index/page_format.h"

namespace engine::index {
namespace {

constexpr size_t kCacheLimitBytes = 32u << 20;

[[noreturn]] void Corrupt(uint32_t pgno, const char* why) {
  Fail(err::kIndexFileCorrupt, "Index file damaged: page " + std::to_string(pgno) + " " + why);
}

}  // namespace

Pager::Pager(storage::File* file, uint32_t pageSize) : file_(file), pageSize_(pageSize) {}

Pager::CachedPage& Pager::Load(uint32_t pgno) {
  auto it = cache_.find(pgno);
  if (it != cache_.end()) return *it->second;
  if (pgno < firstTreePage || pgno >= pageCount) Corrupt(pgno, "is out of range");
  auto page = std::make_unique<CachedPage>();
  page->pgno = pgno;
  page->data.resize(pageSize_);
  if (file_->Read(uint64_t{pgno} * pageSize_, page->data.data(), pageSize_) != pageSize_) Corrupt(pgno, "is missing");
  if (!PageChecksumOk(page->data.data(), pageSize_)) Corrupt(pgno, "has a bad checksum");
  CachedPage& ref = *page;
  cache_.emplace(pgno, std::move(page));
  return ref;
}

const uint8_t* Pager::Read(uint32_t pgno) { return Load(pgno).data.data(); }

void Pager::MarkChanged(CachedPage& p) {
  if (!dirty_) {
    if (onFirstChange) onFirstChange();
    dirty_ = true;
  }
  if (!p.dirty) dirtyPages_.push_back(&p);
  p.dirty = true;
}

uint8_t* Pager::Write(uint32_t pgno) {
  CachedPage& p = Load(pgno);
  MarkChanged(p);
  return p.data.data();
}

uint32_t Pager::Allocate() {
  uint32_t pgno;
  if (freeHead != 0) {
    pgno = freeHead;
    const uint8_t* p = Read(pgno);
    if (PageType(p) != kPageFree) Corrupt(pgno, "is on the free list but in use");
    freeHead = PageNext(p);
  } else {
    pgno = pageCount++;
    auto page = std::make_unique<CachedPage>();
    page->pgno = pgno;
    page->data.resize(pageSize_);
    cache_.emplace(pgno, std::move(page));
  }
  uint8_t* p = Write(pgno);
  std::fill(p, p + pageSize_, 0);
  return pgno;
}

void Pager::Free(uint32_t pgno) {
  uint8_t* p = Write(pgno);
  InitPage(p, pageSize_, kPageFree, 0, 0);
  SetPageNext(p, freeHead);
  freeHead = pgno;
}

void Pager::WriteDirtyPages() {
  // Only the changed pages are visited: a flush after each small change costs what it writes.
  for (CachedPage* page : dirtyPages_) {
    SealPage(page->data.data(), pageSize_);
    file_->Write(uint64_t{page->pgno} * pageSize_, page->data.data(), pageSize_);
    page->dirty = false;
  }
  dirtyPages_.clear();
  dirty_ = false;
}

void Pager::DropCache() {
  dirtyPages_.clear();
  cache_.clear();
  dirty_ = false;
}

void Pager::Trim() {
  if (!dirty_ && cache_.size() * pageSize_ > kCacheLimitBytes) cache_.clear();
}

}  // namespace engine::index
