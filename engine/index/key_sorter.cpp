// Sorting entries for rebuilds; see key_sorter.h.
#include "engine/index/key_sorter.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/core/error.h"

namespace engine::index {
namespace {

// Below this many entries a bucket is finished by insertion rather than by another radix pass,
// whose 256 counters would cost more than the comparisons.
constexpr size_t kInsertionLimit = 24;

// Reservations of this size or more are backed by 2 MB pages: the sort's swaps jump across the
// whole reservation, and large pages spare it most TLB misses. The last page of such a
// reservation may hold up to 2 MB more than its entries; Granularity() tells budgets so.
constexpr size_t kHugePagesFrom = size_t{4} << 20;
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kSmallPage = size_t{4} << 10;

// Copies one entry to another place that it does not overlap: whole words, the last one ending
// at the entry's end, which for the short lengths of entries beats a call to memcpy.
inline void CopyEntry(uint8_t* to, const uint8_t* from, size_t len) {
  if (len < 8) {
    std::memcpy(to, from, len);
    return;
  }
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    std::memcpy(&w, from + i, 8);
    std::memcpy(to + i, &w, 8);
  }
  if (i < len) {
    uint64_t w;
    std::memcpy(&w, from + len - 8, 8);
    std::memcpy(to + len - 8, &w, 8);
  }
}

// Orders n entries whose first `depth` bytes are equal, by insertion.
void InsertionSort(uint8_t* base, size_t n, size_t len, size_t depth, uint8_t* tmp) {
  const size_t rest = len - depth;
  for (size_t i = 1; i < n; ++i) {
    uint8_t* e = base + i * len;
    if (std::memcmp(e - len + depth, e + depth, rest) <= 0) continue;
    CopyEntry(tmp, e, len);
    size_t j = i;
    do {
      CopyEntry(base + j * len, base + (j - 1) * len, len);
      --j;
    } while (j > 0 && std::memcmp(base + (j - 1) * len + depth, tmp + depth, rest) > 0);
    CopyEntry(base + j * len, tmp, len);
  }
}

}  // namespace

// American flag sort: for the byte at `depth`, count the entries of each value, then swap every
// entry into its value's bucket, and go on with each bucket and the next byte. A byte that is the
// same in every entry of a bucket costs only its counting. Buckets wait on an explicit list
// rather than the stack, which keys of hundreds of bytes would deepen.
void SortEntries(uint8_t* base, size_t n, size_t len) {
  struct Bucket {
    uint8_t* base;
    size_t n;
    size_t depth;
  };
  std::vector<uint8_t> tmp(len);
  std::vector<uint8_t> carry(2 * len);
  std::vector<Bucket> todo{{base, n, 0}};
  while (!todo.empty()) {
    Bucket b = todo.back();
    todo.pop_back();
    while (b.n > kInsertionLimit && b.depth < len) {
      std::array<size_t, 256> count{};
      const uint8_t* p = b.base + b.depth;
      for (size_t i = 0; i < b.n; ++i, p += len) ++count[*p];
      if (count[b.base[b.depth]] == b.n) {
        ++b.depth;
        continue;
      }
      std::array<size_t, 256> next, end;
      size_t sum = 0;
      for (size_t v = 0; v < 256; ++v) {
        next[v] = sum;
        sum += count[v];
        end[v] = sum;
      }
      // Every entry out of place starts a cycle: it goes to the next free place of its bucket,
      // the entry found there to the next free place of its own, until one belongs where the
      // cycle started. Each entry is copied twice, once out and once into place.
      for (size_t v = 0; v < 256; ++v) {
        while (next[v] < end[v]) {
          uint8_t* start = b.base + next[v] * len;
          uint8_t w = start[b.depth];
          if (w == v) {
            ++next[v];
            continue;
          }
          uint8_t* held = carry.data();
          uint8_t* spare = carry.data() + len;
          CopyEntry(held, start, len);
          do {
            // Bucket w has a place not yet filled at or after next[w], since `held` is one of its own.
            while (b.base[next[w] * len + b.depth] == w) ++next[w];
            uint8_t* place = b.base + next[w]++ * len;
            // A bucket fills from its start on: its next places are fetched while the other
            // buckets are served, since there are too many streams for the hardware to follow.
            __builtin_prefetch(place + 2 * len, 1);
            CopyEntry(spare, place, len);
            CopyEntry(place, held, len);
            std::swap(held, spare);
            w = held[b.depth];
          } while (w != v);
          CopyEntry(start, held, len);
          ++next[v];
        }
      }
      for (size_t v = 0; v < 256; ++v) {
        if (count[v] > 1) todo.push_back({b.base + (end[v] - count[v]) * len, count[v], b.depth + 1});
      }
      b.n = 0;
    }
    if (b.n > 1 && b.depth < len) InsertionSort(b.base, b.n, len, b.depth, tmp.data());
  }
}

KeySorter::KeySorter(size_t entryLength, std::filesystem::path workFolder, size_t capacity)
    : entryLength_(entryLength),
      workFolder_(std::move(workFolder)),
      capacity_(std::max(capacity / entryLength * entryLength, entryLength)) {}

KeySorter::~KeySorter() = default;

void KeySorter::Reserve() { memory_ = HugeBuffer(capacity_, capacity_ >= kHugePagesFrom); }

size_t KeySorter::Granularity() const { return capacity_ >= kHugePagesFrom ? kHugePage : kSmallPage; }

void KeySorter::Sort() {
  if (sorted_) return;
  SortEntries(static_cast<uint8_t*>(memory_.data()), used_ / entryLength_, entryLength_);
  sorted_ = true;
}

uint64_t KeySorter::DistinctKeys(size_t keyLength) {
  Sort();
  const uint8_t* base = static_cast<const uint8_t*>(memory_.data());
  const size_t n = used_ / entryLength_;
  uint64_t distinct = n > 0 ? 1 : 0;
  for (size_t i = 1; i < n; ++i) {
    if (std::memcmp(base + (i - 1) * entryLength_, base + i * entryLength_, keyLength) != 0) ++distinct;
  }
  return distinct;
}

void KeySorter::FreeMemory() {
  memory_ = HugeBuffer();
  used_ = 0;
  sorted_ = true;
}

void KeySorter::Spill() {
  if (used_ == 0) return;
  Sort();
  Run run{storage::OpenWorkFile(workFolder_.string(), err::kIndexIoError), used_ / entryLength_};
  // Whole entries per write, about 1 MB each, straight from the sorted memory.
  const size_t perWrite = std::max<size_t>((size_t{1} << 20) / entryLength_, 1) * entryLength_;
  const uint8_t* base = static_cast<const uint8_t*>(memory_.data());
  for (size_t offset = 0; offset < used_; offset += perWrite) {
    run.file->Write(offset, base + offset, std::min(perWrite, used_ - offset));
  }
  spilled_ += run.entries;
  runs_.push_back(std::move(run));
  used_ = 0;
  sorted_ = true;
}

void KeySorter::Drain(const std::function<void(const uint8_t*)>& out, size_t readBuffer) {
  if (runs_.empty()) {
    Sort();
    const uint8_t* base = static_cast<const uint8_t*>(memory_.data());
    for (size_t offset = 0; offset < used_; offset += entryLength_) out(base + offset);
    FreeMemory();
    return;
  }
  Spill();
  FreeMemory();
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
  auto prefixOf = [len](const uint8_t* p) {
    uint64_t v = 0;
    const size_t n = len < 8 ? len : 8;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v << (8 * (8 - n));
  };
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
    if (!r.done) r.prefix = prefixOf(r.buf.data() + r.pos);
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
