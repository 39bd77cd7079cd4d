// The native index file; see adi_file.h.
#include "engine/index/adi_file.h"

#include <algorithm>
#include <cstring>

#include "engine/core/error.h"
#include "engine/index/btree.h"
#include "engine/index/collation.h"
#include "engine/core/checksum.h"
#include "engine/index/page_format.h"

namespace engine::index {
namespace {

[[noreturn]] void Corrupt(const std::string& why) { Fail(err::kIndexFileCorrupt, "Index file damaged: " + why); }

// Entries RecordsAt copies out of a leaf at a time (a leaf holds fewer on every page size).
constexpr uint64_t kRecordsAtRun = 512;

}  // namespace

uint32_t HeaderPageCount(uint32_t pageSize, size_t catalogLength) {
  size_t first = pageSize - kHeaderFixedSize;
  if (catalogLength <= first) return 1;
  size_t per = pageSize - kPageHeaderSize;
  return static_cast<uint32_t>(1 + (catalogLength - first + per - 1) / per);
}

std::vector<uint8_t> BuildHeaderPages(uint32_t pageSize, uint32_t pageCount, uint32_t freeHead,
                                      uint32_t flags, uint64_t changeCounter,
                                      const std::vector<uint8_t>& catalog) {
  uint32_t n = HeaderPageCount(pageSize, catalog.size());
  std::vector<uint8_t> out(size_t{n} * pageSize);
  uint8_t* p0 = out.data();
  InitPage(p0, pageSize, kPageHeader, 0, 0);
  StoreLE<uint32_t>(p0 + 16, kIndexMagic);
  StoreLE<uint32_t>(p0 + 20, kIndexFormatVersion);
  StoreLE<uint32_t>(p0 + 24, pageSize);
  StoreLE<uint32_t>(p0 + 28, pageCount);
  StoreLE<uint32_t>(p0 + 32, freeHead);
  StoreLE<uint32_t>(p0 + 36, flags);
  StoreLE<uint64_t>(p0 + 40, changeCounter);
  StoreLE<uint32_t>(p0 + 48, static_cast<uint32_t>(catalog.size()));
  StoreLE<uint32_t>(p0 + 52, n);
  size_t done = std::min(catalog.size(), size_t{pageSize} - kHeaderFixedSize);
  std::memcpy(p0 + kHeaderFixedSize, catalog.data(), done);
  for (uint32_t i = 1; i < n; ++i) {
    uint8_t* p = out.data() + size_t{i} * pageSize;
    InitPage(p, pageSize, kPageHeader, 0, 0);
    size_t k = std::min(catalog.size() - done, size_t{pageSize} - kPageHeaderSize);
    std::memcpy(p + kPageHeaderSize, catalog.data() + done, k);
    done += k;
  }
  for (uint32_t i = 0; i < n; ++i) SealPage(out.data() + size_t{i} * pageSize, pageSize);
  return out;
}

AdiFile::AdiFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly)
    : IndexFile(std::move(file), std::move(path), readOnly) {}

std::unique_ptr<AdiFile> AdiFile::Open(const std::filesystem::path& path, bool readOnly) {
  std::unique_ptr<AdiFile> f(new AdiFile(
      storage::OpenFile(path.string(), readOnly ? storage::OpenMode::kRead : storage::OpenMode::kReadWrite,
                        err::kIndexIoError),
      path, readOnly));
  f->LoadHeader(true);
  return f;
}

AdiFile::~AdiFile() = default;

void AdiFile::LoadHeader(bool checkSize) {
  uint8_t fixed[kHeaderFixedSize];
  if (file_->Read(0, fixed, sizeof fixed) != sizeof fixed) Corrupt("the file is too short for a header");
  if (LoadLE<uint32_t>(fixed + 16) != kIndexMagic) Corrupt("not an index file");
  if (LoadLE<uint32_t>(fixed + 20) != kIndexFormatVersion) {
    Fail(err::kIndexVersionUnsupported, "Index file \"" + path_.string() + "\" has format version " +
                                            std::to_string(LoadLE<uint32_t>(fixed + 20)) + "; this engine reads version " +
                                            std::to_string(kIndexFormatVersion) + ". Rebuild the index.");
  }
  uint32_t ps = LoadLE<uint32_t>(fixed + 24);
  if (!KeyLayout::ValidPageSize(ps)) Corrupt("bad page size");
  std::vector<uint8_t> page0(ps);
  if (file_->Read(0, page0.data(), ps) != ps) Corrupt("the header page is cut short");
  if (!PageChecksumOk(page0.data(), ps) || PageType(page0.data()) != kPageHeader) Corrupt("the header has a bad checksum");
  uint32_t pageCount = LoadLE<uint32_t>(page0.data() + 28);
  uint32_t freeHead = LoadLE<uint32_t>(page0.data() + 32);
  uint32_t flags = LoadLE<uint32_t>(page0.data() + 36);
  uint64_t counter = LoadLE<uint64_t>(page0.data() + 40);
  uint32_t catalogLen = LoadLE<uint32_t>(page0.data() + 48);
  uint32_t headerPages = LoadLE<uint32_t>(page0.data() + 52);
  // A catalogue holds at least its tag count (2 bytes), even when it lists no tag.
  if (catalogLen < 2 || catalogLen > (64u << 20) || headerPages != HeaderPageCount(ps, catalogLen) ||
      headerPages > pageCount) {
    Corrupt("the header's catalog description is inconsistent");
  }
  if (flags & kFlagUpdateInProgress) {
    Fail(err::kIndexNeedsRebuild, "Index file \"" + path_.string() +
                                      "\" was left in the middle of an update. Rebuild the index.");
  }
  if (checkSize && file_->Size() != uint64_t{pageCount} * ps) Corrupt("the file size does not match its page count");
  if (freeHead != 0 && (freeHead < headerPages || freeHead >= pageCount)) Corrupt("the free list starts outside the file");
  std::vector<uint8_t> catalog(catalogLen);
  size_t done = std::min<size_t>(catalogLen, ps - kHeaderFixedSize);
  std::memcpy(catalog.data(), page0.data() + kHeaderFixedSize, done);
  std::vector<uint8_t> page(ps);
  for (uint32_t i = 1; i < headerPages; ++i) {
    if (file_->Read(uint64_t{i} * ps, page.data(), ps) != ps) Corrupt("a header page is missing");
    if (!PageChecksumOk(page.data(), ps) || PageType(page.data()) != kPageHeader) Corrupt("a header page has a bad checksum");
    size_t k = std::min<size_t>(catalogLen - done, ps - kPageHeaderSize);
    std::memcpy(catalog.data() + done, page.data() + kPageHeaderSize, k);
    done += k;
  }
  std::vector<TagInfo> tags = ParseCatalog(catalog.data(), catalog.size(), ps);
  for (const TagInfo& t : tags) {
    if (t.root != 0 && (t.root < headerPages || t.root >= pageCount)) Corrupt("a tag's root lies outside the file");
  }
  pageSize_ = ps;
  headerPages_ = headerPages;
  changeCounter_ = counter;
  tags_ = std::move(tags);
  ++catalogLoads_;
  pager_ = std::make_unique<Pager>(file_.get(), ps);
  pager_->pageCount = pageCount;
  pager_->freeHead = freeHead;
  pager_->firstTreePage = headerPages;
  pager_->onFirstChange = [this] { Prepare(); };
  markOnDisk_ = false;
  markDurable_ = false;
}

void AdiFile::WriteHeader(bool inProgress) {
  std::vector<uint8_t> catalog = SerializeCatalog(tags_);
  if (HeaderPageCount(pageSize_, catalog.size()) != headerPages_) {
    Corrupt("the catalog no longer fits its header pages");  // roots and heights have fixed width
  }
  std::vector<uint8_t> pages = BuildHeaderPages(pageSize_, pager_->pageCount, pager_->freeHead,
                                                inProgress ? kFlagUpdateInProgress : 0, changeCounter_, catalog);
  file_->Write(0, pages.data(), pages.size());
  markOnDisk_ = inProgress;
  unsynced_ = true;
}

void AdiFile::Discard() {
  pager_->DropCache();
  discarded_ = true;
  // A flush may have written the header without the mark before the failure: the mark goes
  // back on, so that no open trusts what this object may have left half done.
  if (!markOnDisk_ && !readOnly_) {
    try {
      WriteHeader(true);
    } catch (const EngineError&) {
      // The disk refuses it too; its last synced state still carries the mark.
    }
  }
}

uint64_t AdiFile::KeyCount(size_t tag) {
  CheckKey(tag, {});
  pager_->Trim();
  TagInfo& t = tags_[tag];
  return Btree(*pager_, static_cast<uint32_t>(tag + 1), t.layout.entryLength(), t.root, t.height).Count();
}

uint64_t AdiFile::LowerBound(size_t tag, std::span<const uint8_t> prefix) {
  CheckKey(tag, prefix);
  pager_->Trim();
  TagInfo& t = tags_[tag];
  return Btree(*pager_, static_cast<uint32_t>(tag + 1), t.layout.entryLength(), t.root, t.height)
      .LowerBound(prefix.data(), prefix.size());
}

uint64_t AdiFile::UpperBound(size_t tag, std::span<const uint8_t> prefix) {
  CheckKey(tag, prefix);
  pager_->Trim();
  TagInfo& t = tags_[tag];
  return Btree(*pager_, static_cast<uint32_t>(tag + 1), t.layout.entryLength(), t.root, t.height)
      .UpperBound(prefix.data(), prefix.size());
}

uint32_t AdiFile::EntryAt(size_t tag, uint64_t rank, uint8_t* key) {
  CheckKey(tag, {});
  pager_->Trim();
  TagInfo& t = tags_[tag];
  std::vector<uint8_t> e(t.layout.entryLength());
  Btree(*pager_, static_cast<uint32_t>(tag + 1), e.size(), t.root, t.height).At(rank, e.data());
  std::memcpy(key, e.data(), t.layout.keyLength());
  return LoadBE32(e.data() + t.layout.keyLength());
}

void AdiFile::RecordsAt(size_t tag, uint64_t from, uint64_t to, std::vector<uint32_t>* records) {
  CheckKey(tag, {});
  if (from >= to) return;
  pager_->Trim();
  TagInfo& t = tags_[tag];
  const size_t entryLength = t.layout.entryLength(), keyLength = t.layout.keyLength();
  Btree tree(*pager_, static_cast<uint32_t>(tag + 1), entryLength, t.root, t.height);
  std::vector<uint8_t> run;
  while (from < to) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(to - from, kRecordsAtRun));
    run.resize(want * entryLength);
    const size_t got = tree.AtRun(from, want, run.data());
    for (size_t i = 0; i < got; ++i) records->push_back(LoadBE32(run.data() + i * entryLength + keyLength));
    from += got;
  }
}

uint64_t AdiFile::RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) {
  CheckKey(tag, key);
  std::vector<uint8_t> e = MakeEntry(tag, key, recno);
  pager_->Trim();
  TagInfo& t = tags_[tag];
  return Btree(*pager_, static_cast<uint32_t>(tag + 1), e.size(), t.root, t.height).LowerBound(e.data(), e.size());
}

bool AdiFile::InsertEntry(size_t tag, const uint8_t* entry) {
  pager_->Trim();
  TagInfo& t = tags_[tag];
  return Btree(*pager_, static_cast<uint32_t>(tag + 1), t.layout.entryLength(), t.root, t.height).Insert(entry);
}

bool AdiFile::EraseEntry(size_t tag, const uint8_t* entry) {
  pager_->Trim();
  TagInfo& t = tags_[tag];
  return Btree(*pager_, static_cast<uint32_t>(tag + 1), t.layout.entryLength(), t.root, t.height).Erase(entry);
}

uint32_t AdiFile::FirstRecordWithKey(size_t tag, std::span<const uint8_t> key) {
  pager_->Trim();
  TagInfo& t = tags_[tag];
  Btree tree(*pager_, static_cast<uint32_t>(tag + 1), t.layout.entryLength(), t.root, t.height);
  uint64_t at = tree.LowerBound(key.data(), key.size());
  if (at >= tree.Count()) return 0;
  std::vector<uint8_t> found(t.layout.entryLength());
  tree.At(at, found.data());
  if (std::memcmp(found.data(), key.data(), key.size()) != 0) return 0;
  return LoadBE32(found.data() + key.size());
}

bool AdiFile::Revalidate() {
  if (discarded_) return false;
  uint8_t fixed[kHeaderFixedSize];
  if (file_->Read(0, fixed, sizeof fixed) != sizeof fixed) Corrupt("the file is too short for a header");
  // Unchanged since this object last wrote or read it: the mark, if any, is its own.
  if (LoadLE<uint64_t>(fixed + 40) == changeCounter_ && (!(LoadLE<uint32_t>(fixed + 36) & kFlagUpdateInProgress) || markOnDisk_)) return false;
  LoadHeader(true);  // replaces the cache only when the new header is sound
  return true;
}

void AdiFile::Verify() {
  for (size_t i = 0; i < tags_.size(); ++i) {
    pager_->Trim();
    TagInfo& t = tags_[i];
    Btree(*pager_, static_cast<uint32_t>(i + 1), t.layout.entryLength(), t.root, t.height).Verify();
  }
}

}  // namespace engine::index
