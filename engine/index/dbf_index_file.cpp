// The update rules of NTX and CDX files; see dbf_index_file.h.
#include "engine/index/dbf_index_file.h"

#include <cstring>

#include "engine/core/error.h"

namespace engine::index {

DbfIndexFile::DbfIndexFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly)
    : IndexFile(std::move(file), std::move(path), readOnly) {}

std::unique_ptr<storage::File> DbfIndexFile::OpenStorage(const std::filesystem::path& path, bool readOnly) {
  return storage::OpenFile(path.string(), readOnly ? storage::OpenMode::kRead : storage::OpenMode::kReadWrite,
                           err::kIndexIoError);
}

void DbfIndexFile::Corrupt(const std::string& why) const {
  Fail(err::kIndexFileCorrupt, "Index file \"" + path_.string() + "\" damaged: " + why);
}

void DbfIndexFile::NeedsRebuild() const {
  Fail(err::kIndexNeedsRebuild,
       "Index file \"" + path_.string() + "\" was left in the middle of an update. Rebuild the index.");
}

void DbfIndexFile::CheckUsable() const {
  if (discarded_) {
    Fail(err::kIndexNeedsRebuild, "An update of the index file \"" + path_.string() +
                                      "\" failed; rebuild the indexes of its table");
  }
}

bool DbfIndexFile::Revalidate() {
  if (discarded_) return false;
  uint64_t counter = 0;
  bool marked = false;
  PeekHeader(&counter, &marked);
  // Unchanged since this object last wrote or read it: the mark, if any, is its own.
  if (counter == changeCounter_ && (!marked || markOnDisk_)) return false;
  LoadHeader();
  markOnDisk_ = false;
  markDurable_ = false;
  return true;
}

void DbfIndexFile::Discard() {
  DropCache();
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

size_t EntryBound(const uint8_t* entries, size_t n, size_t stride, const uint8_t* probe, size_t len, bool upper) {
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    int c = len == 0 ? 0 : std::memcmp(entries + mid * stride, probe, len);
    if (upper ? c <= 0 : c < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

std::vector<uint8_t> EncodeKeyDescription(const TagDef& def, const KeyLayout& layout) {
  std::vector<uint8_t> out = {'Q', 'K', 'E', 'Y', 1, def.keyType};
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(def.options >> (8 * i)));
  auto text = [&](const std::string& s) {
    size_t n = std::min<size_t>(s.size(), 255);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
  };
  text(def.name);
  text(def.collation);
  out.push_back(static_cast<uint8_t>(layout.segments().size()));
  for (const Segment& seg : layout.segments()) {
    out.push_back(static_cast<uint8_t>(seg.kind));
    out.push_back(static_cast<uint8_t>(seg.width));
    out.push_back(static_cast<uint8_t>(seg.width >> 8));
    out.push_back(seg.decimals);
  }
  return out;
}

bool DecodeKeyDescription(const uint8_t* data, size_t size, TagDef& def) {
  if (size < 12 || std::memcmp(data, "QKEY", 4) != 0 || data[4] != 1) return false;
  size_t pos = 5;
  auto need = [&](size_t n) {
    if (size - pos < n) Fail(err::kIndexFileCorrupt, "Index file damaged: the key description is cut short");
  };
  need(5);
  uint8_t keyType = data[pos++];
  uint32_t options = 0;
  for (int i = 0; i < 4; ++i) options |= uint32_t{data[pos++]} << (8 * i);
  auto text = [&]() {
    need(1);
    size_t n = data[pos++];
    need(n);
    std::string s(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return s;
  };
  std::string name = text();
  std::string collation = text();
  need(1);
  size_t count = data[pos++];
  std::vector<SegmentSpec> segments;
  for (size_t i = 0; i < count; ++i) {
    need(4);
    SegmentSpec s{static_cast<SegmentKind>(data[pos]), static_cast<uint16_t>(data[pos + 1] | data[pos + 2] << 8),
                  data[pos + 3]};
    if (s.kind < SegmentKind::kString || s.kind > SegmentKind::kRaw) {
      Fail(err::kIndexFileCorrupt, "Index file damaged: the key description names an unknown segment kind");
    }
    segments.push_back(s);
    pos += 4;
  }
  if (segments.empty()) Fail(err::kIndexFileCorrupt, "Index file damaged: the key description has no segment");
  def.keyType = keyType;
  def.options = options;
  if (!name.empty()) def.name = name;
  def.collation = collation;
  def.segments = std::move(segments);
  return true;
}

SequentialPageWriter::SequentialPageWriter(storage::File& file, uint64_t firstOffset)
    : file_(file), next_(firstOffset), bufferedFrom_(firstOffset) {}

uint64_t SequentialPageWriter::Append(const uint8_t* data, size_t size) {
  uint64_t at = next_;
  buffer_.insert(buffer_.end(), data, data + size);
  next_ += size;
  if (buffer_.size() >= (size_t{1} << 20)) Finish();
  return at;
}

void SequentialPageWriter::Patch(uint64_t offset, const std::function<void(uint8_t*)>& change) {
  if (offset >= bufferedFrom_) {
    change(buffer_.data() + (offset - bufferedFrom_));
    return;
  }
  uint8_t bytes[16];
  file_.ReadExact(offset, bytes, sizeof bytes);
  change(bytes);
  file_.Write(offset, bytes, sizeof bytes);
}

void SequentialPageWriter::Finish() {
  if (!buffer_.empty()) file_.Write(bufferedFrom_, buffer_.data(), buffer_.size());
  buffer_.clear();
  bufferedFrom_ = next_;
}

}  // namespace engine::index
