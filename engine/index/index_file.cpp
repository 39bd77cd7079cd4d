// What every index file format shares; see index_file.h.
#include "engine/index/index_file.h"

#include <cstring>

#include "engine/core/ascii_case.h"
#include "engine/core/byte_order.h"
#include "engine/core/error.h"
#include "engine/index/adi_file.h"
#include "engine/index/cdx_file.h"
#include "engine/index/collation.h"
#include "engine/index/ntx_file.h"

namespace engine::index {

IndexFormat IndexFormatOf(const std::filesystem::path& path) {
  std::string ext = AsciiLowerCopy(path.extension().string());
  if (ext == ".ntx") return IndexFormat::kNtx;
  if (ext == ".cdx") return IndexFormat::kCdx;
  return IndexFormat::kAdi;
}

KeyForm KeyFormOf(IndexFormat format) {
  switch (format) {
    case IndexFormat::kNtx: return KeyForm::kNtx;
    case IndexFormat::kCdx: return KeyForm::kCdx;
    case IndexFormat::kAdi: break;
  }
  return KeyForm::kNative;
}

std::unique_ptr<IndexFile> IndexFile::Open(const std::filesystem::path& path, bool readOnly) {
  switch (IndexFormatOf(path)) {
    case IndexFormat::kNtx: return NtxFile::Open(path, readOnly);
    case IndexFormat::kCdx: return CdxFile::Open(path, readOnly);
    case IndexFormat::kAdi: break;
  }
  return AdiFile::Open(path, readOnly);
}

IndexFile::IndexFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly)
    : file_(std::move(file)), path_(std::move(path)), readOnly_(readOnly) {}

void IndexFile::Prepare() {
  if (readOnly_ || discarded_ || !HasPages() || markDurable_) return;
  WriteHeader(true);
  file_->Sync();
  unsynced_ = false;
  markDurable_ = true;
}

void IndexFile::Flush(bool keepMark) {
  if (discarded_ || !HasPages()) return;
  const bool dirty = Dirty();
  if (!dirty && (keepMark || !markOnDisk_)) return;
  if (dirty) {
    WriteDirtyPages();
    ++changeCounter_;
  }
  WriteHeader(keepMark);
  if (!keepMark) markDurable_ = false;
}

void IndexFile::Commit() {
  if (discarded_ || readOnly_ || !HasPages()) return;
  if (!markOnDisk_ && !Dirty() && !unsynced_) return;
  // The pages become durable under the mark before the header that clears it is written (a
  // shared open's flush already wrote a clear header for the other opens to read: it is marked
  // again for the length of the sync), so the mark never leaves the disk ahead of the pages it
  // covers.
  Flush(true);
  if (!markOnDisk_) WriteHeader(true);
  file_->Sync();
  WriteHeader(false);
  file_->Sync();
  unsynced_ = false;
  markDurable_ = false;
}

IndexFile::~IndexFile() = default;

int IndexFile::FindTag(const std::string& name) const {
  for (size_t i = 0; i < tags_.size(); ++i) {
    if (SameTagName(tags_[i].def.name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<size_t> IndexFile::CollationMismatches(const std::string& collation) const {
  std::vector<size_t> out;
  std::string wanted = collation.empty() ? std::string() : Collation::Find(collation).name();
  for (size_t i = 0; i < tags_.size(); ++i) {
    const TagInfo& t = tags_[i];
    bool hasText = false;
    for (const Segment& s : t.layout.segments()) {
      hasText = hasText || s.kind == SegmentKind::kString || s.kind == SegmentKind::kWideString;
    }
    if (!hasText) continue;
    bool nameDiffers = !wanted.empty() && t.def.collation != wanted;
    bool rulesDiffer = t.layout.collation().version() != t.collationVersion;
    if (nameDiffers || rulesDiffer) out.push_back(i);
  }
  return out;
}

void IndexFile::RecordsAt(size_t tag, uint64_t from, uint64_t to, std::vector<uint32_t>* records) {
  std::vector<uint8_t> key(tags_.at(tag).layout.keyLength());
  for (uint64_t r = from; r < to; ++r) records->push_back(EntryAt(tag, r, key.data()));
}

bool IndexFile::AdoptSegments(size_t tag, const std::vector<SegmentSpec>& segments, uint8_t keyType) {
  TagInfo& t = tags_.at(tag);
  if (t.described) return false;
  try {
    KeyLayout layout = KeyLayout::Make(segments, t.layout.collation(), t.layout.descending(), pageSize(), t.layout.form());
    if (layout.keyLength() != t.layout.keyLength()) return false;
    t.layout = layout;
  } catch (const EngineError&) {
    return false;  // the expression's key does not fit this file: it stays a text order
  }
  t.def.segments = segments;
  t.def.keyType = keyType;
  t.described = true;
  return true;
}

void IndexFile::CheckWritable() const {
  if (readOnly_) Fail(err::kIndexIoError, "Index file \"" + path_.string() + "\" is open read-only");
}

void IndexFile::CheckKey(size_t tag, std::span<const uint8_t> key) const {
  if (discarded_) {
    Fail(err::kIndexNeedsRebuild, "An update of the index file \"" + path_.string() +
                                      "\" failed; rebuild the indexes of its table");
  }
  if (tag >= tags_.size()) Fail(err::kNoSuchIndexOrder, "No such index tag");
  if (key.size() > tags_[tag].layout.keyLength()) {
    Fail(err::kIndexKeyTooLong, "Key longer than the tag's key length");
  }
}

std::vector<uint8_t> IndexFile::MakeEntry(size_t tag, std::span<const uint8_t> key, uint32_t recno) const {
  const TagInfo& t = tags_[tag];
  if (key.size() != t.layout.keyLength()) Fail(err::kIndexKeyTooLong, "Key length does not match the tag");
  std::vector<uint8_t> e(t.layout.entryLength());
  std::memcpy(e.data(), key.data(), key.size());
  StoreBE32(e.data() + key.size(), recno);
  return e;
}

bool IndexFile::AddKey(size_t tag, std::span<const uint8_t> key, uint32_t recno) {
  CheckKey(tag, key);
  CheckWritable();
  std::vector<uint8_t> e = MakeEntry(tag, key, recno);
  const TagInfo& t = tags_[tag];
  if (t.def.options & (kTagUnique | kTagCandidate)) {
    uint32_t other = FirstRecordWithKey(tag, key);
    if (other != 0) {
      if (other == recno) return true;
      if (t.def.options & kTagCandidate) {
        Fail(err::kDuplicateKey, "Duplicate key in index tag \"" + t.def.name + "\" (record " +
                                     std::to_string(other) + " has the same key)");
      }
      if (other < recno) return false;
      EraseEntry(tag, MakeEntry(tag, key, other).data());
    }
  }
  InsertEntry(tag, e.data());
  return true;
}

bool IndexFile::RemoveKey(size_t tag, std::span<const uint8_t> key, uint32_t recno) {
  CheckKey(tag, key);
  CheckWritable();
  std::vector<uint8_t> e = MakeEntry(tag, key, recno);
  return EraseEntry(tag, e.data());
}

}  // namespace engine::index
