// Checking one index tag against its table through the engine's C interface.
//
// What a tag must hold follows from how the engine keeps it: every record whose condition (FOR)
// holds, deleted records included, appears exactly once; a unique tag holds only the lowest
// record of each key value; each entry's key is the key computed from its record now; the
// entries ascend by raw key and then by record number (a descending tag stores its key bytes
// inverted, so the raw keys ascend there too); and the key count the engine reports is the
// number of such entries. A custom tag holds the keys added to it by hand, as they were when
// they were added, so only its entries' records are checked.
//
// The entries are read as stored: each key number is visited through its relative position,
// which the engine resolves from the tree alone, and stored keys are compared with the keys of
// the records through hard seeks (a seek compares with the stored keys). Walking with AdsSkip
// would not do: a skip starts from the key of the current record as it is now, so it cannot
// see an entry that disagrees with its record.
//
// REQUIRES: the table handle open, deleted records shown (AdsShowDeleted(1)), no filter and no
// scope on the table or the order. Not thread-safe: the shell runs one command at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ace/ace.h"

namespace aceadmin {

struct TagCheck {
  std::string name;
  bool custom = false;
  uint32_t keys = 0;                  // the key count the engine reports
  std::vector<std::string> problems;  // at most kProblemsKept texts
  uint64_t problemCount = 0;          // every problem found, including those not kept
  static constexpr size_t kProblemsKept = 20;
};

// Checks the tag of `index` against the records 1..`records` of `table`. An engine call that
// fails is a problem with the engine's text.
TagCheck CheckTag(ADSHANDLE table, ADSHANDLE index, UNSIGNED32 records);

}  // namespace aceadmin
