#include "tools/aceadmin/index_check.h"

#include <cctype>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "tools/aceadmin/command.h"

namespace aceadmin {
namespace {

// A failed engine call ends the check of a tag; its text becomes the last problem.
struct EngineFailure {
  std::string what;
};

void Check(UNSIGNED32 rc, const std::string& what) {
  if (rc != 0) throw EngineFailure{what + ": " + LastErrorText()};
}

// Text the engine returns into a caller's buffer, asked again with the length it reports.
template <typename Call>
std::string TextOf(Call call, const std::string& what) {
  std::string buf(512, '\0');
  for (int attempt = 0;; ++attempt) {
    UNSIGNED16 len = static_cast<UNSIGNED16>(buf.size());
    UNSIGNED32 rc = call(reinterpret_cast<UNSIGNED8*>(buf.data()), &len);
    if (rc == AE_INSUFFICIENT_BUFFER && attempt == 0 && len > buf.size()) {
      buf.resize(len);
      continue;
    }
    Check(rc, what);
    return buf.substr(0, len);
  }
}

// The key of the table's current record in the index's tag, as the engine would store it.
std::string KeyOfCurrent(ADSHANDLE index, std::string& buf) {
  for (int attempt = 0;; ++attempt) {
    UNSIGNED16 len = static_cast<UNSIGNED16>(buf.size());
    UNSIGNED32 rc = AdsExtractKey(index, reinterpret_cast<UNSIGNED8*>(buf.data()), &len);
    if (rc == AE_INSUFFICIENT_BUFFER && attempt == 0) {
      buf.resize(65535);
      continue;
    }
    Check(rc, "reading the key of a record");
    return buf.substr(0, len);
  }
}

UNSIGNED16 IndexOption(UNSIGNED32 (*call)(ADSHANDLE, UNSIGNED16*), ADSHANDLE index, const std::string& what) {
  UNSIGNED16 on = 0;
  Check(call(index, &on), what);
  return on;
}

// The record the table stands on after a positioning call; 0 when at an end.
UNSIGNED32 CurrentRecord(ADSHANDLE table) {
  UNSIGNED16 eof = 0;
  Check(AdsAtEOF(table, &eof), "reading the position");
  if (eof) return 0;
  UNSIGNED32 record = 0;
  Check(AdsGetRecordNum(table, ADS_IGNOREFILTERS, &record), "reading the record number");
  return record;
}

// AdsGetIndexFilename's option for the file's name with its extension.
constexpr UNSIGNED16 kNameWithExtension = 2;

class TagChecker {
 public:
  TagChecker(ADSHANDLE table, ADSHANDLE index, UNSIGNED32 records, TagCheck& out)
      : table_(table), index_(index), records_(records), out_(out) {}

  void Run() {
    out_.name = TextOf([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexName(index_, b, l); }, "reading the tag name");
    condition_ = TextOf([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexCondition(index_, b, l); },
                        "reading the condition");
    out_.custom = IndexOption(&AdsIsIndexCustom, index_, "reading the options");
    unique_ = IndexOption(&AdsIsIndexUnique, index_, "reading the options");
    // A descending tag of a CDX file is that file read backwards: its equal keys come in
    // descending record order.
    std::string file = TextOf([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexFilename(index_, kNameWithExtension, b, l); },
                              "reading the index file name");
    std::string ext = file.size() >= 4 ? file.substr(file.size() - 4) : std::string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    recordsDescend_ = ext == ".cdx" && IndexOption(&AdsIsIndexDescending, index_, "reading the options");
    Check(AdsGetKeyCount(index_, ADS_IGNOREFILTERS, &out_.keys), "counting the keys");
    if (!out_.custom) ReadRecords();
    ReadEntries();
    if (out_.custom) return;
    CheckCount();
    CheckKeysAndOrder();
    CheckMissing();
  }

 private:
  void Problem(const std::string& text) {
    if (out_.problems.size() < TagCheck::kProblemsKept) out_.problems.push_back(text);
    ++out_.problemCount;
  }

  // Which records belong to the tag, and the key of each.
  void ReadRecords() {
    included_.assign(records_ + 1, false);
    expected_.assign(records_ + 1, false);
    keyOf_.assign(records_ + 1, std::string());
    std::unordered_map<std::string, UNSIGNED32> lowest;  // unique tags: key value -> lowest record
    std::string buf(256, '\0');
    for (UNSIGNED32 r = 1; r <= records_; ++r) {
      Check(AdsGotoRecord(table_, r), "reading record " + std::to_string(r));
      bool in = true;
      if (!condition_.empty()) {
        UNSIGNED16 holds = 0;
        Check(AdsEvalLogicalExpr(table_, Text(condition_), &holds), "evaluating the condition on record " + std::to_string(r));
        in = holds != 0;
      }
      if (!in) continue;
      included_[r] = true;
      keyOf_[r] = KeyOfCurrent(index_, buf);
      expected_[r] = !unique_ || lowest.emplace(keyOf_[r], r).second;
      if (unique_ && !expected_[r]) lowestOf_[r] = lowest[keyOf_[r]];
      expectedCount_ += expected_[r];
    }
  }

  // The record of every entry, in the tag's order, each checked to be one the tag should hold.
  void ReadEntries() {
    entries_.assign(out_.keys, 0);
    std::vector<uint32_t>& seenAt = rankOf_;
    seenAt.assign(records_ + 1, 0);
    const double last = out_.keys > 1 ? static_cast<double>(out_.keys - 1) : 1.0;
    for (UNSIGNED32 i = 0; i < out_.keys; ++i) {
      const std::string number = "key " + std::to_string(i + 1);
      Check(AdsSetRelKeyPos(index_, static_cast<double>(i) / last), "going to " + number);
      const UNSIGNED32 r = CurrentRecord(table_);
      if (r == 0 || r > records_) {
        Problem(number + " names no record of the table" + (r ? " (record " + std::to_string(r) + ")" : ""));
        continue;
      }
      if (seenAt[r]) {
        Problem("record " + std::to_string(r) + " has more than one key (keys " + std::to_string(seenAt[r]) + " and " +
                std::to_string(i + 1) + ")");
        continue;
      }
      seenAt[r] = i + 1;
      entries_[i] = r;
      if (out_.custom || expected_[r]) continue;
      if (!included_[r]) {
        Problem("record " + std::to_string(r) + " is in the tag, but does not satisfy its condition");
      } else {
        Problem("record " + std::to_string(r) + " is in the unique tag, but record " + std::to_string(lowestOf_[r]) +
                " has the same key and comes first");
      }
      entries_[i] = 0;  // not compared with the keys of its neighbours
    }
    present_.assign(records_ + 1, false);
    for (UNSIGNED32 r : entries_) present_[r] = r != 0;
  }

  void CheckCount() {
    if (expectedCount_ != out_.keys) {
      Problem("the tag counts " + std::to_string(out_.keys) + " keys; the table has " + std::to_string(expectedCount_) +
              " records for it");
    }
  }

  void CheckMissing() {
    for (UNSIGNED32 r = 1; r <= records_; ++r) {
      if (expected_[r] && !present_[r]) Problem("record " + std::to_string(r) + " is missing");
    }
  }

  // The entries must ascend by (key, record number) (record numbers descending in a
  // descending CDX tag). A seek compares with the keys the tree
  // stores: the entries from the first to the last one a seek for a key finds are exactly those
  // that store it. Each run of entries whose records have one key must be that range; an entry
  // of the run outside it, or an entry inside it outside the run, stores another key than its
  // record's.
  void CheckKeysAndOrder() {
    flagged_.assign(entries_.size(), false);
    size_t prev = SIZE_MAX;
    size_t runStart = SIZE_MAX;
    for (size_t i = 0; i <= entries_.size(); ++i) {
      const bool end = i == entries_.size();
      if (!end && entries_[i] == 0) continue;
      if (prev != SIZE_MAX && !end) {
        const std::string& a = keyOf_[entries_[prev]];
        const std::string& b = keyOf_[entries_[i]];
        const int cmp = a.compare(b);
        const bool tieOutOfOrder = recordsDescend_ ? entries_[prev] < entries_[i] : entries_[prev] > entries_[i];
        if (cmp > 0 || (cmp == 0 && tieOutOfOrder)) {
          Problem("keys " + std::to_string(prev + 1) + " and " + std::to_string(i + 1) + " are out of order (records " +
                  std::to_string(entries_[prev]) + " and " + std::to_string(entries_[i]) + ")");
        }
      }
      if (runStart != SIZE_MAX && (end || keyOf_[entries_[i]] != keyOf_[entries_[runStart]])) {
        CheckRun(runStart, prev);
        runStart = SIZE_MAX;
      }
      if (end) break;
      if (runStart == SIZE_MAX) runStart = i;
      prev = i;
    }
  }

  // The position (0-based) of the entry of a record a seek landed on; -1 when none.
  int64_t RankOfLanding(UNSIGNED16 found) {
    if (!found) return -1;
    const UNSIGNED32 r = CurrentRecord(table_);
    return r != 0 && r <= records_ && rankOf_[r] != 0 ? static_cast<int64_t>(rankOf_[r]) - 1 : -1;
  }

  void CheckRun(size_t first, size_t last) {
    std::string key = keyOf_[entries_[first]];
    UNSIGNED16 found = 0;
    Check(AdsSeek(index_, reinterpret_cast<UNSIGNED8*>(key.data()), static_cast<UNSIGNED16>(key.size()), ADS_RAWKEY, 2,
                  &found),
          "seeking a key");
    int64_t lo = RankOfLanding(found);
    Check(AdsSeekLast(index_, reinterpret_cast<UNSIGNED8*>(key.data()), static_cast<UNSIGNED16>(key.size()), ADS_RAWKEY,
                      &found),
          "seeking a key");
    int64_t hi = RankOfLanding(found);
    if (lo < 0 || hi < lo) lo = hi = -1;
    const auto inStored = [&](size_t i) { return lo >= 0 && static_cast<int64_t>(i) >= lo && static_cast<int64_t>(i) <= hi; };
    for (size_t i = first; i <= last; ++i) {
      if (entries_[i] != 0 && !inStored(i)) Flag(i);
    }
    // The entries storing this key that belong to other runs; each key's range is looked at once,
    // as a key can make several runs when the order is broken.
    if (lo < 0 || !storedRangesSeen_.insert(key).second) return;
    for (int64_t i = lo; i <= hi; ++i) {
      const size_t at = static_cast<size_t>(i);
      if ((at < first || at > last) && entries_[at] != 0) Flag(at);
    }
  }

  void Flag(size_t i) {
    if (flagged_[i]) return;
    flagged_[i] = true;
    Problem("key " + std::to_string(i + 1) + " (record " + std::to_string(entries_[i]) +
            ") does not hold the key of its record");
  }

  ADSHANDLE table_, index_;
  UNSIGNED32 records_;
  TagCheck& out_;
  std::string condition_;
  bool unique_ = false;
  bool recordsDescend_ = false;
  std::vector<bool> included_, expected_, present_;
  std::vector<std::string> keyOf_;
  std::unordered_map<UNSIGNED32, UNSIGNED32> lowestOf_;  // unique tags: record -> lower record of its key
  UNSIGNED32 expectedCount_ = 0;
  std::vector<UNSIGNED32> entries_;  // the record of each entry in key order; 0 when not compared
  std::vector<uint32_t> rankOf_;     // record -> 1-based position of its (first) entry; 0 when none
  std::vector<bool> flagged_;        // entries already reported for their key
  std::unordered_set<std::string> storedRangesSeen_;
};

}  // namespace

TagCheck CheckTag(ADSHANDLE table, ADSHANDLE index, UNSIGNED32 records) {
  TagCheck out;
  try {
    TagChecker(table, index, records, out).Run();
  } catch (const EngineFailure& f) {
    // Reported as the tag's last problem: what was found before still stands.
    if (out.problems.size() >= TagCheck::kProblemsKept) out.problems.pop_back();
    out.problems.push_back("cannot be checked: " + f.what);
    ++out.problemCount;
  }
  return out;
}

}  // namespace aceadmin
