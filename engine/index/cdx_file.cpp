// CDX compound index files; see cdx_file.h and docs/formats.md.
#include "engine/index/cdx_file.h"

#include <algorithm>
#include <cstring>

#include "engine/core/ascii_case.h"
#include "engine/core/byte_order.h"
#include "engine/core/error.h"
#include "engine/index/collation.h"

namespace engine::index {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kHeaderSize = 1024;
constexpr size_t kNodeHeader = 12;
constexpr size_t kLeafHeader = 24;
constexpr size_t kDirectoryKey = 10;
constexpr size_t kMaxTagName = 10;

// Header fields (the directory's and every tag's).
constexpr size_t kRoot = 0;
constexpr size_t kFreeList = 4;
constexpr size_t kCounter = 8;  // u32 big-endian, the directory header's
constexpr size_t kKeyLength = 12;
constexpr size_t kOptions = 14;
constexpr size_t kSignature = 15;
constexpr size_t kDescription = 32;  // the engine's key description (tag headers)
constexpr size_t kEngineMagic = 440;  // "QCDX" (directory header)
constexpr size_t kEngineMark = 444;
constexpr size_t kEngineCounter = 448;
constexpr size_t kDescending = 502;
constexpr size_t kForPosition = 504;
constexpr size_t kForLength = 506;
constexpr size_t kKeyPosition = 508;
constexpr size_t kKeyExprLength = 510;
constexpr size_t kPool = 512;

constexpr uint8_t kOptionUnique = 0x01;
constexpr uint8_t kOptionFor = 0x08;
constexpr uint8_t kOptionCompact = 0x20;
constexpr uint8_t kOptionCompound = 0x40;
constexpr uint8_t kOptionStructural = 0x80;

constexpr uint16_t kAttrRoot = 1;
constexpr uint16_t kAttrLeaf = 2;

unsigned BitsFor(uint64_t v) {
  unsigned b = 0;
  while (b < 64 && (v >> b) != 0) ++b;
  return b;
}

uint8_t PadOf(const TagInfo& t) {
  const auto& segs = t.layout.segments();
  // Collated keys are sort keys padded with zero bytes.
  return (!segs.empty() && segs[0].kind == SegmentKind::kString && t.layout.collation().IsByteOrder()) ? ' ' : 0;
}

bool ValidOffset(uint64_t off, uint64_t end) { return off >= kHeaderSize && off % kCdxPageSize == 0 && off + kCdxPageSize <= end; }

void EncodeNode(bool leaf, bool root, uint32_t left, uint32_t right, const std::vector<uint8_t>& entries,
                const std::vector<uint32_t>& child, size_t keyLength, uint8_t pad, uint8_t* out) {
  std::memset(out, 0, kCdxPageSize);
  const size_t E = keyLength + 4;
  size_t n = entries.size() / E;
  StoreLE<uint16_t>(out, static_cast<uint16_t>((leaf ? kAttrLeaf : 0) | (root ? kAttrRoot : 0)));
  StoreLE<uint16_t>(out + 2, static_cast<uint16_t>(n));
  StoreLE<uint32_t>(out + 4, left);
  StoreLE<uint32_t>(out + 8, right);
  if (leaf) {
    cdx_leaf::Encode(entries, keyLength, pad, out);
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    uint8_t* p = out + kNodeHeader + i * (keyLength + 8);
    std::memcpy(p, entries.data() + i * E, E);
    StoreBE32(p + E, child[i]);
  }
}

// Builds a compact B+ tree bottom-up from entries in ascending order, appending its nodes.
class TreeBuilder {
 public:
  TreeBuilder(SequentialPageWriter& out, size_t keyLength, uint8_t pad)
      : out_(out), keyLength_(keyLength), pad_(pad), capacity_((kCdxPageSize - kNodeHeader) / (keyLength + 8)) {}

  // The leaf's size grows by each entry's compressed bytes (its bytes past those shared with
  // the previous key and before its trailing pad) and the entry width its record number needs.
  void Add(const uint8_t* e) {
    Level& leaf = Get(0);
    const size_t E = keyLength_ + 4;
    size_t fresh = FreshBytes(leaf.entries.empty() ? nullptr : leaf.entries.data() + leaf.entries.size() - E, e);
    uint32_t maxRecord = std::max(leafMaxRecord_, LoadBE32(e + keyLength_));
    size_t n = leaf.entries.size() / E + 1;
    if (kLeafHeader + n * cdx_leaf::EntryBytes(keyLength_, maxRecord) + leafKeyBytes_ + fresh > kCdxPageSize) {
      Emit(0);
      fresh = FreshBytes(nullptr, e);
      maxRecord = LoadBE32(e + keyLength_);
    }
    Get(0).entries.insert(Get(0).entries.end(), e, e + E);
    leafKeyBytes_ += fresh;
    leafMaxRecord_ = maxRecord;
  }

  // Writes what is pending and answers the root's offset.
  uint32_t Finish() {
    if (levels_.empty()) Get(0);
    for (size_t i = 0; i < levels_.size(); ++i) {
      Level& l = levels_[i];
      bool top = i + 1 == levels_.size();
      if (top && l.emitted == 0) {
        if (i > 0 && l.child.size() == 1) {
          root_ = l.child[0];
          break;
        }
        root_ = Emit(i);
        break;
      }
      if (!l.entries.empty() || (i == 0 && l.emitted == 0)) Emit(i);
    }
    out_.Patch(root_, [&](uint8_t* node) { StoreLE<uint16_t>(node, LoadLE<uint16_t>(node) | kAttrRoot); });
    for (Level& l : levels_) {
      if (l.last != kNone) out_.Patch(l.last + 8, [](uint8_t* p) { StoreLE<uint32_t>(p, kNone); });
    }
    return root_;
  }

 private:
  struct Level {
    std::vector<uint8_t> entries;
    std::vector<uint32_t> child;
    uint32_t last = kNone;  // the node written last on this level
    uint64_t emitted = 0;
  };
  Level& Get(size_t i) {
    while (levels_.size() <= i) levels_.emplace_back();
    return levels_[i];
  }
  uint32_t Emit(size_t i) {
    std::vector<uint8_t> node(kCdxPageSize);
    Level& l = Get(i);
    EncodeNode(i == 0, false, l.last, kNone, l.entries, l.child, keyLength_, pad_, node.data());
    uint64_t at = out_.Append(node.data(), node.size());
    if (at > 0xFFFFFFFFull - kCdxPageSize) Fail(err::kIndexIoError, "The CDX index grows beyond 4 GB");
    uint32_t off = static_cast<uint32_t>(at);
    if (l.last != kNone) out_.Patch(l.last + 8, [off](uint8_t* p) { StoreLE<uint32_t>(p, off); });
    l.last = off;
    ++l.emitted;
    if (i == 0) {
      leafKeyBytes_ = 0;
      leafMaxRecord_ = 0;
    }
    const size_t E = keyLength_ + 4;
    std::vector<uint8_t> max(l.entries.end() - static_cast<std::ptrdiff_t>(l.entries.empty() ? 0 : E), l.entries.end());
    l.entries.clear();
    l.child.clear();
    if (max.empty()) return off;  // the empty root leaf of an empty tag
    Level& up = Get(i + 1);
    if (up.child.size() == capacity_) Emit(i + 1);
    Level& up2 = Get(i + 1);
    up2.entries.insert(up2.entries.end(), max.begin(), max.end());
    up2.child.push_back(off);
    return off;
  }

  size_t FreshBytes(const uint8_t* previous, const uint8_t* e) const {
    size_t trail = 0;
    while (trail < keyLength_ && e[keyLength_ - 1 - trail] == pad_) ++trail;
    size_t dup = 0;
    if (previous) {
      while (dup < keyLength_ - trail && previous[dup] == e[dup]) ++dup;
    }
    return keyLength_ - dup - trail;
  }

  SequentialPageWriter& out_;
  size_t keyLength_;
  uint8_t pad_;
  size_t capacity_;
  std::vector<Level> levels_;
  uint32_t root_ = 0;
  size_t leafKeyBytes_ = 0;
  uint32_t leafMaxRecord_ = 0;
};

}  // namespace

namespace cdx_leaf {

namespace {
struct Widths {
  unsigned rb, db, tb, bytes;
};
Widths WidthsFor(size_t keyLength, uint32_t maxRecord) {
  unsigned b = BitsFor(keyLength);
  unsigned rec = std::max(1u, BitsFor(maxRecord));
  unsigned bytes = std::max(3u, (2 * b + rec + 7) / 8);
  return {8 * bytes - 2 * b, b, b, bytes};
}
}  // namespace

size_t EntryBytes(size_t keyLength, uint32_t maxRecord) { return WidthsFor(keyLength, maxRecord).bytes; }

size_t EncodedSize(const std::vector<uint8_t>& entries, size_t keyLength, uint8_t pad) {
  const size_t E = keyLength + 4;
  size_t n = entries.size() / E;
  uint32_t maxRecord = 0;
  size_t keyBytes = 0;
  for (size_t k = 0; k < n; ++k) {
    const uint8_t* e = entries.data() + k * E;
    maxRecord = std::max(maxRecord, LoadBE32(e + keyLength));
    size_t trail = 0;
    while (trail < keyLength && e[keyLength - 1 - trail] == pad) ++trail;
    size_t dup = 0;
    if (k > 0) {
      const uint8_t* p = e - E;
      while (dup < keyLength - trail && p[dup] == e[dup]) ++dup;
    }
    keyBytes += keyLength - dup - trail;
  }
  return kLeafHeader + n * WidthsFor(keyLength, maxRecord).bytes + keyBytes;
}

void Encode(const std::vector<uint8_t>& entries, size_t keyLength, uint8_t pad, uint8_t* node) {
  const size_t E = keyLength + 4;
  size_t n = entries.size() / E;
  uint32_t maxRecord = 0;
  for (size_t k = 0; k < n; ++k) maxRecord = std::max(maxRecord, LoadBE32(entries.data() + k * E + keyLength));
  Widths w = WidthsFor(keyLength, maxRecord);
  size_t pos = kCdxPageSize;
  for (size_t k = 0; k < n; ++k) {
    const uint8_t* e = entries.data() + k * E;
    size_t trail = 0;
    while (trail < keyLength && e[keyLength - 1 - trail] == pad) ++trail;
    size_t dup = 0;
    if (k > 0) {
      const uint8_t* p = e - E;
      while (dup < keyLength - trail && p[dup] == e[dup]) ++dup;
    }
    size_t fresh = keyLength - dup - trail;
    pos -= fresh;
    std::memcpy(node + pos, e + dup, fresh);
    uint64_t v = uint64_t{LoadBE32(e + keyLength)} | (uint64_t{dup} << w.rb) | (uint64_t{trail} << (w.rb + w.db));
    for (unsigned b = 0; b < w.bytes; ++b) node[kLeafHeader + k * w.bytes + b] = static_cast<uint8_t>(v >> (8 * b));
  }
  StoreLE<uint16_t>(node + 12, static_cast<uint16_t>(pos - kLeafHeader - n * w.bytes));
  StoreLE<uint32_t>(node + 14, w.rb >= 32 ? 0xFFFFFFFFu : (1u << w.rb) - 1);
  node[18] = static_cast<uint8_t>((1u << w.db) - 1);
  node[19] = static_cast<uint8_t>((1u << w.tb) - 1);
  node[20] = static_cast<uint8_t>(w.rb);
  node[21] = static_cast<uint8_t>(w.db);
  node[22] = static_cast<uint8_t>(w.tb);
  node[23] = static_cast<uint8_t>(w.bytes);
}

bool Decode(const uint8_t* node, size_t keyLength, uint8_t pad, std::vector<uint8_t>& entries) {
  const size_t E = keyLength + 4;
  size_t n = LoadLE<uint16_t>(node + 2);
  unsigned rb = node[20], db = node[21], tb = node[22], bytes = node[23];
  if (bytes == 0 || bytes > 8 || rb + db + tb != 8 * bytes || rb > 32 || db > 16 || tb > 16) return false;
  if (kLeafHeader + n * bytes > kCdxPageSize) return false;
  uint64_t recMask = LoadLE<uint32_t>(node + 14);
  uint64_t dupMask = node[18], trailMask = node[19];
  entries.resize(n * E);
  size_t pos = kCdxPageSize;
  const size_t floor = kLeafHeader + n * bytes;
  for (size_t k = 0; k < n; ++k) {
    uint64_t v = 0;
    for (unsigned b = 0; b < bytes; ++b) v |= uint64_t{node[kLeafHeader + k * bytes + b]} << (8 * b);
    uint32_t record = static_cast<uint32_t>(v & recMask);
    size_t dup = static_cast<size_t>((v >> rb) & dupMask);
    size_t trail = static_cast<size_t>((v >> (rb + db)) & trailMask);
    if (dup + trail > keyLength || (k == 0 && dup != 0)) return false;
    size_t fresh = keyLength - dup - trail;
    if (pos < floor + fresh) return false;
    pos -= fresh;
    uint8_t* e = entries.data() + k * E;
    if (dup) std::memcpy(e, e - E, dup);
    std::memcpy(e + dup, node + pos, fresh);
    std::memset(e + dup + fresh, pad, trail);
    StoreBE32(e + keyLength, record);
  }
  return true;
}

}  // namespace cdx_leaf

CdxFile::CdxFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly)
    : DbfIndexFile(std::move(file), std::move(path), readOnly) {}

CdxFile::~CdxFile() = default;

std::unique_ptr<CdxFile> CdxFile::Open(const std::filesystem::path& path, bool readOnly) {
  std::unique_ptr<CdxFile> f(new CdxFile(OpenStorage(path, readOnly), path, readOnly));
  f->LoadHeader();
  return f;
}

void CdxFile::LoadHeader() {
  std::vector<uint8_t> h(kHeaderSize);
  if (file_->Read(0, h.data(), h.size()) != h.size()) Corrupt("the file is too short for its header");
  if (LoadLE<uint16_t>(h.data() + kKeyLength) != kDirectoryKey || !(h[kOptions] & kOptionCompact)) {
    Corrupt("not a CDX compound index file");
  }
  bool engineArea = std::memcmp(h.data() + kEngineMagic, "QCDX", 4) == 0;
  if (engineArea && h[kEngineMark] != 0) NeedsRebuild();
  uint64_t size = file_->Size();
  fileEnd_ = size / kCdxPageSize * kCdxPageSize;
  uint32_t freeHead = LoadLE<uint32_t>(h.data() + kFreeList);
  if (freeHead == kNone) freeHead = 0;
  if (freeHead != 0 && !ValidOffset(freeHead, fileEnd_)) Corrupt("the free list starts outside the file");

  DropCache();
  state_.clear();
  TagState directory;
  directory.root = LoadLE<uint32_t>(h.data() + kRoot);
  directory.keyLength = kDirectoryKey;
  directory.pad = ' ';
  if (!ValidOffset(directory.root, fileEnd_)) Corrupt("the tag directory's root lies outside the file");
  state_.push_back(directory);
  // The directory's leaves, left to right: tag names and the offsets of their headers.
  std::vector<std::pair<uint32_t, std::string>> found;
  {
    uint32_t page = directory.root;
    for (int depth = 0; !Load(0, page).leaf; ++depth) {
      if (depth > 16 || Load(0, page).child.empty()) Corrupt("the tag directory is not a tree");
      page = Load(0, page).child[0];
    }
    std::unordered_map<uint32_t, bool> seen;
    while (page != kNone) {
      if (seen.count(page) || seen.size() > 100000) Corrupt("the tag directory's leaves form a cycle");
      seen[page] = true;
      Node& leaf = Load(0, page);
      if (!leaf.leaf) Corrupt("the tag directory's leaf chain reaches a branch node");
      for (size_t i = 0; i < leaf.entries.size() / (kDirectoryKey + 4); ++i) {
        const uint8_t* e = leaf.entries.data() + i * (kDirectoryKey + 4);
        std::string name(reinterpret_cast<const char*>(e), kDirectoryKey);
        name.erase(name.find_last_not_of(' ') + 1);
        found.emplace_back(LoadBE32(e + kDirectoryKey), name);
      }
      page = leaf.right == 0 ? kNone : leaf.right;
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<TagInfo> tags;
  std::vector<TagState> states;
  for (const auto& [offset, name] : found) {
    if (offset < kHeaderSize || offset % kCdxPageSize != 0 || offset + kHeaderSize > fileEnd_) {
      Corrupt("the header of tag \"" + name + "\" lies outside the file");
    }
    std::vector<uint8_t> t(kHeaderSize);
    file_->ReadExact(offset, t.data(), t.size());
    TagState st;
    st.header = offset;
    st.root = LoadLE<uint32_t>(t.data() + kRoot);
    st.keyLength = LoadLE<uint16_t>(t.data() + kKeyLength);
    if (st.keyLength == 0 || st.keyLength > 240) Corrupt("tag \"" + name + "\" has a bad key length");
    if (!ValidOffset(st.root, fileEnd_)) Corrupt("the root of tag \"" + name + "\" lies outside the file");
    size_t keyLen = LoadLE<uint16_t>(t.data() + kKeyExprLength);
    size_t keyPos = LoadLE<uint16_t>(t.data() + kKeyPosition);
    size_t forLen = LoadLE<uint16_t>(t.data() + kForLength);
    size_t forPos = LoadLE<uint16_t>(t.data() + kForPosition);
    if (keyPos == 0 && forPos == 0) forPos = keyLen;
    if (keyPos + keyLen > 512 || forPos + forLen > 512) Corrupt("tag \"" + name + "\" has a bad expression pool");
    auto text = [&](size_t pos, size_t len) {
      std::string s(reinterpret_cast<const char*>(t.data() + kPool + pos), len);
      size_t nul = s.find('\0');
      if (nul != std::string::npos) s.resize(nul);
      return s;
    };
    TagDef def;
    def.name = name;
    def.expression = text(keyPos, keyLen);
    def.condition = text(forPos, forLen);
    const bool described = DecodeKeyDescription(t.data() + kDescription, kEngineMagic - kDescription, def);
    if (!described) {
      def.keyType = kKeyTypeString;
      def.collation = "ANSI";
      def.segments = {SegmentSpec{SegmentKind::kString, static_cast<uint16_t>(st.keyLength)}};
      def.options = 0;
    }
    def.options &= ~(kTagUnique | kTagDescending);
    if (t[kOptions] & kOptionUnique) def.options |= kTagUnique;
    if (LoadLE<uint16_t>(t.data() + kDescending) != 0) def.options |= kTagDescending;
    TagInfo info;
    try {
      const Collation& c = Collation::Find(def.collation);
      info.layout = KeyLayout::Make(def.segments, c, (def.options & kTagDescending) != 0, kCdxPageSize, KeyForm::kCdx);
      info.collationVersion = c.version();
    } catch (const EngineError& e) {
      if (e.code() == err::kUnknownCollation) throw;
      Corrupt(std::string("the key description of tag \"" + name + "\" is not valid: ") + e.what());
    }
    if (info.layout.keyLength() != st.keyLength) Corrupt("the key description of tag \"" + name + "\" does not match its key length");
    info.def = std::move(def);
    info.described = described;
    info.def.collation = info.layout.collation().name();
    st.pad = PadOf(info);
    st.reversed = (info.def.options & kTagDescending) != 0;
    tags.push_back(std::move(info));
    states.push_back(st);
  }
  // The directory goes last, after the tags, so that tag i is state_[i].
  states.push_back(directory);
  DropCache();
  header_ = std::move(h);
  freeHead_ = freeHead;
  state_ = std::move(states);
  tags_ = std::move(tags);
  uint64_t counter = LoadBE32(header_.data() + kCounter);
  if (engineArea) counter |= uint64_t{LoadLE<uint32_t>(header_.data() + kEngineCounter)} << 32;
  changeCounter_ = counter;
  ++catalogLoads_;
  headerDirty_ = false;
}

void CdxFile::PeekHeader(uint64_t* counter, bool* marked) {
  uint8_t h[kHeaderSize];
  if (file_->Read(0, h, sizeof h) != sizeof h) Corrupt("the file is too short for its header");
  *counter = LoadBE32(h + kCounter);
  *marked = false;
  if (std::memcmp(h + kEngineMagic, "QCDX", 4) == 0) {
    *counter |= uint64_t{LoadLE<uint32_t>(h + kEngineCounter)} << 32;
    *marked = h[kEngineMark] != 0;
  }
}

void CdxFile::WriteHeader(bool inProgress) {
  StoreLE<uint32_t>(header_.data() + kFreeList, freeHead_ == 0 ? kNone : freeHead_);
  StoreBE32(header_.data() + kCounter, static_cast<uint32_t>(changeCounter_));
  std::memcpy(header_.data() + kEngineMagic, "QCDX", 4);
  header_[kEngineMark] = inProgress ? 1 : 0;
  StoreLE<uint32_t>(header_.data() + kEngineCounter, static_cast<uint32_t>(changeCounter_ >> 32));
  file_->Write(0, header_.data(), header_.size());
  markOnDisk_ = inProgress;
  unsynced_ = true;
  headerDirty_ = false;
}

bool CdxFile::Dirty() const { return anyDirty_ || headerDirty_ || !freed_.empty() || !dirtyHeaders_.empty(); }

void CdxFile::DropCache() {
  anyDirty_ = false;
  nodes_.clear();
  freed_.clear();
  counts_.clear();
  dirtyHeaders_.clear();
}

void CdxFile::Trim() {
  if (nodes_.size() >= 16384 && !anyDirty_) nodes_.clear();
}

CdxFile::Node& CdxFile::Load(size_t tag, uint32_t page) {
  auto it = nodes_.find(page);
  if (it != nodes_.end()) return *it->second;
  if (!ValidOffset(page, fileEnd_)) Corrupt("node " + std::to_string(page) + " lies outside the file");
  uint8_t buf[kCdxPageSize];
  if (file_->Read(page, buf, sizeof buf) != sizeof buf) Corrupt("node " + std::to_string(page) + " is cut short");
  const TagState& st = state_[tag];
  auto node = std::make_unique<Node>();
  node->tag = tag;
  uint16_t attr = LoadLE<uint16_t>(buf);
  if (attr > 3) Corrupt("node " + std::to_string(page) + " has an unknown node type");
  node->leaf = (attr & kAttrLeaf) != 0;
  node->left = LoadLE<uint32_t>(buf + 4);
  node->right = LoadLE<uint32_t>(buf + 8);
  if (node->left == 0) node->left = kNone;
  if (node->right == 0) node->right = kNone;
  size_t n = LoadLE<uint16_t>(buf + 2);
  if (node->leaf) {
    if (!cdx_leaf::Decode(buf, st.keyLength, st.pad, node->entries)) {
      Corrupt("leaf node " + std::to_string(page) + " has inconsistent compression fields");
    }
  } else {
    if (n > (kCdxPageSize - kNodeHeader) / (st.keyLength + 8)) Corrupt("node " + std::to_string(page) + " holds too many keys");
    const size_t E = st.keyLength + 4;
    node->entries.resize(n * E);
    node->child.resize(n);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* p = buf + kNodeHeader + i * (st.keyLength + 8);
      std::memcpy(node->entries.data() + i * E, p, E);
      node->child[i] = LoadBE32(p + E);
      if (!ValidOffset(node->child[i], fileEnd_)) Corrupt("node " + std::to_string(page) + " points outside the file");
    }
  }
  Node& ref = *node;
  nodes_.emplace(page, std::move(node));
  return ref;
}

CdxFile::Node& CdxFile::Touch(size_t tag, uint32_t page) {
  Prepare();  // the mark is on the disk before the first change
  Node& n = Load(tag, page);
  n.dirty = true;
  anyDirty_ = true;
  return n;
}

uint32_t CdxFile::Allocate(size_t tag, bool leaf) {
  Prepare();
  uint32_t page;
  if (freeHead_ != 0) {
    page = freeHead_;
    auto pending = freed_.find(page);
    if (pending != freed_.end()) {
      freeHead_ = pending->second;
      freed_.erase(pending);
    } else {
      uint8_t link[4];
      file_->ReadExact(page, link, 4);
      uint32_t next = LoadLE<uint32_t>(link);
      if (next == kNone) next = 0;
      if (next != 0 && !ValidOffset(next, fileEnd_)) Corrupt("the free list points outside the file");
      freeHead_ = next;
    }
  } else {
    if (fileEnd_ + kCdxPageSize > 0xFFFFFFFFull) Fail(err::kIndexIoError, "Index file \"" + path_.string() + "\" is full");
    page = static_cast<uint32_t>(fileEnd_);
    fileEnd_ += kCdxPageSize;
  }
  auto node = std::make_unique<Node>();
  node->tag = tag;
  node->leaf = leaf;
  node->dirty = true;
  anyDirty_ = true;
  nodes_[page] = std::move(node);
  counts_.erase(page);
  headerDirty_ = true;
  return page;
}

void CdxFile::Free(uint32_t page) {
  nodes_.erase(page);
  counts_.erase(page);
  freed_[page] = freeHead_;
  freeHead_ = page;
  headerDirty_ = true;
}

void CdxFile::WriteDirtyPages() {
  uint8_t buf[kCdxPageSize];
  for (auto& [page, node] : nodes_) {
    if (!node->dirty) continue;
    size_t tag = node->tag;
    const TagState& st = state_[tag];
    EncodeNode(node->leaf, page == st.root, node->left, node->right, node->entries, node->child, st.keyLength, st.pad, buf);
    file_->Write(page, buf, sizeof buf);
    node->dirty = false;
  }
  for (const auto& [page, next] : freed_) {
    std::memset(buf, 0, sizeof buf);
    StoreLE<uint32_t>(buf, next == 0 ? kNone : next);
    file_->Write(page, buf, sizeof buf);
  }
  freed_.clear();
  for (uint32_t tag : dirtyHeaders_) {
    uint8_t root[4];
    StoreLE<uint32_t>(root, state_[tag].root);
    file_->Write(state_[tag].header + kRoot, root, 4);
  }
  dirtyHeaders_.clear();
  anyDirty_ = false;
}

uint64_t CdxFile::Count(size_t tag, uint32_t page) {
  auto it = counts_.find(page);
  if (it != counts_.end()) return it->second;
  Node& node = Load(tag, page);
  uint64_t total;
  if (node.leaf) {
    total = node.entries.size() / (state_[tag].keyLength + 4);
  } else {
    total = 0;
    std::vector<uint32_t> children = node.child;
    for (uint32_t c : children) total += Count(tag, c);
  }
  counts_[page] = total;
  return total;
}

void CdxFile::Recount(size_t tag, uint32_t page) {
  Node& node = Load(tag, page);
  if (node.leaf) {
    counts_[page] = node.entries.size() / (state_[tag].keyLength + 4);
    return;
  }
  uint64_t total = 0;
  for (uint32_t c : node.child) {
    auto it = counts_.find(c);
    if (it == counts_.end()) {
      counts_.erase(page);
      return;
    }
    total += it->second;
  }
  counts_[page] = total;
}

std::vector<uint8_t> CdxFile::Physical(size_t tag, std::span<const uint8_t> key) const {
  std::vector<uint8_t> out(key.begin(), key.end());
  if (state_[tag].reversed) {
    // Only the key bytes are inverted; a record number that follows stays as it is.
    size_t n = std::min(out.size(), state_[tag].keyLength);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(~out[i]);
  }
  return out;
}

uint64_t CdxFile::PhysicalBound(size_t tag, const uint8_t* probe, size_t len, bool upper) {
  const size_t E = state_[tag].keyLength + 4;
  uint64_t rank = 0;
  uint32_t page = state_[tag].root;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("a tree is deeper than a tree can be (a cycle)");
    Node& node = Load(tag, page);
    size_t n = node.entries.size() / E;
    size_t lo = EntryBound(node.entries.data(), n, E, probe, len, upper);
    if (node.leaf) return rank + lo;
    if (lo == n) return rank + Count(tag, page);
    std::vector<uint32_t> left(node.child.begin(), node.child.begin() + static_cast<std::ptrdiff_t>(lo) + 1);
    for (size_t i = 0; i < lo; ++i) rank += Count(tag, left[i]);
    page = left[lo];
  }
}

uint32_t CdxFile::PhysicalAt(size_t tag, uint64_t rank, uint8_t* entry) {
  const size_t E = state_[tag].keyLength + 4;
  uint32_t page = state_[tag].root;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("a tree is deeper than a tree can be (a cycle)");
    Node& node = Load(tag, page);
    if (node.leaf) {
      if (rank >= node.entries.size() / E) Fail(err::kInvalidArgument, "Key position beyond the last key of the order");
      std::memcpy(entry, node.entries.data() + rank * E, E);
      return LoadBE32(entry + E - 4);
    }
    std::vector<uint32_t> children = node.child;
    uint32_t next = kNone;
    for (uint32_t c : children) {
      uint64_t k = Count(tag, c);
      if (rank < k) {
        next = c;
        break;
      }
      rank -= k;
    }
    if (next == kNone) Fail(err::kInvalidArgument, "Key position beyond the last key of the order");
    page = next;
  }
}

uint64_t CdxFile::KeyCount(size_t tag) {
  CheckKey(tag, {});
  Trim();
  return Count(tag, state_[tag].root);
}

// A reversed (descending) tag reads the physical order backwards: the engine's keys that
// begin with >= P are the stored keys that begin with <= ~P, the first of them in the engine's
// order the last of them in the file.
uint64_t CdxFile::LowerBound(size_t tag, std::span<const uint8_t> prefix) {
  CheckKey(tag, prefix);
  Trim();
  std::vector<uint8_t> p = Physical(tag, prefix);
  if (!state_[tag].reversed) return PhysicalBound(tag, p.data(), p.size(), false);
  return Count(tag, state_[tag].root) - PhysicalBound(tag, p.data(), p.size(), true);
}

uint64_t CdxFile::UpperBound(size_t tag, std::span<const uint8_t> prefix) {
  CheckKey(tag, prefix);
  Trim();
  std::vector<uint8_t> p = Physical(tag, prefix);
  if (!state_[tag].reversed) return PhysicalBound(tag, p.data(), p.size(), true);
  return Count(tag, state_[tag].root) - PhysicalBound(tag, p.data(), p.size(), false);
}

uint32_t CdxFile::EntryAt(size_t tag, uint64_t rank, uint8_t* key) {
  CheckKey(tag, {});
  Trim();
  const size_t K = state_[tag].keyLength;
  std::vector<uint8_t> e(K + 4);
  if (state_[tag].reversed) {
    uint64_t n = Count(tag, state_[tag].root);
    if (rank >= n) Fail(err::kInvalidArgument, "Key position beyond the last key of the order");
    rank = n - 1 - rank;
  }
  uint32_t recno = PhysicalAt(tag, rank, e.data());
  std::vector<uint8_t> k = Physical(tag, std::span<const uint8_t>(e.data(), K));
  std::memcpy(key, k.data(), K);
  return recno;
}

uint64_t CdxFile::RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) {
  CheckKey(tag, key);
  Trim();
  std::vector<uint8_t> e = Physical(tag, key);
  e.resize(state_[tag].keyLength + 4);
  StoreBE32(e.data() + state_[tag].keyLength, recno);
  uint64_t p = PhysicalBound(tag, e.data(), e.size(), false);
  if (!state_[tag].reversed) return p;
  // The entries before it in the engine's order are those after it in the file.
  uint64_t n = Count(tag, state_[tag].root);
  bool present = false;
  if (p < n) {
    std::vector<uint8_t> at(e.size());
    PhysicalAt(tag, p, at.data());
    present = at == e;
  }
  return n - p - (present ? 1 : 0);
}

uint32_t CdxFile::FirstRecordWithKey(size_t tag, std::span<const uint8_t> key) {
  Trim();
  const size_t E = state_[tag].keyLength + 4;
  std::vector<uint8_t> k = Physical(tag, key);
  uint32_t page = state_[tag].root;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("a tree is deeper than a tree can be (a cycle)");
    Node& node = Load(tag, page);
    size_t n = node.entries.size() / E;
    size_t lo = EntryBound(node.entries.data(), n, E, k.data(), k.size(), false);
    if (lo == n) return 0;
    if (node.leaf) {
      const uint8_t* e = node.entries.data() + lo * E;
      return std::memcmp(e, k.data(), k.size()) == 0 ? LoadBE32(e + E - 4) : 0;
    }
    page = node.child[lo];
  }
}

bool CdxFile::InsertEntry(size_t tag, const uint8_t* entry) {
  Trim();
  std::vector<uint8_t> e = Physical(tag, std::span<const uint8_t>(entry, state_[tag].keyLength + 4));
  bool inserted = false;
  InsertPhysical(tag, e.data(), inserted);
  return inserted;
}

void CdxFile::InsertPhysical(size_t tag, const uint8_t* entry, bool& inserted) {
  const size_t E = state_[tag].keyLength + 4;
  std::vector<Step> path;
  uint32_t page = state_[tag].root;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("a tree is deeper than a tree can be (a cycle)");
    Node& node = Load(tag, page);
    size_t n = node.entries.size() / E;
    size_t lo = EntryBound(node.entries.data(), n, E, entry, E, false);
    if (node.leaf) {
      if (lo < n && std::memcmp(node.entries.data() + lo * E, entry, E) == 0) return;
      path.push_back({page, lo});
      break;
    }
    if (n == 0) Corrupt("branch node " + std::to_string(page) + " is empty");
    if (lo == n) lo = n - 1;  // beyond every entry: the last child, whose last entry grows
    path.push_back({page, lo});
    page = node.child[lo];
  }
  Node& leaf = Touch(tag, path.back().page);
  leaf.entries.insert(leaf.entries.begin() + static_cast<std::ptrdiff_t>(path.back().slot * E), entry, entry + E);
  for (const Step& s : path) {
    auto it = counts_.find(s.page);
    if (it != counts_.end()) ++it->second;
  }
  inserted = true;
  FixUpwards(tag, path);
}

// Walks the path from the leaf up: a node too full for its page splits in two (a new root
// above a root that splits), and every parent's entry for a changed child becomes that
// child's last entry.
void CdxFile::FixUpwards(size_t tag, std::vector<Step>& path) {
  const TagState st = state_[tag];
  const size_t E = st.keyLength + 4;
  for (size_t d = path.size(); d-- > 0;) {
    uint32_t page = path[d].page;
    Node& x = Touch(tag, page);
    size_t n = x.entries.size() / E;
    bool overflow = x.leaf ? cdx_leaf::EncodedSize(x.entries, st.keyLength, st.pad) > kCdxPageSize
                           : n > BranchCapacity(tag);
    if (overflow) {
      // The split point nearest the middle that leaves both halves fitting their nodes.
      size_t cut = n / 2;
      if (x.leaf) {
        auto fits = [&](size_t from, size_t to) {
          std::vector<uint8_t> part(x.entries.begin() + static_cast<std::ptrdiff_t>(from * E),
                                    x.entries.begin() + static_cast<std::ptrdiff_t>(to * E));
          return cdx_leaf::EncodedSize(part, st.keyLength, st.pad) <= kCdxPageSize;
        };
        size_t best = 0;
        for (size_t delta = 0; delta < n && best == 0; ++delta) {
          for (size_t c : {n / 2 + delta, n / 2 - std::min(delta, n / 2)}) {
            if (c >= 1 && c < n && fits(0, c) && fits(c, n)) {
              best = c;
              break;
            }
          }
        }
        if (best == 0) Corrupt("a leaf cannot be split");
        cut = best;
      }
      uint32_t right = Allocate(tag, x.leaf);
      Node& y = *nodes_.at(right);
      Node& xx = *nodes_.at(page);
      y.tag = tag;
      y.entries.assign(xx.entries.begin() + static_cast<std::ptrdiff_t>(cut * E), xx.entries.end());
      if (!xx.leaf) y.child.assign(xx.child.begin() + static_cast<std::ptrdiff_t>(cut), xx.child.end());
      xx.entries.resize(cut * E);
      if (!xx.leaf) xx.child.resize(cut);
      y.left = page;
      y.right = xx.right;
      if (xx.right != kNone) Touch(tag, xx.right).left = right;
      xx.right = right;
      Recount(tag, page);
      Recount(tag, right);
      std::vector<uint8_t> leftMax(xx.entries.end() - static_cast<std::ptrdiff_t>(E), xx.entries.end());
      std::vector<uint8_t> rightMax(y.entries.end() - static_cast<std::ptrdiff_t>(E), y.entries.end());
      if (d == 0) {
        uint32_t top = Allocate(tag, false);
        Node& r = *nodes_.at(top);
        r.tag = tag;
        r.entries = leftMax;
        r.entries.insert(r.entries.end(), rightMax.begin(), rightMax.end());
        r.child = {page, right};
        SetRoot(tag, top);
        Recount(tag, top);
        return;
      }
      Node& p = Touch(tag, path[d - 1].page);
      size_t j = path[d - 1].slot;
      std::memcpy(p.entries.data() + j * E, leftMax.data(), E);
      p.entries.insert(p.entries.begin() + static_cast<std::ptrdiff_t>((j + 1) * E), rightMax.begin(), rightMax.end());
      p.child.insert(p.child.begin() + static_cast<std::ptrdiff_t>(j + 1), right);
      continue;
    }
    if (d > 0 && n > 0) {
      Node& p = Touch(tag, path[d - 1].page);
      std::memcpy(p.entries.data() + path[d - 1].slot * E, x.entries.data() + (n - 1) * E, E);
    }
  }
}

void CdxFile::SetRoot(size_t tag, uint32_t page) {
  uint32_t old = state_[tag].root;
  state_[tag].root = page;
  // The root attribute moves with it: both nodes are written again.
  if (nodes_.count(old)) Touch(tag, old);
  Touch(tag, page);
  if (std::find(dirtyHeaders_.begin(), dirtyHeaders_.end(), tag) == dirtyHeaders_.end()) {
    dirtyHeaders_.push_back(static_cast<uint32_t>(tag));
  }
}

bool CdxFile::EraseEntry(size_t tag, const uint8_t* entry) {
  Trim();
  std::vector<uint8_t> e = Physical(tag, std::span<const uint8_t>(entry, state_[tag].keyLength + 4));
  return ErasePhysical(tag, e.data());
}

bool CdxFile::ErasePhysical(size_t tag, const uint8_t* entry) {
  const size_t E = state_[tag].keyLength + 4;
  std::vector<Step> path;
  uint32_t page = state_[tag].root;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("a tree is deeper than a tree can be (a cycle)");
    Node& node = Load(tag, page);
    size_t n = node.entries.size() / E;
    size_t lo = EntryBound(node.entries.data(), n, E, entry, E, false);
    if (lo == n) return false;
    path.push_back({page, lo});
    if (node.leaf) {
      if (std::memcmp(node.entries.data() + lo * E, entry, E) != 0) return false;
      break;
    }
    page = node.child[lo];
  }
  Node& leaf = Touch(tag, path.back().page);
  size_t at = path.back().slot;
  leaf.entries.erase(leaf.entries.begin() + static_cast<std::ptrdiff_t>(at * E),
                     leaf.entries.begin() + static_cast<std::ptrdiff_t>((at + 1) * E));
  for (const Step& s : path) {
    auto it = counts_.find(s.page);
    if (it != counts_.end()) --it->second;
  }
  // Empty nodes leave their level (and their parent's entries); every other changed node
  // gives its parent its last entry.
  for (size_t d = path.size(); d-- > 0;) {
    Node& x = Touch(tag, path[d].page);
    if (d == 0) break;
    Node& p = Touch(tag, path[d - 1].page);
    size_t j = path[d - 1].slot;
    if (x.entries.empty()) {
      if (x.left != kNone) Touch(tag, x.left).right = x.right;
      if (x.right != kNone) Touch(tag, x.right).left = x.left;
      Free(path[d].page);
      p.entries.erase(p.entries.begin() + static_cast<std::ptrdiff_t>(j * E),
                      p.entries.begin() + static_cast<std::ptrdiff_t>((j + 1) * E));
      p.child.erase(p.child.begin() + static_cast<std::ptrdiff_t>(j));
      continue;
    }
    std::memcpy(p.entries.data() + j * E, x.entries.data() + x.entries.size() - E, E);
  }
  // A root branch left with one child gives way to it; one left with none becomes an empty leaf.
  for (;;) {
    uint32_t root = state_[tag].root;
    Node& r = Touch(tag, root);
    if (r.leaf) break;
    if (r.child.empty()) {
      r.leaf = true;
      r.entries.clear();
      counts_[root] = 0;
      break;
    }
    if (r.child.size() > 1) break;
    uint32_t only = r.child[0];
    Free(root);
    Node& c = Touch(tag, only);
    c.left = c.right = kNone;
    SetRoot(tag, only);
  }
  return true;
}

uint64_t CdxFile::VerifyLevel(size_t tag, uint32_t page, int depth, int& leafDepth, std::vector<uint8_t>& last,
                              bool& haveLast, std::unordered_map<uint32_t, bool>& seen, std::vector<uint8_t>* maxOut) {
  const size_t E = state_[tag].keyLength + 4;
  if (depth > 64) Corrupt("a tree is deeper than a tree can be (a cycle)");
  if (seen.count(page)) Corrupt("node " + std::to_string(page) + " is used twice");
  seen[page] = true;
  Node node = Load(tag, page);  // a copy: the walk below loads other nodes
  size_t n = node.entries.size() / E;
  if (n == 0 && depth > 0) Corrupt("node " + std::to_string(page) + " is empty below the root");
  uint64_t total = 0;
  if (node.leaf) {
    if (leafDepth < 0) leafDepth = depth;
    if (leafDepth != depth) Corrupt("the leaves are not all at the same depth");
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* e = node.entries.data() + i * E;
      if (haveLast && std::memcmp(last.data(), e, E) >= 0) Corrupt("node " + std::to_string(page) + " is out of order");
      std::memcpy(last.data(), e, E);
      haveLast = true;
    }
    total = n;
  } else {
    for (size_t i = 0; i < n; ++i) {
      std::vector<uint8_t> childMax;
      total += VerifyLevel(tag, node.child[i], depth + 1, leafDepth, last, haveLast, seen, &childMax);
      if (std::memcmp(childMax.data(), node.entries.data() + i * E, E) != 0) {
        Corrupt("node " + std::to_string(page) + " does not hold the last key of its child");
      }
    }
  }
  if (maxOut && n > 0) maxOut->assign(node.entries.end() - static_cast<std::ptrdiff_t>(E), node.entries.end());
  return total;
}

void CdxFile::Verify() {
  CheckUsable();
  DropCache();
  for (size_t t = 0; t < tags_.size(); ++t) {
    int leafDepth = -1;
    std::vector<uint8_t> last(state_[t].keyLength + 4);
    bool haveLast = false;
    std::unordered_map<uint32_t, bool> seen;
    VerifyLevel(t, state_[t].root, 0, leafDepth, last, haveLast, seen, nullptr);
    // Every level is chained left to right, from its first node to its last.
    uint32_t first = state_[t].root;
    for (int depth = 0; depth <= leafDepth; ++depth) {
      uint32_t page = first, prev = kNone;
      size_t walked = 0;
      while (page != kNone) {
        if (++walked > seen.size()) Corrupt("a sibling chain forms a cycle");
        if (!seen.count(page)) Corrupt("a sibling chain leaves its tree");
        Node& node = Load(t, page);
        if (node.left != prev) Corrupt("node " + std::to_string(page) + " has a wrong left sibling");
        prev = page;
        page = node.right;
      }
      Node& head = Load(t, first);
      if (head.leaf) break;
      first = head.child[0];
    }
  }
  DropCache();
}

void CdxFile::Write(storage::File& out, const std::vector<TagInfo>& tags,
                    const std::function<void(size_t, const std::function<void(const uint8_t*)>&)>& feed) {
  for (const TagInfo& t : tags) {
    if (t.def.name.size() > kMaxTagName) {
      Fail(err::kInvalidTagDefinition, "The CDX tag name \"" + t.def.name + "\" is longer than 10 characters");
    }
    if (t.def.expression.size() + t.def.condition.size() + 2 > 512) {
      Fail(err::kInvalidTagDefinition, "The key expression and condition of the CDX tag \"" + t.def.name +
                                           "\" are longer than 510 characters together");
    }
  }
  SequentialPageWriter pages(out, kHeaderSize);
  std::vector<std::pair<std::string, uint32_t>> directory;
  std::vector<std::vector<uint8_t>> headers;
  std::vector<uint32_t> headerAt;
  std::vector<uint8_t> blank(kHeaderSize, 0);
  for (size_t t = 0; t < tags.size(); ++t) {
    const TagInfo& tag = tags[t];
    uint32_t at = static_cast<uint32_t>(pages.Append(blank.data(), blank.size()));
    TreeBuilder tree(pages, tag.layout.keyLength(), PadOf(tag));
    feed(t, [&](const uint8_t* e) { tree.Add(e); });
    uint32_t root = tree.Finish();
    std::vector<uint8_t> h(kHeaderSize, 0);
    StoreLE<uint32_t>(h.data() + kRoot, root);
    StoreLE<uint32_t>(h.data() + kFreeList, kNone);
    StoreLE<uint16_t>(h.data() + kKeyLength, static_cast<uint16_t>(tag.layout.keyLength()));
    h[kOptions] = kOptionCompact | kOptionCompound | ((tag.def.options & kTagUnique) ? kOptionUnique : 0) |
                  (tag.def.condition.empty() ? 0 : kOptionFor);
    h[kSignature] = 1;
    std::vector<uint8_t> d = EncodeKeyDescription(tag.def, tag.layout);
    if (d.size() > kEngineMagic - kDescription) Fail(err::kInvalidTagDefinition, "The CDX tag's key has too many segments");
    std::memcpy(h.data() + kDescription, d.data(), d.size());
    StoreLE<uint16_t>(h.data() + kDescending, (tag.def.options & kTagDescending) ? 1 : 0);
    size_t keyLen = tag.def.expression.size() + 1, forLen = tag.def.condition.size() + 1;
    StoreLE<uint16_t>(h.data() + kKeyPosition, 0);
    StoreLE<uint16_t>(h.data() + kKeyExprLength, static_cast<uint16_t>(keyLen));
    StoreLE<uint16_t>(h.data() + kForPosition, static_cast<uint16_t>(keyLen));
    StoreLE<uint16_t>(h.data() + kForLength, static_cast<uint16_t>(forLen));
    std::memcpy(h.data() + kPool, tag.def.expression.data(), tag.def.expression.size());
    std::memcpy(h.data() + kPool + keyLen, tag.def.condition.data(), tag.def.condition.size());
    headers.push_back(std::move(h));
    headerAt.push_back(at);
    std::string name = AsciiUpperCopy(tag.def.name);
    name.resize(kDirectoryKey, ' ');
    directory.emplace_back(name, at);
  }
  std::sort(directory.begin(), directory.end());
  TreeBuilder dirTree(pages, kDirectoryKey, ' ');
  for (const auto& [name, at] : directory) {
    uint8_t e[kDirectoryKey + 4];
    std::memcpy(e, name.data(), kDirectoryKey);
    StoreBE32(e + kDirectoryKey, at);
    dirTree.Add(e);
  }
  uint32_t dirRoot = dirTree.Finish();
  pages.Finish();
  for (size_t t = 0; t < headers.size(); ++t) out.Write(headerAt[t], headers[t].data(), headers[t].size());
  std::vector<uint8_t> h(kHeaderSize, 0);
  StoreLE<uint32_t>(h.data() + kRoot, dirRoot);
  StoreLE<uint32_t>(h.data() + kFreeList, kNone);
  StoreBE32(h.data() + kCounter, 1);
  StoreLE<uint16_t>(h.data() + kKeyLength, kDirectoryKey);
  h[kOptions] = kOptionCompact | kOptionCompound | kOptionStructural;
  h[kSignature] = 1;
  StoreLE<uint16_t>(h.data() + kKeyExprLength, 1);
  StoreLE<uint16_t>(h.data() + kForPosition, 1);
  StoreLE<uint16_t>(h.data() + kForLength, 1);
  std::memcpy(h.data() + kEngineMagic, "QCDX", 4);
  out.Write(0, h.data(), h.size());
}

}  // namespace engine::index
