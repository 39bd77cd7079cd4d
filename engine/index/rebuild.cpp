// Rebuilding an index file; see rebuild.h.
#include "engine/index/rebuild.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <numeric>
#include <system_error>
#include <thread>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "engine/core/error.h"
#include "engine/index/adi_file.h"
#include "engine/index/cdx_file.h"
#include "engine/index/ntx_file.h"
#include "engine/storage/storage.h"
#include "engine/table/table_files.h"
#include "engine/index/key_sorter.h"
#include "engine/index/page_format.h"
#include "engine/index/tree_writer.h"

namespace engine::index {
namespace {

constexpr size_t kMinimumBudget = size_t{1} << 20;
constexpr unsigned kScanShare = 70;  // percent of the progress given to the pass over records

class Progress {
 public:
  explicit Progress(const std::function<bool(unsigned)>& cb) : cb_(cb) {}
  void Report(unsigned percent) {
    if (!cb_ || percent == last_) return;
    last_ = percent;
    if (!cb_(percent)) Fail(err::kRebuildCancelled, "The index rebuild was cancelled");
  }

 private:
  const std::function<bool(unsigned)>& cb_;
  unsigned last_ = ~0u;
};

// Collects the keys of a pass. Tags are put in as many groups as the pass may use threads (at
// most one per core), balanced by the memory their entries take; each group has its share of
// the budget and spills its own tags when it is used up, so groups fill and spill on their own
// threads without touching each other.
class Collector : public KeySink {
 public:
  // `uninvert[i]`: tag i's keys are sorted as they were before a descending tag inverted them.
  Collector(const std::vector<TagInfo>& tags, const std::vector<bool>& uninvert, const std::filesystem::path& workFolder,
            size_t budget, uint64_t records, Progress& progress, size_t threads)
      : uninvert_(uninvert), records_(records), progress_(progress) {
    for (const TagInfo& t : tags) {
      keyLength_.push_back(t.layout.keyLength());
      cost_.push_back(t.layout.entryLength());
    }
    // The heaviest tags first, each to the group that has the least so far.
    const size_t groups = std::max<size_t>(1, std::min(threads, tags.size()));
    std::vector<size_t> order(tags.size());
    for (size_t t = 0; t < order.size(); ++t) order[t] = t;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return cost_[a] > cost_[b]; });
    std::vector<size_t> groupCost(groups, 0);
    groups_.resize(groups);
    groupOf_.resize(tags.size());
    for (size_t t : order) {
      size_t g = static_cast<size_t>(std::min_element(groupCost.begin(), groupCost.end()) - groupCost.begin());
      groups_[g].push_back(t);
      groupOf_[t] = g;
      groupCost[g] += cost_[t];
    }
    for (auto& g : groups_) std::sort(g.begin(), g.end());
    groupCost_ = groupCost;
    const size_t totalCost = std::max<size_t>(1, std::accumulate(groupCost.begin(), groupCost.end(), size_t{0}));
    for (size_t g = 0; g < groups; ++g) {
      budget_.push_back(std::max<size_t>(1, static_cast<size_t>(static_cast<double>(budget) * groupCost[g] / totalCost)));
    }
    // A sorter never holds more than its group's budget, nor more than the keys of every record
    // (with room for a count that was an estimate): the rest of its reservation is never touched.
    const uint64_t keysAtMost = records + records / 16 + 64;
    slack_.assign(groups, 0);
    for (size_t t = 0; t < tags.size(); ++t) {
      const size_t g = groupOf_[t];
      const size_t capacity = static_cast<size_t>(std::min<uint64_t>(budget_[g], keysAtMost * cost_[t]));
      sorters_.push_back(std::make_unique<KeySorter>(cost_[t], workFolder, capacity));
      slack_[g] += sorters_.back()->Granularity();
    }
    used_.assign(groups, 0);
    natural_.resize(groups);
  }

  void Add(size_t tag, const uint8_t* key, uint32_t recno) override {
    if (tag >= sorters_.size()) Fail(err::kNoSuchIndexOrder, "Key for a tag that is not being rebuilt");
    const size_t g = groupOf_[tag];
    if (uninvert_[tag]) {
      std::vector<uint8_t>& natural = natural_[g];
      natural.resize(keyLength_[tag]);
      for (size_t i = 0; i < natural.size(); ++i) natural[i] = static_cast<uint8_t>(~key[i]);
      key = natural.data();
    }
    // The group's memory, counted in the pages its sorters take, stays within its budget: a
    // group that is full writes its tags' entries as runs before taking more.
    if (used_[g] + cost_[tag] + slack_[g] > budget_[g] && used_[g] > 0) {
      for (size_t t : groups_[g]) sorters_[t]->Spill();
      used_[g] = 0;
    }
    sorters_[tag]->Add(key, keyLength_[tag], recno);
    used_[g] += cost_[tag];
  }

  void RecordsDone(uint64_t count) override {
    uint64_t total = std::max<uint64_t>(records_, 1);
    progress_.Report(static_cast<unsigned>(std::min<uint64_t>(count, total) * kScanShare / total));
  }

  std::vector<std::vector<size_t>> ConcurrentGroups() const override { return groups_; }

  std::vector<std::unique_ptr<KeySorter>>& sorters() { return sorters_; }
  // Tag t's part of the budget, by the memory its entries take.
  size_t ShareOf(size_t t) const {
    const size_t g = groupOf_[t];
    return std::max<size_t>(1, static_cast<size_t>(static_cast<double>(budget_[g]) * cost_[t] / groupCost_[g]));
  }

 private:
  std::vector<std::unique_ptr<KeySorter>> sorters_;
  std::vector<size_t> keyLength_;
  std::vector<size_t> cost_;
  std::vector<bool> uninvert_;
  std::vector<std::vector<size_t>> groups_;
  std::vector<size_t> groupOf_;
  std::vector<size_t> groupCost_;             // per group: the cost of an entry of each of its tags
  std::vector<size_t> budget_;                // per group
  std::vector<size_t> used_;                  // per group
  std::vector<size_t> slack_;                 // per group: what its sorters' last pages may add
  std::vector<std::vector<uint8_t>> natural_;  // per group
  uint64_t records_;
  Progress& progress_;
};

// Runs work(0) .. work(count - 1) on up to `threads` threads (the calling thread among them);
// the first failure is rethrown once all have stopped.
void ForEachInParallel(size_t count, size_t threads, const std::function<void(size_t)>& work) {
  threads = std::min(threads, count);
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) work(i);
    return;
  }
  std::vector<std::exception_ptr> errors(count);
  std::atomic<size_t> next{0};
  auto run = [&] {
    for (size_t i = next++; i < count; i = next++) {
      try {
        work(i);
      } catch (...) {
        errors[i] = std::current_exception();  // handed to the calling thread below
      }
    }
  };
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(run);
  run();
  for (auto& th : pool) th.join();
  for (auto& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

// Hands the entries of a tag in order to `out`, calling `tick` every 65,536 entries.
using DrainTag = std::function<void(size_t tag, const std::function<void(const uint8_t*)>& out, const std::function<void()>& tick)>;

// Writes the tree of every tag of an .adi file, tag after tag from page firstPage on, and returns
// the file's page count. Tag t's pages follow tag t - 1's, so its tree can be written as soon as
// the page counts of the trees before it are known: at once for a tag that keeps every entry,
// after its sort for a unique or candidate tag sorted in memory (from its distinct keys), and only
// once it is written for such a tag merged from runs. Tags are taken in file order, so a thread
// waiting for a page count waits for a tag another thread holds. With more than one thread the
// calling thread only reports progress (the callback runs on it alone) and stops the others when
// the rebuild is cancelled or one of them fails.
uint32_t WriteTrees(storage::File& out, uint32_t pageSize, uint32_t firstPage, std::vector<TagInfo>& tags,
                    std::vector<std::unique_ptr<KeySorter>>& sorters, size_t threads, size_t pageBuffer, bool durable,
                    const DrainTag& drain, Progress& progress, const std::function<unsigned()>& percent) {
  const size_t n = tags.size();
  threads = std::max<size_t>(1, std::min(threads, n));
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int64_t> pages(n, -1);  // known page counts
  std::atomic<bool> stop{false};
  std::exception_ptr failure;
  size_t running = threads;
  std::atomic<size_t> next{0};
  // The first page of tag t, or -1 while a page count before it is unknown. REQUIRES: mutex held.
  auto startOf = [&](size_t t) -> int64_t {
    int64_t p = firstPage;
    for (size_t u = 0; u < t; ++u) {
      if (pages[u] < 0) return -1;
      p += pages[u];
    }
    return p;
  };
  auto publish = [&](size_t t, uint64_t count) {
    std::lock_guard<std::mutex> lock(mutex);
    pages[t] = static_cast<int64_t>(count);
    changed.notify_all();
  };
  auto tick = [&] {
    if (threads == 1) {
      progress.Report(percent());
    } else if (stop.load(std::memory_order_relaxed)) {
      Fail(err::kRebuildCancelled, "The index rebuild was stopped");  // the caller reports why
    }
  };
  auto writeTag = [&](size_t t) {
    KeySorter& sorter = *sorters[t];
    const TagInfo& tag = tags[t];
    int64_t foreseen = -1;
    if (sorter.runCount() == 0) sorter.Sort();
    if (!(tag.def.options & (kTagUnique | kTagCandidate))) {
      foreseen = static_cast<int64_t>(TreeWriter::PagesFor(sorter.Total(), pageSize, tag.layout.entryLength()));
    } else if (sorter.runCount() == 0) {
      uint64_t distinct = sorter.DistinctKeys(tag.layout.keyLength());
      foreseen = static_cast<int64_t>(TreeWriter::PagesFor(distinct, pageSize, tag.layout.entryLength()));
    }
    if (foreseen >= 0) publish(t, static_cast<uint64_t>(foreseen));
    int64_t start;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return stop.load() || startOf(t) >= 0; });
      if (stop.load()) return;
      start = startOf(t);
    }
    if (start + std::max<int64_t>(foreseen, 0) > int64_t{UINT32_MAX}) {
      Fail(err::kIndexIoError, "The index file would hold more than 4,294,967,295 pages");
    }
    PageWriter pw(out, pageSize, static_cast<uint32_t>(start), pageBuffer, durable);
    TreeWriter tree(pw, static_cast<uint32_t>(t + 1), tag.layout.entryLength());
    drain(t, [&](const uint8_t* e) { tree.Add(e); }, tick);
    tree.Finish(tags[t].root, tags[t].height);
    pw.Finish();
    const int64_t used = static_cast<int64_t>(pw.nextPage()) - start;
    if (foreseen >= 0 && used != foreseen) {
      // Trees written after this one were placed by the count foreseen: the file is unusable.
      Fail(err::kIndexIoError, "The tree of index tag \"" + tag.def.name + "\" took " + std::to_string(used) +
                                   " pages instead of the " + std::to_string(foreseen) + " foreseen");
    }
    if (foreseen < 0) publish(t, static_cast<uint64_t>(used));
  };
  if (threads == 1) {
    for (size_t t = 0; t < n; ++t) writeTag(t);
  } else {
    auto work = [&] {
      try {
        for (size_t t = next++; t < n && !stop.load(); t = next++) writeTag(t);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();  // handed to the calling thread below
        stop = true;
      }
      std::lock_guard<std::mutex> lock(mutex);
      --running;
      changed.notify_all();
    };
    std::vector<std::thread> pool;
    for (size_t i = 0; i < threads; ++i) pool.emplace_back(work);
    std::exception_ptr cancelled;
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (running > 0) {
        changed.wait_for(lock, std::chrono::milliseconds(50));
        if (cancelled || failure) continue;
        lock.unlock();
        try {
          progress.Report(percent());
        } catch (...) {
          cancelled = std::current_exception();
        }
        lock.lock();
        if (cancelled) {
          stop = true;
          changed.notify_all();
        }
      }
    }
    for (auto& th : pool) th.join();
    if (cancelled) std::rethrow_exception(cancelled);
    if (failure) std::rethrow_exception(failure);
  }
  uint64_t total = firstPage;
  for (int64_t p : pages) total += static_cast<uint64_t>(p);
  return static_cast<uint32_t>(total);
}

}  // namespace

size_t DefaultRebuildMemoryBudget() {
  const char* text = std::getenv("ACE_REBUILD_MEMORY_MB");
  if (text == nullptr || *text == 0) return kDefaultRebuildMemoryBudget;
  char* end = nullptr;
  errno = 0;
  unsigned long long mb = std::strtoull(text, &end, 10);
  // Anything but a positive whole number (or one too large for the address space) is ignored.
  if (errno != 0 || *end != 0 || *text == '-' || mb == 0 || mb > (SIZE_MAX >> 21)) return kDefaultRebuildMemoryBudget;
  return static_cast<size_t>(mb) << 20;
}

std::filesystem::path RebuildWorkPath(const std::filesystem::path& path) { return table_files::StagingPath(path.string()); }

RebuildStats RebuildIndexFile(const std::filesystem::path& path, uint32_t pageSize,
                              const std::vector<TagDef>& defs, KeySource& source,
                              const RebuildOptions& options) {
  const IndexFormat format = IndexFormatOf(path);
  if (format != IndexFormat::kAdi) pageSize = format == IndexFormat::kNtx ? kNtxPageSize : kCdxPageSize;
  if (format == IndexFormat::kNtx && defs.size() != 1) {
    Fail(err::kInvalidTagDefinition, "An NTX index file holds exactly one index order");
  }
  std::vector<TagInfo> tags = PrepareTags(defs, pageSize, KeyFormOf(format));
  Progress progress(options.progress);
  progress.Report(0);
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  std::filesystem::path workFolder = options.workFolder.empty() ? folder : options.workFolder;
  size_t budget = std::max(options.memoryBudget, kMinimumBudget);

  RebuildStats stats;
  stats.records = source.RecordCount();
  // A descending CDX tag is stored in ascending order of its natural keys and read backwards.
  std::vector<bool> uninvert;
  for (const TagInfo& t : tags) uninvert.push_back(format == IndexFormat::kCdx && CdxFile::StoresNaturalKeys(t));
  const size_t threads = options.parallelSort ? std::max(1u, std::thread::hardware_concurrency()) : 1;
  // The page buffers of the threads writing trees come out of the budget first; the sorters and
  // then the merges' read buffers share the rest.
  const size_t writers = std::max<size_t>(1, std::min(threads, tags.size()));
  const size_t pageBuffer = std::clamp<size_t>(budget / 16, size_t{64} << 10, PageWriter::kDefaultBuffer);
  const size_t sortBudget = std::max(budget / 2, budget - std::min(budget, writers * pageBuffer));
  Collector collector(tags, uninvert, workFolder, sortBudget, stats.records, progress, threads);
  source.Scan(tags, collector);
  progress.Report(kScanShare);

  auto& sorters = collector.sorters();
  uint64_t totalKeys = 0;
  bool spilled = false;
  for (auto& s : sorters) {
    totalKeys += s->Total();
    spilled = spilled || s->runCount() > 0;
  }
  if (spilled) {
    // What the spilled tags still hold goes to a last run now, so that their merges have the
    // budget to themselves.
    ForEachInParallel(sorters.size(), threads, [&](size_t t) {
      if (sorters[t]->runCount() == 0) return;
      sorters[t]->Spill();
      sorters[t]->FreeMemory();
    });
  }
  for (auto& s : sorters) stats.runs += s->runCount();
  // .adi trees are sorted and written tag by tag on every thread; the other formats sort here.
  if (format != IndexFormat::kAdi && !spilled) ForEachInParallel(sorters.size(), threads, [&](size_t t) { sorters[t]->Sort(); });

  std::filesystem::path work = RebuildWorkPath(path);
  std::unique_ptr<storage::File> out = storage::OpenFile(work.string(), storage::OpenMode::kCreate, err::kIndexIoError);
  try {
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> keys{0};
    size_t shareDivisor = 1;  // 2 while a merge feeds a second sort
    // Hands the entries of tag t in order to `out`: unique tags keep the first record of each
    // key, candidate tags refuse a second one. `tick` is called every 65,536 entries.
    auto drainTag = [&](size_t t, const std::function<void(const uint8_t*)>& out, const std::function<void()>& tick) {
      TagInfo& tag = tags[t];
      const size_t keyLen = tag.layout.keyLength();
      const bool unique = tag.def.options & kTagUnique;
      const bool candidate = tag.def.options & kTagCandidate;
      std::vector<uint8_t> last(tag.layout.entryLength());
      bool haveLast = false;
      size_t readBuffer = std::min<size_t>(size_t{1} << 20, collector.ShareOf(t) / shareDivisor / (sorters[t]->runCount() + 1));
      uint64_t seen = 0, kept = 0;
      sorters[t]->Drain(
          [&](const uint8_t* e) {
            if ((++seen & 0xFFFF) == 0) {
              written.fetch_add(0x10000, std::memory_order_relaxed);
              tick();
            }
            if ((unique || candidate) && haveLast && std::memcmp(last.data(), e, keyLen) == 0) {
              if (candidate) {
                Fail(err::kDuplicateKey, "Duplicate key in candidate index tag \"" + tag.def.name +
                                             "\" (records " + std::to_string(LoadBE32(last.data() + keyLen)) +
                                             " and " + std::to_string(LoadBE32(e + keyLen)) + ")");
              }
              return;  // unique: the lowest record number of the key is already in
            }
            if (unique || candidate) {
              std::memcpy(last.data(), e, last.size());
              haveLast = true;
            }
            out(e);
            ++kept;
          },
          readBuffer);
      written.fetch_add(seen & 0xFFFF, std::memory_order_relaxed);
      keys.fetch_add(kept, std::memory_order_relaxed);
    };
    auto percentWritten = [&] {
      return kScanShare + static_cast<unsigned>(std::min<uint64_t>(written.load(), totalKeys) * (99 - kScanShare) /
                                                std::max<uint64_t>(totalKeys, 1));
    };
    auto reportWritten = [&] { progress.Report(percentWritten()); };
    if (format == IndexFormat::kAdi) {
      uint32_t headerPages = HeaderPageCount(pageSize, SerializeCatalog(tags).size());
      stats.pages = WriteTrees(*out, pageSize, headerPages, tags, sorters, threads, pageBuffer, options.durable, drainTag,
                               progress, percentWritten);
      std::vector<uint8_t> header = BuildHeaderPages(pageSize, static_cast<uint32_t>(stats.pages), 0, 0, 1, SerializeCatalog(tags));
      out->Write(0, header.data(), header.size());
    } else if (format == IndexFormat::kNtx) {
      // The B-tree's shape follows from its entry count, known once duplicates of a unique or
      // candidate tag are gone: counted in memory when the entries are there, else such a tag's
      // entries pass through a second (already ordered) sort first, which takes half of the
      // memory of the merge feeding it.
      const TagInfo& tag = tags[0];
      std::unique_ptr<KeySorter> spool;
      uint64_t count = sorters[0]->Total();
      const size_t keyLen = tag.layout.keyLength();
      if ((tag.def.options & (kTagUnique | kTagCandidate)) && sorters[0]->runCount() == 0) {
        count = sorters[0]->DistinctKeys(keyLen);
      } else if (tag.def.options & (kTagUnique | kTagCandidate)) {
        shareDivisor = 2;
        spool = std::make_unique<KeySorter>(tag.layout.entryLength(), workFolder, sortBudget / 2);
        drainTag(0, [&](const uint8_t* e) { spool->Add(e, keyLen, LoadBE32(e + keyLen)); }, reportWritten);
        count = spool->Total();
      }
      NtxFile::Write(*out, tag, count, [&](const std::function<void(const uint8_t*)>& take) {
        if (spool) {
          spool->Drain(take, std::min<size_t>(size_t{1} << 20, sortBudget / 2 / (spool->runCount() + 1)));
        } else {
          drainTag(0, take, reportWritten);
        }
      });
      stats.pages = out->Size() / kNtxPageSize;
    } else {
      CdxFile::Write(*out, tags, [&](size_t t, const std::function<void(const uint8_t*)>& take) { drainTag(t, take, reportWritten); });
      stats.pages = out->Size() / kCdxPageSize;
    }
    stats.keys = keys.load();
    progress.Report(99);
    table_files::ReplaceIndexFile(*out, work.string(), path.string(), options.durable);
  } catch (...) {
    // Leave the old file in place and take the half-written new one away, then report. (A
    // failure after the rename, flushing the folder, finds no staged file to take.)
    out.reset();
    storage::Current().Remove(work.string());
    throw;
  }
  progress.Report(100);
  return stats;
}

}  // namespace engine::index
