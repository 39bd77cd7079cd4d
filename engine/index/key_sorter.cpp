// Sorting entries for rebuilds; see key_sorter.h.
#include "engine/index/key_sorter.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/core/error.h"

namespace engine::index {
namespace {

inline uint64_t Prefix(const uint8_t* p, size_t len) {
  uint64_t v = 0;
  size_t n = len < 8 ? len : 8;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v << (8 * (8 - n));
}

}  // namespace

KeySorter::KeySorter(size_t entryLength, std::filesystem::path workFolder)
    : entryLength_(entryLength), workFolder_(std::move(workFolder)) {}

KeySorter::~KeySorter() = default;

void KeySorter::NewChunk() {
  chunks_.emplace_back(kChunkBytes);
  chunkUsed_ = 0;
}

void KeySorter::Sort() {
  if (sorted_) return;
  itemMemory_ = HugeBuffer(static_cast<size_t>(inMemory_) * sizeof(Item));
  items_ = static_cast<Item*>(itemMemory_.data());
  itemCount_ = 0;
  size_t perChunk = kChunkBytes / entryLength_;
  uint64_t left = inMemory_;
  for (auto& c : chunks_) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(left, perChunk));
    const uint8_t* base = static_cast<const uint8_t*>(c.data());
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* e = base + i * entryLength_;
      items_[itemCount_++] = Item{Prefix(e, entryLength_), e};
    }
    left -= n;
  }
  RadixSortByPrefix();
  // Equal prefixes are rare for real keys; order them by the rest of the entry.
  const size_t rest = entryLength_ > 8 ? entryLength_ - 8 : 0;
  if (rest > 0) {
    for (size_t i = 0; i < itemCount_;) {
      size_t j = i + 1;
      while (j < itemCount_ && items_[j].prefix == items_[i].prefix) ++j;
      if (j - i > 1) {
        std::sort(items_ + i, items_ + j,
                  [rest](const Item& a, const Item& b) { return std::memcmp(a.entry + 8, b.entry + 8, rest) < 0; });
      }
      i = j;
    }
  }
  sorted_ = true;
}

uint64_t KeySorter::DistinctKeys(size_t keyLength) {
  Sort();
  uint64_t distinct = itemCount_ > 0 ? 1 : 0;
  for (size_t i = 1; i < itemCount_; ++i) {
    if (std::memcmp(items_[i - 1].entry, items_[i].entry, keyLength) != 0) ++distinct;
  }
  return distinct;
}

// Least-significant-byte-first radix sort of the items by their prefix: one pass counts all
// eight bytes, and a byte that is the same in every item (a marker, a high byte of a small
// number) costs no pass.
void KeySorter::RadixSortByPrefix() {
  const size_t n = itemCount_;
  if (n < 64) {
    std::sort(items_, items_ + n, [](const Item& a, const Item& b) { return a.prefix < b.prefix; });
    return;
  }
  std::vector<std::array<size_t, 256>> counts(8);
  for (auto& c : counts) c.fill(0);
  for (size_t i = 0; i < n; ++i) {
    uint64_t p = items_[i].prefix;
    for (int b = 0; b < 8; ++b) ++counts[b][(p >> (8 * b)) & 0xFF];
  }
  HugeBuffer other(n * sizeof(Item));
  Item* src = items_;
  Item* dst = static_cast<Item*>(other.data());
  for (int b = 0; b < 8; ++b) {
    auto& c = counts[b];
    if (std::find(c.begin(), c.end(), n) != c.end()) continue;
    size_t sum = 0;
    for (size_t& v : c) {
      size_t k = v;
      v = sum;
      sum += k;
    }
    const int shift = 8 * b;
    for (size_t i = 0; i < n; ++i) dst[c[(src[i].prefix >> shift) & 0xFF]++] = src[i];
    std::swap(src, dst);
  }
  if (src != items_) {
    // The sorted items ended in the second buffer: keep that one.
    itemMemory_ = std::move(other);
    items_ = src;
  }
}

void KeySorter::FreeMemory() {
  chunks_.clear();
  chunkUsed_ = kChunkBytes;
  inMemory_ = 0;
  itemMemory_ = HugeBuffer();
  items_ = nullptr;
  itemCount_ = 0;
  sorted_ = false;
}

void KeySorter::Spill() {
  if (inMemory_ == 0) return;
  Sort();
  Run run{storage::OpenWorkFile(workFolder_.string(), err::kIndexIoError), inMemory_};
  // Whole entries per write, about 1 MB each.
  const size_t perWrite = std::max<size_t>((size_t{1} << 20) / entryLength_, 1);
  std::vector<uint8_t> buf(perWrite * entryLength_);
  uint64_t offset = 0;
  size_t used = 0;
  for (size_t i = 0; i < itemCount_; ++i) {
    if (i + 16 < itemCount_) __builtin_prefetch(items_[i + 16].entry);
    std::memcpy(buf.data() + used, items_[i].entry, entryLength_);
    used += entryLength_;
    if (used == buf.size()) {
      run.file->Write(offset, buf.data(), used);
      offset += used;
      used = 0;
    }
  }
  if (used > 0) run.file->Write(offset, buf.data(), used);
  spilled_ += inMemory_;
  runs_.push_back(std::move(run));
  FreeMemory();
}

void KeySorter::Drain(const std::function<void(const uint8_t*)>& out, size_t readBuffer) {
  if (runs_.empty()) {
    Sort();
    for (size_t i = 0; i < itemCount_; ++i) {
      if (i + 16 < itemCount_) __builtin_prefetch(items_[i + 16].entry);
      out(items_[i].entry);
    }
    FreeMemory();
    return;
  }
  Spill();
  // k-way merge: each run is read through its own buffer, and a tournament tree of losers picks
  // the smallest head. Taking an entry replays one leaf-to-root path, log2(k) comparisons, each
  // on the heads' 8-byte prefixes first and on the whole entries only where those tie.
  struct Reader {
    Run* run;
    std::vector<uint8_t> buf;
    size_t pos = 0, len = 0;
    uint64_t offset = 0, left = 0;
    uint64_t prefix = 0;  // of the head entry
    bool done = false;
  };
  const size_t len = entryLength_;
  size_t per = std::max<size_t>(readBuffer / len, 16) * len;
  std::vector<Reader> readers(runs_.size());
  auto refill = [&](Reader& r) {
    uint64_t n = std::min<uint64_t>(r.left, per / len);
    r.len = static_cast<size_t>(n * len);
    r.pos = 0;
    if (r.len > 0 && r.run->file->Read(r.offset, r.buf.data(), r.len) != r.len) {
      Fail(err::kIndexIoError, "A rebuild work file was cut short");
    }
    r.offset += r.len;
    r.left -= n;
  };
  auto head = [&](Reader& r) {
    if (r.pos == r.len) refill(r);
    r.done = r.pos == r.len;
    if (!r.done) r.prefix = Prefix(r.buf.data() + r.pos, len);
  };
  for (size_t i = 0; i < runs_.size(); ++i) {
    readers[i].run = &runs_[i];
    readers[i].buf.resize(per);
    readers[i].left = runs_[i].entries;
    head(readers[i]);
  }
  // Whether the head of a comes before the head of b; a finished run comes after everything.
  auto before = [&](size_t a, size_t b) {
    const Reader& x = readers[a];
    const Reader& y = readers[b];
    if (x.done || y.done) return !x.done && y.done;
    if (x.prefix != y.prefix) return x.prefix < y.prefix;
    int c = std::memcmp(x.buf.data() + x.pos, y.buf.data() + y.pos, len);
    return c < 0 || (c == 0 && a < b);
  };
  // tree[0] is the winner, tree[1..k-1] the losers of the inner matches; leaf i sits at k + i.
  const size_t k = readers.size();
  constexpr size_t kEmpty = ~size_t{0};
  std::vector<size_t> tree(k, kEmpty);
  for (size_t i = 0; i < k; ++i) {
    size_t winner = i;
    size_t node = (i + k) / 2;
    for (; node > 0; node /= 2) {
      if (tree[node] == kEmpty) break;  // waits there for the other side of the match
      if (before(tree[node], winner)) std::swap(tree[node], winner);
    }
    if (node > 0) {
      tree[node] = winner;
    } else {
      tree[0] = winner;
    }
  }
  for (;;) {
    size_t w = tree[0];
    Reader& r = readers[w];
    if (r.done) break;
    out(r.buf.data() + r.pos);
    r.pos += len;
    head(r);
    size_t winner = w;
    for (size_t node = (w + k) / 2; node > 0; node /= 2) {
      if (before(tree[node], winner)) std::swap(tree[node], winner);
    }
    tree[0] = winner;
  }
  runs_.clear();
  spilled_ = 0;
}

}  // namespace engine::index
