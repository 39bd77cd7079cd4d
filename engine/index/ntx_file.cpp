// NTX index files; see ntx_file.h and docs/formats.md.
#include "engine/index/ntx_file.h"

#include <algorithm>
#include <cstring>

#include "engine/core/ascii_case.h"
#include "engine/core/byte_order.h"
#include "engine/core/error.h"
#include "engine/index/collation.h"

namespace engine::index {
namespace {

// Header fields.
constexpr size_t kSignature = 0;
constexpr size_t kVersion = 2;
constexpr size_t kRoot = 4;
constexpr size_t kFree = 8;
constexpr size_t kItemSize = 12;
constexpr size_t kKeySize = 14;
constexpr size_t kKeyDecimals = 16;
constexpr size_t kMaxItems = 18;
constexpr size_t kHalfPage = 20;
constexpr size_t kExpression = 22;  // 256 bytes, NUL-terminated
constexpr size_t kUnique = 278;
constexpr size_t kDescending = 280;
constexpr size_t kCondition = 282;  // 256 bytes, NUL-terminated
constexpr size_t kName = 538;       // 12 bytes
constexpr size_t kCustom = 550;
// The engine's own fields, in bytes the format leaves unused.
constexpr size_t kEngineMagic = 580;  // "QNTX"
constexpr size_t kEngineMark = 584;   // 1 while an update is in progress
constexpr size_t kEngineCounter = 588;
constexpr size_t kDescription = 600;

constexpr uint16_t kSignatureClipper5 = 0x0006;
constexpr uint16_t kSignatureHasFor = 0x0001;
constexpr size_t kTextLimit = 255;

std::string CText(const uint8_t* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

bool HasEngineArea(const uint8_t* h) { return std::memcmp(h + kEngineMagic, "QNTX", 4) == 0; }

int CompareEntries(const uint8_t* a, const uint8_t* b, size_t len) { return std::memcmp(a, b, len); }

}  // namespace

uint16_t NtxFile::MaxItems(size_t keySize) {
  int m = static_cast<int>(1022 / (keySize + 10)) - 1;
  if (m > 2 && (m & 1)) --m;
  return static_cast<uint16_t>(std::max(m, 2));
}

NtxFile::NtxFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly)
    : DbfIndexFile(std::move(file), std::move(path), readOnly) {}

NtxFile::~NtxFile() = default;

std::unique_ptr<NtxFile> NtxFile::Open(const std::filesystem::path& path, bool readOnly) {
  std::unique_ptr<NtxFile> f(new NtxFile(OpenStorage(path, readOnly), path, readOnly));
  f->LoadHeader();
  return f;
}

void NtxFile::LoadHeader() {
  std::vector<uint8_t> h(kNtxPageSize);
  if (file_->Read(0, h.data(), h.size()) != h.size()) Corrupt("the file is too short for its header");
  uint16_t sig = LoadLE<uint16_t>(h.data() + kSignature);
  if (!(((sig & 6) == 6) || sig == 3) || (sig & ~0x87FFu)) Corrupt("not an NTX index file");
  if (HasEngineArea(h.data()) && h[kEngineMark] != 0) NeedsRebuild();
  uint64_t size = file_->Size();
  uint32_t root = LoadLE<uint32_t>(h.data() + kRoot);
  uint32_t freeHead = LoadLE<uint32_t>(h.data() + kFree);
  uint16_t keySize = LoadLE<uint16_t>(h.data() + kKeySize);
  uint16_t itemSize = LoadLE<uint16_t>(h.data() + kItemSize);
  uint16_t maxItems = LoadLE<uint16_t>(h.data() + kMaxItems);
  if (keySize == 0 || keySize > 256 || itemSize != keySize + 8) Corrupt("the key size is not valid");
  if (maxItems < 2 || 2u + 2u * (maxItems + 1u) + (maxItems + 1u) * itemSize > kNtxPageSize) {
    Corrupt("the page capacity is not valid");
  }
  auto validPage = [&](uint32_t off) { return off >= kNtxPageSize && off % kNtxPageSize == 0 && off + kNtxPageSize <= size; };
  if (!validPage(root)) Corrupt("the root page lies outside the file");
  if (freeHead != 0 && !validPage(freeHead)) Corrupt("the free list starts outside the file");

  TagDef def;
  def.expression = CText(h.data() + kExpression, 256);
  def.condition = CText(h.data() + kCondition, 256);
  def.name = CText(h.data() + kName, 12);
  if (def.name.empty()) def.name = AsciiUpperCopy(path_.stem().string());
  bool described = HasEngineArea(h.data()) && DecodeKeyDescription(h.data() + kDescription, kNtxPageSize - kDescription, def);
  if (!described) {
    def.keyType = kKeyTypeString;
    def.collation = "ANSI";
    def.segments = {SegmentSpec{SegmentKind::kString, keySize}};
    def.options = 0;
  }
  // The flags of the header are the file's own truth for other programs' changes too.
  def.options &= ~(kTagUnique | kTagDescending | kTagCustom);
  if (h[kUnique]) def.options |= kTagUnique;
  if (h[kDescending]) def.options |= kTagDescending;
  if (h[kCustom]) def.options |= kTagCustom;
  TagInfo info;
  try {
    const Collation& c = Collation::Find(def.collation);
    info.layout = KeyLayout::Make(def.segments, c, (def.options & kTagDescending) != 0, kNtxPageSize, KeyForm::kNtx);
    info.collationVersion = c.version();
  } catch (const EngineError& e) {
    if (e.code() == err::kUnknownCollation) throw;
    Corrupt(std::string("the key description is not valid: ") + e.what());
  }
  if (info.layout.keyLength() != keySize) Corrupt("the key description does not match the key size");
  info.def = std::move(def);
  info.described = described;
  info.def.collation = info.layout.collation().name();

  header_ = std::move(h);
  root_ = root;
  freeHead_ = freeHead;
  fileEnd_ = size / kNtxPageSize * kNtxPageSize;
  maxItems_ = maxItems;
  keyLength_ = keySize;
  entryLength_ = keySize + 4u;
  invert_ = (info.def.options & kTagDescending) ? 0xFF : 0;
  tags_.assign(1, std::move(info));
  uint64_t counter = LoadLE<uint16_t>(header_.data() + kVersion);
  if (HasEngineArea(header_.data())) counter |= uint64_t{LoadLE<uint32_t>(header_.data() + kEngineCounter)} << 16;
  changeCounter_ = counter;
  ++catalogLoads_;
  headerDirty_ = false;
  DropCache();
}

void NtxFile::PeekHeader(uint64_t* counter, bool* marked) {
  uint8_t h[kNtxPageSize];
  if (file_->Read(0, h, sizeof h) != sizeof h) Corrupt("the file is too short for its header");
  *counter = LoadLE<uint16_t>(h + kVersion);
  *marked = false;
  if (HasEngineArea(h)) {
    *counter |= uint64_t{LoadLE<uint32_t>(h + kEngineCounter)} << 16;
    *marked = h[kEngineMark] != 0;
  }
}

void NtxFile::WriteHeader(bool inProgress) {
  StoreLE<uint16_t>(header_.data() + kVersion, static_cast<uint16_t>(changeCounter_));
  StoreLE<uint32_t>(header_.data() + kRoot, root_);
  StoreLE<uint32_t>(header_.data() + kFree, freeHead_);
  if (!HasEngineArea(header_.data())) {
    std::memset(header_.data() + kEngineMagic, 0, kNtxPageSize - kEngineMagic);
    std::memcpy(header_.data() + kEngineMagic, "QNTX", 4);
    std::vector<uint8_t> d = EncodeKeyDescription(tags_[0].def, tags_[0].layout);
    if (d.size() <= kNtxPageSize - kDescription) std::memcpy(header_.data() + kDescription, d.data(), d.size());
  }
  header_[kEngineMark] = inProgress ? 1 : 0;
  StoreLE<uint32_t>(header_.data() + kEngineCounter, static_cast<uint32_t>(changeCounter_ >> 16));
  file_->Write(0, header_.data(), header_.size());
  markOnDisk_ = inProgress;
  unsynced_ = true;
  headerDirty_ = false;
}

bool NtxFile::Dirty() const { return anyDirty_ || headerDirty_ || !freed_.empty(); }

void NtxFile::WriteDirtyPages() {
  std::vector<uint8_t> buf(kNtxPageSize);
  for (auto& [page, node] : nodes_) {
    if (!node->dirty) continue;
    Encode(*node, buf.data());
    file_->Write(page, buf.data(), buf.size());
    node->dirty = false;
  }
  for (const auto& [page, next] : freed_) {
    std::fill(buf.begin(), buf.end(), 0);
    StoreLE<uint32_t>(buf.data(), next);
    file_->Write(page, buf.data(), buf.size());
  }
  freed_.clear();
  anyDirty_ = false;
}

void NtxFile::DropCache() {
  anyDirty_ = false;
  nodes_.clear();
  freed_.clear();
  counts_.clear();
}

void NtxFile::Trim() {
  if (nodes_.size() >= 8192 && !anyDirty_) nodes_.clear();
}

void NtxFile::Decode(uint32_t page, const uint8_t* p, Node& node) const {
  size_t n = LoadLE<uint16_t>(p);
  if (n > maxItems_) Corrupt("page " + std::to_string(page) + " holds more keys than a page may");
  node.entries.resize(n * entryLength_);
  node.child.resize(n + 1);
  const size_t item = keyLength_ + 8;
  for (size_t i = 0; i <= n; ++i) {
    size_t off = LoadLE<uint16_t>(p + 2 + 2 * i);
    if (off < 2 || off + item > kNtxPageSize) Corrupt("page " + std::to_string(page) + " has an item outside the page");
    node.child[i] = LoadLE<uint32_t>(p + off);
    if (i == n) break;
    uint8_t* e = node.entries.data() + i * entryLength_;
    for (size_t k = 0; k < keyLength_; ++k) e[k] = p[off + 8 + k] ^ invert_;
    StoreBE32(e + keyLength_, LoadLE<uint32_t>(p + off + 4));
  }
  bool leaf = node.child[0] == 0;
  for (size_t i = 0; i <= n; ++i) {
    uint32_t c = node.child[i];
    if ((c == 0) != leaf) Corrupt("page " + std::to_string(page) + " mixes leaf and branch items");
    if (c != 0 && (c % kNtxPageSize != 0 || c < kNtxPageSize || c + kNtxPageSize > fileEnd_)) {
      Corrupt("page " + std::to_string(page) + " points outside the file");
    }
  }
}

void NtxFile::Encode(const Node& node, uint8_t* p) const {
  std::memset(p, 0, kNtxPageSize);
  size_t n = node.n();
  StoreLE<uint16_t>(p, static_cast<uint16_t>(n));
  const size_t item = keyLength_ + 8;
  const size_t first = 2u * (maxItems_ + 2u);
  for (size_t i = 0; i <= maxItems_; ++i) StoreLE<uint16_t>(p + 2 + 2 * i, static_cast<uint16_t>(first + i * item));
  for (size_t i = 0; i <= n; ++i) {
    uint8_t* slot = p + first + i * item;
    StoreLE<uint32_t>(slot, node.child[i]);
    if (i == n) break;
    const uint8_t* e = At(node, i);
    StoreLE<uint32_t>(slot + 4, LoadBE32(e + keyLength_));
    for (size_t k = 0; k < keyLength_; ++k) slot[8 + k] = e[k] ^ invert_;
  }
}

NtxFile::Node& NtxFile::Load(uint32_t page) {
  auto it = nodes_.find(page);
  if (it != nodes_.end()) return *it->second;
  if (page < kNtxPageSize || page % kNtxPageSize != 0 || page + kNtxPageSize > fileEnd_) {
    Corrupt("page " + std::to_string(page) + " lies outside the file");
  }
  std::vector<uint8_t> buf(kNtxPageSize);
  if (file_->Read(page, buf.data(), buf.size()) != buf.size()) Corrupt("page " + std::to_string(page) + " is cut short");
  auto node = std::make_unique<Node>();
  Decode(page, buf.data(), *node);
  Node& ref = *node;
  nodes_.emplace(page, std::move(node));
  return ref;
}

NtxFile::Node& NtxFile::Touch(uint32_t page) {
  Prepare();  // the mark is on the disk before the first change
  Node& n = Load(page);
  n.dirty = true;
  anyDirty_ = true;
  return n;
}

uint32_t NtxFile::Allocate() {
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
      if (file_->Read(page, link, 4) != 4) Corrupt("a free page is cut short");
      uint32_t next = LoadLE<uint32_t>(link);
      if (next != 0 && (next % kNtxPageSize != 0 || next < kNtxPageSize || next + kNtxPageSize > fileEnd_)) {
        Corrupt("the free list points outside the file");
      }
      freeHead_ = next;
    }
  } else {
    if (fileEnd_ + kNtxPageSize > 0xFFFFFFFFull) Fail(err::kIndexIoError, "Index file \"" + path_.string() + "\" is full");
    page = static_cast<uint32_t>(fileEnd_);
    fileEnd_ += kNtxPageSize;
  }
  auto node = std::make_unique<Node>();
  node->child.assign(1, 0);
  node->dirty = true;
  anyDirty_ = true;
  nodes_[page] = std::move(node);
  counts_.erase(page);
  headerDirty_ = true;
  return page;
}

void NtxFile::Free(uint32_t page) {
  nodes_.erase(page);
  counts_.erase(page);
  freed_[page] = freeHead_;
  freeHead_ = page;
  headerDirty_ = true;
}

uint64_t NtxFile::Count(uint32_t page) {
  auto it = counts_.find(page);
  if (it != counts_.end()) return it->second;
  // Copies the children first: loading them may rehash the node map, never move a node.
  Node& node = Load(page);
  uint64_t total = node.n();
  if (!node.leaf()) {
    std::vector<uint32_t> children = node.child;
    for (uint32_t c : children) total += Count(c);
  }
  counts_[page] = total;
  return total;
}

void NtxFile::Recount(uint32_t page) {
  Node& node = Load(page);
  uint64_t total = node.n();
  if (!node.leaf()) {
    for (uint32_t c : node.child) {
      auto it = counts_.find(c);
      if (it == counts_.end()) {
        counts_.erase(page);
        return;
      }
      total += it->second;
    }
  }
  counts_[page] = total;
}

void NtxFile::AdjustCounts(const std::vector<Step>& path, int delta) {
  for (const Step& s : path) {
    auto it = counts_.find(s.page);
    if (it != counts_.end()) it->second += static_cast<uint64_t>(static_cast<int64_t>(delta));
  }
}

uint64_t NtxFile::KeyCount(size_t tag) {
  CheckKey(tag, {});
  Trim();
  return Count(root_);
}

uint64_t NtxFile::Bound(const uint8_t* probe, size_t len, bool upper) {
  Trim();
  uint64_t rank = 0;
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
    Node& node = Load(page);
    size_t lo = EntryBound(node.entries.data(), node.n(), entryLength_, probe, len, upper);
    rank += lo;
    if (node.leaf()) return rank;
    std::vector<uint32_t> left(node.child.begin(), node.child.begin() + static_cast<std::ptrdiff_t>(lo) + 1);
    for (size_t i = 0; i < lo; ++i) rank += Count(left[i]);
    page = left[lo];
  }
}

uint64_t NtxFile::LowerBound(size_t tag, std::span<const uint8_t> prefix) {
  CheckKey(tag, prefix);
  return Bound(prefix.data(), prefix.size(), false);
}

uint64_t NtxFile::UpperBound(size_t tag, std::span<const uint8_t> prefix) {
  CheckKey(tag, prefix);
  return Bound(prefix.data(), prefix.size(), true);
}

uint64_t NtxFile::RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) {
  CheckKey(tag, key);
  std::vector<uint8_t> e = MakeEntry(tag, key, recno);
  return Bound(e.data(), e.size(), false);
}

uint32_t NtxFile::EntryAt(size_t tag, uint64_t rank, uint8_t* key) {
  CheckKey(tag, {});
  Trim();
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
    Node& node = Load(page);
    std::vector<uint32_t> children = node.child;
    bool leaf = node.leaf();
    uint32_t next = 0;
    for (size_t i = 0; i < children.size(); ++i) {
      uint64_t c = leaf ? 0 : Count(children[i]);
      if (rank < c) {
        next = children[i];
        break;
      }
      rank -= c;
      if (i + 1 < children.size()) {
        if (rank == 0) {
          const uint8_t* e = At(Load(page), i);
          std::memcpy(key, e, keyLength_);
          return LoadBE32(e + keyLength_);
        }
        --rank;
      }
    }
    if (next == 0) Fail(err::kInvalidArgument, "Key position beyond the last key of the order");
    page = next;
  }
}

uint32_t NtxFile::FirstRecordWithKey(size_t, std::span<const uint8_t> key) {
  Trim();
  uint32_t page = root_;
  const uint8_t* best = nullptr;
  std::vector<uint8_t> found(entryLength_);
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
    Node& node = Load(page);
    size_t lo = EntryBound(node.entries.data(), node.n(), entryLength_, key.data(), key.size(), false);
    if (lo < node.n()) {
      std::memcpy(found.data(), At(node, lo), entryLength_);
      best = found.data();
    }
    if (node.leaf()) break;
    page = node.child[lo];
  }
  if (best == nullptr || std::memcmp(best, key.data(), key.size()) != 0) return 0;
  return LoadBE32(best + keyLength_);
}

bool NtxFile::InsertEntry(size_t, const uint8_t* entry) {
  Trim();
  std::vector<Step> path;
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
    Node& node = Load(page);
    size_t lo = EntryBound(node.entries.data(), node.n(), entryLength_, entry, entryLength_, false);
    if (lo < node.n() && CompareEntries(At(node, lo), entry, entryLength_) == 0) return false;
    path.push_back({page, lo});
    if (node.leaf()) break;
    page = node.child[lo];
  }
  Node& leaf = Touch(path.back().page);
  size_t at = path.back().slot;
  leaf.entries.insert(leaf.entries.begin() + static_cast<std::ptrdiff_t>(at * entryLength_), entry, entry + entryLength_);
  leaf.child.push_back(0);
  AdjustCounts(path, +1);
  SplitUpwards(path);
  return true;
}

// Splits every page of the path that holds more than a page may, from the leaf up: its middle
// entry moves into the parent (a new root above the old one when the root splits).
void NtxFile::SplitUpwards(std::vector<Step>& path) {
  for (size_t d = path.size(); d-- > 0;) {
    uint32_t page = path[d].page;
    if (Load(page).n() <= maxItems_) return;
    uint32_t right = Allocate();
    Node& x = Touch(page);
    Node& y = *nodes_.at(right);
    size_t n = x.n(), mid = n / 2;
    std::vector<uint8_t> median(At(x, mid), At(x, mid) + entryLength_);
    y.entries.assign(x.entries.begin() + static_cast<std::ptrdiff_t>((mid + 1) * entryLength_), x.entries.end());
    y.child.assign(x.child.begin() + static_cast<std::ptrdiff_t>(mid + 1), x.child.end());
    x.entries.resize(mid * entryLength_);
    x.child.resize(mid + 1);
    Recount(page);
    Recount(right);
    if (d == 0) {
      uint32_t top = Allocate();
      Node& r = *nodes_.at(top);
      r.entries = median;
      r.child = {page, right};
      root_ = top;
      Recount(top);
      return;
    }
    Node& parent = Touch(path[d - 1].page);
    size_t j = path[d - 1].slot;
    parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(j * entryLength_), median.begin(), median.end());
    parent.child.insert(parent.child.begin() + static_cast<std::ptrdiff_t>(j + 1), right);
  }
}

bool NtxFile::EraseEntry(size_t, const uint8_t* entry) {
  Trim();
  std::vector<Step> path;
  uint32_t page = root_;
  size_t foundDepth = SIZE_MAX;
  for (int depth = 0;; ++depth) {
    if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
    Node& node = Load(page);
    size_t lo = EntryBound(node.entries.data(), node.n(), entryLength_, entry, entryLength_, false);
    bool here = lo < node.n() && CompareEntries(At(node, lo), entry, entryLength_) == 0;
    path.push_back({page, lo});
    if (here) {
      foundDepth = path.size() - 1;
      break;
    }
    if (node.leaf()) return false;
    page = node.child[lo];
  }
  if (!Load(path.back().page).leaf()) {
    // An entry of a branch page gives way to its predecessor, the last entry of the leaf
    // that ends its left subtree.
    page = Load(path.back().page).child[path.back().slot];
    for (int depth = 0;; ++depth) {
      if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
      Node& node = Load(page);
      if (node.leaf()) {
        path.push_back({page, node.n() - 1});
        break;
      }
      path.push_back({page, node.n()});
      page = node.child[node.n()];
    }
    Node& leaf = Touch(path.back().page);
    if (leaf.n() == 0) Corrupt("page " + std::to_string(path.back().page) + " is an empty leaf below a branch");
    Node& holder = Touch(path[foundDepth].page);
    std::memcpy(holder.entries.data() + path[foundDepth].slot * entryLength_, At(leaf, leaf.n() - 1), entryLength_);
    leaf.entries.resize((leaf.n() - 1) * entryLength_);
    leaf.child.pop_back();
  } else {
    Node& leaf = Touch(path.back().page);
    size_t at = path.back().slot;
    leaf.entries.erase(leaf.entries.begin() + static_cast<std::ptrdiff_t>(at * entryLength_),
                       leaf.entries.begin() + static_cast<std::ptrdiff_t>((at + 1) * entryLength_));
    leaf.child.pop_back();
  }
  AdjustCounts(path, -1);
  if (Load(path.back().page).n() == 0 && path.size() > 1) FixEmpty(path, path.size() - 1);
  return true;
}

// A page left without entries (one child, or none in a leaf) takes its parent's neighbouring
// entry: merged with a sibling that has room for it, else with one entry borrowed through the
// parent. A parent left empty by a merge is mended the same way, and an empty root gives way
// to its only child.
void NtxFile::FixEmpty(std::vector<Step>& path, size_t depth) {
  const size_t E = entryLength_;
  uint32_t xPage = path[depth].page;
  uint32_t pPage = path[depth - 1].page;
  size_t j = path[depth - 1].slot;
  Node& p = Touch(pPage);
  Node& x = Touch(xPage);
  uint32_t xChild = x.child[0];
  if (j > 0) {
    uint32_t sPage = p.child[j - 1];
    Node& s = Touch(sPage);
    std::vector<uint8_t> sep(p.entries.begin() + static_cast<std::ptrdiff_t>((j - 1) * E),
                             p.entries.begin() + static_cast<std::ptrdiff_t>(j * E));
    if (s.n() + 1 <= maxItems_) {
      s.entries.insert(s.entries.end(), sep.begin(), sep.end());
      s.child.push_back(xChild);
      p.entries.erase(p.entries.begin() + static_cast<std::ptrdiff_t>((j - 1) * E),
                      p.entries.begin() + static_cast<std::ptrdiff_t>(j * E));
      p.child.erase(p.child.begin() + static_cast<std::ptrdiff_t>(j));
      Free(xPage);
      Recount(sPage);
    } else {
      x.entries = sep;
      x.child = {s.child.back(), xChild};
      std::memcpy(p.entries.data() + (j - 1) * E, At(s, s.n() - 1), E);
      s.entries.resize((s.n() - 1) * E);
      s.child.pop_back();
      Recount(sPage);
      Recount(xPage);
      return;
    }
  } else {
    uint32_t sPage = p.child[1];
    Node& s = Touch(sPage);
    std::vector<uint8_t> sep(p.entries.begin(), p.entries.begin() + static_cast<std::ptrdiff_t>(E));
    if (s.n() + 1 <= maxItems_) {
      s.entries.insert(s.entries.begin(), sep.begin(), sep.end());
      s.child.insert(s.child.begin(), xChild);
      p.entries.erase(p.entries.begin(), p.entries.begin() + static_cast<std::ptrdiff_t>(E));
      p.child.erase(p.child.begin());
      Free(xPage);
      Recount(sPage);
    } else {
      x.entries = sep;
      x.child = {xChild, s.child.front()};
      std::memcpy(p.entries.data(), At(s, 0), E);
      s.entries.erase(s.entries.begin(), s.entries.begin() + static_cast<std::ptrdiff_t>(E));
      s.child.erase(s.child.begin());
      Recount(sPage);
      Recount(xPage);
      return;
    }
  }
  if (p.n() > 0) return;
  if (depth - 1 == 0) {
    root_ = p.child[0];
    Free(pPage);
    headerDirty_ = true;
    return;
  }
  FixEmpty(path, depth - 1);
}

uint64_t NtxFile::VerifyPage(uint32_t page, int depth, int& leafDepth, std::vector<uint8_t>& last, bool& haveLast,
                             std::unordered_map<uint32_t, bool>& seen) {
  if (depth > 64) Corrupt("the tree is deeper than a tree can be (a cycle)");
  if (seen.count(page)) Corrupt("page " + std::to_string(page) + " is used twice");
  seen[page] = true;
  Node node = Load(page);  // a copy: the walk below loads other pages
  if (node.n() == 0 && depth > 0) Corrupt("page " + std::to_string(page) + " is empty below the root");
  if (node.leaf()) {
    if (leafDepth < 0) leafDepth = depth;
    if (leafDepth != depth) Corrupt("the leaves are not all at the same depth");
  }
  uint64_t total = node.n();
  for (size_t i = 0; i <= node.n(); ++i) {
    if (!node.leaf()) total += VerifyPage(node.child[i], depth + 1, leafDepth, last, haveLast, seen);
    if (i == node.n()) break;
    const uint8_t* e = At(node, i);
    if (haveLast && CompareEntries(last.data(), e, entryLength_) >= 0) {
      Corrupt("page " + std::to_string(page) + " is out of order");
    }
    std::memcpy(last.data(), e, entryLength_);
    haveLast = true;
  }
  return total;
}

void NtxFile::Verify() {
  CheckUsable();
  DropCache();
  int leafDepth = -1;
  std::vector<uint8_t> last(entryLength_);
  bool haveLast = false;
  std::unordered_map<uint32_t, bool> seen;
  VerifyPage(root_, 0, leafDepth, last, haveLast, seen);
  DropCache();
}

void NtxFile::Write(storage::File& out, const TagInfo& tag, uint64_t count,
                    const std::function<void(const std::function<void(const uint8_t*)>&)>& feed) {
  const size_t keyLength = tag.layout.keyLength();
  const size_t entryLength = keyLength + 4;
  if (tag.def.expression.size() > kTextLimit || tag.def.condition.size() > kTextLimit) {
    Fail(err::kInvalidTagDefinition, "The key expression and condition of an NTX index are at most 255 characters");
  }
  const uint16_t m = MaxItems(keyLength);
  const uint8_t invert = (tag.def.options & kTagDescending) ? 0xFF : 0;

  // The height of the shallowest B-tree that holds count entries, and the capacities of
  // subtrees by height (saturated far beyond any count).
  std::vector<uint64_t> cap = {0, m};
  while (cap.back() < count) cap.push_back(std::min<uint64_t>(cap.back() * (m + 1u) + m, uint64_t{1} << 62));
  const size_t height = cap.size() - 1;
  auto minimum = [](size_t h) { return h >= 62 ? uint64_t{1} << 62 : (uint64_t{1} << h) - 1; };

  struct Frame {
    size_t height;
    std::vector<uint64_t> sizes;  // the children's entry counts (branch pages)
    size_t next = 0;              // the child being built
    uint64_t remaining = 0;       // entries still to come (leaves)
    Node node;
  };
  std::vector<Frame> stack;
  SequentialPageWriter pages(out, kNtxPageSize);
  std::vector<uint8_t> buf(kNtxPageSize);
  // A throwaway object only for Encode, with the layout this tag needs.
  NtxFile shape(nullptr, {}, true);
  shape.keyLength_ = keyLength;
  shape.entryLength_ = entryLength;
  shape.maxItems_ = m;
  shape.invert_ = invert;
  uint32_t root = 0;

  std::function<void(uint64_t, size_t)> open = [&](uint64_t size, size_t h) {
    Frame f;
    f.height = h;
    f.node.child.assign(1, 0);
    if (h == 1) {
      f.remaining = size;
      stack.push_back(std::move(f));
      return;
    }
    uint64_t c = std::max<uint64_t>(2, (size + 1 + cap[h - 1]) / (cap[h - 1] + 1));
    while (c > 2 && (size - (c - 1)) / c < minimum(h - 1)) --c;
    uint64_t rest = size - (c - 1), base = rest / c, extra = rest % c;
    if (base < minimum(h - 1) || c > m + 1u) Fail(err::kInternalError, "NTX tree shape out of bounds");
    for (uint64_t i = 0; i < c; ++i) f.sizes.push_back(base + (i < extra ? 1 : 0));
    f.node.child.clear();
    stack.push_back(std::move(f));
    open(stack.back().sizes[0], h - 1);
  };
  // Writes every finished page at the top of the stack; stops where an entry is expected.
  auto settle = [&]() {
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.height == 1 ? top.remaining > 0 : top.next < top.sizes.size()) return;
      if (top.height > 1 && top.node.child.size() != top.node.entries.size() / entryLength + 1) return;
      shape.Encode(top.node, buf.data());
      uint64_t at = pages.Append(buf.data(), buf.size());
      if (at > 0xFFFFFFFFull - kNtxPageSize) Fail(err::kIndexIoError, "The NTX index grows beyond 4 GB");
      stack.pop_back();
      if (stack.empty()) {
        root = static_cast<uint32_t>(at);
        return;
      }
      Frame& parent = stack.back();
      parent.node.child.push_back(static_cast<uint32_t>(at));
      ++parent.next;
    }
  };
  open(count, height);
  uint64_t seen = 0;
  if (count == 0) settle();
  feed([&](const uint8_t* e) {
    if (++seen > count || stack.empty()) Fail(err::kInternalError, "More NTX entries than counted");
    Frame& top = stack.back();
    if (top.height == 1) {
      top.node.entries.insert(top.node.entries.end(), e, e + entryLength);
      top.node.child.push_back(0);
      --top.remaining;
      settle();
      return;
    }
    // A branch page between two children: the entry is its separator.
    top.node.entries.insert(top.node.entries.end(), e, e + entryLength);
    open(top.sizes[top.next], top.height - 1);
  });
  if (seen != count || !stack.empty()) Fail(err::kInternalError, "Fewer NTX entries than counted");
  pages.Finish();

  std::vector<uint8_t> h(kNtxPageSize, 0);
  StoreLE<uint16_t>(h.data() + kSignature, kSignatureClipper5 | (tag.def.condition.empty() ? 0 : kSignatureHasFor));
  StoreLE<uint16_t>(h.data() + kVersion, 1);
  StoreLE<uint32_t>(h.data() + kRoot, root);
  StoreLE<uint32_t>(h.data() + kFree, 0);
  StoreLE<uint16_t>(h.data() + kItemSize, static_cast<uint16_t>(keyLength + 8));
  StoreLE<uint16_t>(h.data() + kKeySize, static_cast<uint16_t>(keyLength));
  uint16_t decimals = 0;
  for (const Segment& s : tag.layout.segments()) {
    if (s.kind == SegmentKind::kNumeric) {
      decimals = s.decimals;
      break;
    }
  }
  StoreLE<uint16_t>(h.data() + kKeyDecimals, decimals);
  StoreLE<uint16_t>(h.data() + kMaxItems, m);
  StoreLE<uint16_t>(h.data() + kHalfPage, static_cast<uint16_t>(m / 2));
  std::memcpy(h.data() + kExpression, tag.def.expression.data(), tag.def.expression.size());
  h[kUnique] = (tag.def.options & kTagUnique) ? 1 : 0;
  h[kDescending] = invert ? 1 : 0;
  std::memcpy(h.data() + kCondition, tag.def.condition.data(), tag.def.condition.size());
  std::string name = AsciiUpperCopy(tag.def.name).substr(0, 11);
  std::memcpy(h.data() + kName, name.data(), name.size());
  h[kCustom] = (tag.def.options & kTagCustom) ? 1 : 0;
  std::memcpy(h.data() + kEngineMagic, "QNTX", 4);
  std::vector<uint8_t> d = EncodeKeyDescription(tag.def, tag.layout);
  if (d.size() > kNtxPageSize - kDescription) Fail(err::kInvalidTagDefinition, "The NTX index's key has too many segments");
  std::memcpy(h.data() + kDescription, d.data(), d.size());
  out.Write(0, h.data(), h.size());
}

}  // namespace engine::index
