// Several processes changing one indexed table opened shared, at the same time, as real clients
// do: appends, edits of key fields, deletions and recalls under record locks, and seeks. Each
// process finds what another appended and committed; afterwards every tag holds each qualifying
// record exactly once, under the key its record gives, in order, with the right key count.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "engine/table/julian.h"
#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

constexpr int kWorkers = 3;
constexpr int kOpsEach = 3000;
constexpr int kSeedRecords = 200;
constexpr size_t kNameWidth = 10;
constexpr int32_t kFirstDay = 2460311;  // 2024-01-01
constexpr const char* kFields = "ID,Integer;SERIAL,Integer;NAME,Char,10;D,Date;N,Integer";
constexpr const char* kDbfFields = "ID,Numeric,9,0;SERIAL,Numeric,9,0;NAME,Char,10;D,Date;N,Numeric,3,0";

// The type of the shared table in the running test (native, or DBF with CDX or NTX files); set
// before the workers are forked, which inherit it.
UNSIGNED16 gTableType = ADS_ADT;

struct Rec {
  int32_t id = 0;
  int32_t serial = 0;
  std::string name;  // padded to kNameWidth
  int32_t day = 0;   // julian day
  int32_t n = 0;
  bool deleted = false;
};

std::string Pad(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  s.resize(kNameWidth, ' ');
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// YYYYMMDD of a julian day, as DTOS gives it.
std::string Dtos(int32_t jd) {
  const engine::table::CivilDate d = engine::table::JulianToCivil(jd);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

// Integers compare as the tag orders them once offset into a fixed-width positive range.
std::string SortableInt(int32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%011lld", static_cast<long long>(v) + 4000000000LL);
  return buf;
}

// A tag, how the model selects and orders its records, and the text a caller seeks one key with.
struct TagModel {
  const char* name;
  const char* expr;
  const char* cond;
  std::function<std::string(const Rec&)> order;
  std::function<std::string(const Rec&)> seekText;
  std::function<bool(const Rec&)> includes;
};

const std::vector<TagModel>& Tags() {
  static const std::vector<TagModel> tags = {
      {"BYID", "ID", nullptr, [](const Rec& r) { return SortableInt(r.id); },
       [](const Rec& r) { return std::to_string(r.id); }, [](const Rec&) { return true; }},
      {"BYSERIAL", "SERIAL", nullptr, [](const Rec& r) { return SortableInt(r.serial); },
       [](const Rec& r) { return std::to_string(r.serial); }, [](const Rec&) { return true; }},
      {"BYCOND", "NAME", "N >= 50", [](const Rec& r) { return r.name; }, [](const Rec& r) { return r.name; },
       [](const Rec& r) { return r.n >= 50; }},
      {"BYUPPER", "UPPER(NAME)", nullptr, [](const Rec& r) { return Upper(r.name); },
       [](const Rec& r) { return Upper(r.name); }, [](const Rec&) { return true; }},
      {"BYNAMED", "NAME+DTOS(D)", nullptr, [](const Rec& r) { return r.name + Dtos(r.day); },
       [](const Rec& r) { return r.name + Dtos(r.day); }, [](const Rec&) { return true; }},
  };
  return tags;
}

// What the workers share: the serial each one appended and committed last.
struct Shared {
  std::atomic<int32_t> lastSerial[kWorkers];
  std::atomic<int32_t> seen;  // serials of other workers found
};

std::string RandomName(std::mt19937& rng) {
  static const char letters[] = "ABCDabcd";
  int len = std::uniform_int_distribution<int>(1, 4)(rng);
  std::string s;
  for (int i = 0; i < len; ++i) s += letters[std::uniform_int_distribution<int>(0, 7)(rng)];
  return s;
}

std::string LastText() {
  acetest::LastError e = acetest::Last();
  return std::to_string(e.code) + " " + e.text;
}

// One worker's session; every failure says where it happened.
class Worker {
 public:
  Worker(int index, Shared* shared) : index_(index), shared_(shared), rng_(1000 + index) {}

  bool Run(const std::string& folder) {
    if (!Ok(AdsConnect60(U8(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), "connect")) return false;
    if (!Open()) return false;
    for (op_ = 0; op_ < kOpsEach; ++op_) {
      int dice = std::uniform_int_distribution<int>(0, 99)(rng_);
      bool ok = dice < 30   ? Append()
                : dice < 65 ? Edit()
                : dice < 80 ? Delete()
                : dice < 88 ? Recall()
                : dice < 90 ? Reopen()
                            : SeeOthers();
      if (!ok) return false;
    }
    return SeeOthers() && Ok(AdsCloseTable(table_), "close") && Ok(AdsDisconnect(conn_), "disconnect");
  }

 private:
  // Opens the table while the others keep changing it: the index files must open whole.
  bool Open() {
    if (!Ok(AdsOpenTable90(conn_, U8("shared"), nullptr, gTableType, 1, 0, 0, 0, nullptr, &table_), "open")) return false;
    orders_.clear();
    for (size_t i = 0; i < Tags().size(); ++i) {
      ADSHANDLE h = 0;
      if (!Ok(AdsGetIndexHandle(table_, U8(Tags()[i].name), &h), "index handle")) return false;
      orders_.push_back(h);
    }
    return true;
  }

  bool Reopen() { return Ok(AdsCloseTable(table_), "close") && Open(); }

  bool Ok(UNSIGNED32 rc, const char* what) {
    if (rc == 0) return true;
    std::fprintf(stderr, "worker %d, operation %d: %s failed: %u %s\n", index_, op_, what, rc, LastText().c_str());
    return false;
  }

  int32_t FreshId() { return (index_ + 1) * 10000000 + ++made_; }

  bool SetKeys(bool withId) {
    std::string name = RandomName(rng_);
    int32_t day = kFirstDay + std::uniform_int_distribution<int32_t>(0, 40)(rng_);
    int32_t n = std::uniform_int_distribution<int32_t>(0, 99)(rng_);
    return (!withId || Ok(AdsSetLong(table_, U8("ID"), FreshId()), "set ID")) &&
           Ok(AdsSetString(table_, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), "set NAME") &&
           Ok(AdsSetJulian(table_, U8("D"), day), "set D") && Ok(AdsSetLong(table_, U8("N"), n), "set N");
  }

  bool Append() {
    int32_t serial = FreshId();
    if (!Ok(AdsAppendRecord(table_), "append")) return false;
    if (!Ok(AdsSetLong(table_, U8("SERIAL"), serial), "set SERIAL") || !SetKeys(true)) return false;
    if (!Ok(AdsWriteRecord(table_), "write appended")) return false;
    shared_->lastSerial[index_].store(serial);
    return true;
  }

  // Stands on a record to change: the way a user finds one, by a seek; by number; or the newest
  // record, which another process may be appending right now.
  bool PickRecord(UNSIGNED32* recno) {
    *recno = 0;
    int how = std::uniform_int_distribution<int>(0, 2)(rng_);
    if (how == 0) {
      std::string key = Upper(RandomName(rng_));
      UNSIGNED16 found = 0;
      if (!Ok(AdsSeek(orders_[3], U8(key), static_cast<UNSIGNED16>(key.size()), ADS_STRINGKEY, ADS_SOFTSEEK, &found),
              "seek")) {
        return false;
      }
      UNSIGNED16 eof = 0;
      if (!Ok(AdsAtEOF(table_, &eof), "at EOF")) return false;
      if (!eof) return Ok(AdsGetRecordNum(table_, ADS_IGNOREFILTERS, recno), "record number");
    }
    UNSIGNED32 count = 0;
    if (!Ok(AdsGetRecordCount(table_, ADS_IGNOREFILTERS, &count), "record count")) return false;
    *recno = how == 1 ? std::uniform_int_distribution<UNSIGNED32>(1, count)(rng_) : count;
    return Ok(AdsGotoRecord(table_, *recno), "goto");
  }

  // Locks the record picked; false in *locked when another process holds it.
  bool Lock(UNSIGNED32 recno, bool* locked) {
    UNSIGNED32 rc = AdsLockRecord(table_, recno);
    *locked = rc == 0;
    if (rc == 5035) return true;
    return Ok(rc, "lock");
  }

  bool Edit() {
    UNSIGNED32 recno = 0;
    bool locked = false;
    if (!PickRecord(&recno) || !Lock(recno, &locked)) return false;
    if (!locked) return true;
    bool withId = std::uniform_int_distribution<int>(0, 3)(rng_) == 0;
    return SetKeys(withId) && Ok(AdsWriteRecord(table_), "write") && Ok(AdsUnlockRecord(table_, recno), "unlock");
  }

  bool Delete() {
    UNSIGNED32 recno = 0;
    bool locked = false;
    if (!PickRecord(&recno) || !Lock(recno, &locked)) return false;
    if (!locked) return true;
    return Ok(AdsDeleteRecord(table_), "delete") && Ok(AdsUnlockRecord(table_, recno), "unlock");
  }

  bool Recall() {
    UNSIGNED32 recno = 0;
    bool locked = false;
    if (!PickRecord(&recno) || !Lock(recno, &locked)) return false;
    if (!locked) return true;
    return Ok(AdsRecallRecord(table_), "recall") && Ok(AdsUnlockRecord(table_, recno), "unlock");
  }

  // The serial another worker committed last is in its tag here too.
  bool SeeOthers() {
    for (int w = 0; w < kWorkers; ++w) {
      int32_t serial = shared_->lastSerial[w].load();
      if (w == index_ || serial == 0) continue;
      std::string key = std::to_string(serial);
      UNSIGNED16 found = 0;
      if (!Ok(AdsLookupKey(orders_[1], U8(key), static_cast<UNSIGNED16>(key.size()), ADS_STRINGKEY, &found), "lookup")) {
        return false;
      }
      if (!found) {
        std::fprintf(stderr, "worker %d, operation %d: serial %d that worker %d committed is not found\n", index_, op_,
                     serial, w);
        return false;
      }
      shared_->seen.fetch_add(1);
    }
    return true;
  }

  int index_;
  Shared* shared_;
  std::mt19937 rng_;
  ADSHANDLE conn_ = 0, table_ = 0;
  std::vector<ADSHANDLE> orders_;
  int op_ = -1;
  int32_t made_ = 0;
};

class IndexTwoProcesses : public ::testing::TestWithParam<UNSIGNED16> {
 protected:
  void SetUp() override {
    gTableType = GetParam();
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << LastText();
    ADSHANDLE t = 0;
    const char* fields = gTableType == ADS_ADT ? kFields : kDbfFields;
    ASSERT_EQ(AdsCreateTable90(conn_, U8("shared"), nullptr, gTableType, 1, 0, 0, 0, U8(fields), 0, nullptr, &t), 0u)
        << LastText();
    for (const TagModel& tag : Tags()) {
      ADSHANDLE h = 0;
      ASSERT_EQ(AdsCreateIndex90(t, nullptr, U8(tag.name), U8(tag.expr), tag.cond ? U8(tag.cond) : nullptr, nullptr, 0,
                                 0, nullptr, &h),
                0u)
          << tag.name << ": " << LastText();
    }
    std::mt19937 rng(7);
    for (int i = 1; i <= kSeedRecords; ++i) {
      std::string name = RandomName(rng);
      ASSERT_EQ(AdsAppendRecord(t), 0u) << LastText();
      ASSERT_EQ(AdsSetLong(t, U8("ID"), i), 0u);
      ASSERT_EQ(AdsSetLong(t, U8("SERIAL"), i), 0u);
      ASSERT_EQ(AdsSetString(t, U8("NAME"), U8(name), static_cast<UNSIGNED32>(name.size())), 0u);
      ASSERT_EQ(AdsSetJulian(t, U8("D"), kFirstDay + i % 40), 0u);
      ASSERT_EQ(AdsSetLong(t, U8("N"), i % 100), 0u);
      ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
    }
    // No table of this process may be open across the fork: a child would share its locks.
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }
  void TearDown() override {
    if (table_) AdsCloseTable(table_);
    AdsShowDeleted(0);
    AdsDisconnect(conn_);
  }

  std::vector<Rec> ReadRecords() {
    std::vector<Rec> out;
    UNSIGNED32 count = 0;
    EXPECT_EQ(AdsGetRecordCount(table_, ADS_IGNOREFILTERS, &count), 0u) << LastText();
    for (UNSIGNED32 r = 1; r <= count; ++r) {
      Rec rec;
      EXPECT_EQ(AdsGotoRecord(table_, r), 0u) << LastText();
      EXPECT_EQ(AdsGetLong(table_, U8("ID"), &rec.id), 0u);
      EXPECT_EQ(AdsGetLong(table_, U8("SERIAL"), &rec.serial), 0u);
      EXPECT_EQ(AdsGetLong(table_, U8("N"), &rec.n), 0u);
      EXPECT_EQ(AdsGetJulian(table_, U8("D"), &rec.day), 0u);
      UNSIGNED8 buf[64];
      UNSIGNED32 len = sizeof buf;
      EXPECT_EQ(AdsGetString(table_, U8("NAME"), buf, &len, 0), 0u);
      rec.name = Pad(std::string(reinterpret_cast<char*>(buf), len));
      UNSIGNED16 deleted = 0;
      EXPECT_EQ(AdsIsRecordDeleted(table_, &deleted), 0u);
      rec.deleted = deleted != 0;
      out.push_back(rec);
    }
    return out;
  }

  // The walk along a tag against the model's order, reported as records the tag holds too
  // often (surplus), too rarely (missing), and the first place where the orders part.
  static void ExpectSameWalk(const std::vector<UNSIGNED32>& walked, const std::vector<UNSIGNED32>& want) {
    if (walked == want) return;
    std::map<UNSIGNED32, int> balance;
    for (UNSIGNED32 r : walked) ++balance[r];
    for (UNSIGNED32 r : want) --balance[r];
    std::string surplus, missing;
    int surplusCount = 0, missingCount = 0;
    for (const auto& [r, b] : balance) {
      if (b > 0 && ++surplusCount <= 10) surplus += " " + std::to_string(r);
      if (b < 0 && ++missingCount <= 10) missing += " " + std::to_string(r);
    }
    size_t at = 0;
    while (at < walked.size() && at < want.size() && walked[at] == want[at]) ++at;
    ADD_FAILURE() << "the tag holds " << walked.size() << " entries, the records give " << want.size() << "; "
                  << surplusCount << " surplus (" << surplus << " ), " << missingCount << " missing (" << missing
                  << " ); the orders part at position " << at;
  }

  // Every tag against the records: the walk along it, its key count, and for each key the
  // record a hard seek of that key lands on.
  void CheckEveryTag(const std::vector<Rec>& recs) {
    for (const TagModel& tag : Tags()) {
      SCOPED_TRACE(tag.name);
      ADSHANDLE order = 0;
      ASSERT_EQ(AdsGetIndexHandle(table_, U8(tag.name), &order), 0u) << LastText();
      std::vector<std::pair<std::string, UNSIGNED32>> expected;
      for (size_t i = 0; i < recs.size(); ++i) {
        if (tag.includes(recs[i])) expected.emplace_back(tag.order(recs[i]), static_cast<UNSIGNED32>(i + 1));
      }
      std::sort(expected.begin(), expected.end());
      std::vector<UNSIGNED32> want, walked;
      for (const auto& e : expected) want.push_back(e.second);
      ASSERT_EQ(AdsGotoTop(order), 0u) << LastText();
      for (;;) {
        UNSIGNED16 eof = 0;
        ASSERT_EQ(AdsAtEOF(table_, &eof), 0u);
        if (eof) break;
        UNSIGNED32 r = 0;
        ASSERT_EQ(AdsGetRecordNum(table_, ADS_IGNOREFILTERS, &r), 0u);
        walked.push_back(r);
        ASSERT_LE(walked.size(), 2 * want.size() + 100) << "the walk does not end";
        ASSERT_EQ(AdsSkip(order, 1), 0u) << LastText();
      }
      ExpectSameWalk(walked, want);
      UNSIGNED32 keys = 0;
      ASSERT_EQ(AdsGetKeyCount(order, ADS_IGNOREFILTERS, &keys), 0u) << LastText();
      EXPECT_EQ(keys, want.size());
      // The first record of each key value is where a seek of that value lands.
      int wrong = 0;
      for (size_t i = 0; i < expected.size(); ++i) {
        if (i > 0 && expected[i].first == expected[i - 1].first) continue;
        std::string text = tag.seekText(recs[expected[i].second - 1]);
        UNSIGNED16 found = 0;
        ASSERT_EQ(AdsSeek(order, U8(text), static_cast<UNSIGNED16>(text.size()), ADS_STRINGKEY, ADS_HARDSEEK, &found),
                  0u)
            << LastText();
        UNSIGNED32 r = 0;
        if (found) {
          ASSERT_EQ(AdsGetRecordNum(table_, ADS_IGNOREFILTERS, &r), 0u);
        }
        if (!found || r != expected[i].second) {
          if (++wrong <= 5) ADD_FAILURE() << "seeking \"" << text << "\" lands on " << r << ", not " << expected[i].second;
        }
      }
      EXPECT_EQ(wrong, 0);
    }
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0;
  ADSHANDLE table_ = 0;
};

TEST_P(IndexTwoProcesses, ConcurrentChangesLeaveEveryTagAgreeingWithTheTable) {
  void* mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  Shared* shared = new (mem) Shared();
  for (auto& s : shared->lastSerial) s.store(0);
  shared->seen.store(0);
  std::vector<pid_t> pids;
  for (int w = 0; w < kWorkers; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Worker worker(w, shared);
      _exit(worker.Run(ws_.WinFolder()) ? 0 : 1);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "a worker died";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a worker failed (its message is above)";
  }
  // Serials stay published after their worker ends, so whatever the timing, later lookups ran.
  EXPECT_GT(shared->seen.load(), 0);
  munmap(mem, sizeof(Shared));

  // Deleted records keep their keys: the check walks them too.
  AdsShowDeleted(1);
  ASSERT_EQ(AdsOpenTable90(conn_, U8("shared"), nullptr, gTableType, 1, 0, 0, 0, nullptr, &table_), 0u) << LastText();
  std::vector<Rec> recs = ReadRecords();
  EXPECT_GT(recs.size(), static_cast<size_t>(kSeedRecords + kWorkers * kOpsEach / 5));
  CheckEveryTag(recs);

  // The admin shell's check agrees: every tag against the records, stored keys included.
  const char* type = gTableType == ADS_CDX ? "cdx" : gTableType == ADS_NTX ? "ntx" : "adt";
  acetest::ToolRun verify =
      acetest::Aceadmin("verify-index " + acetest::Q(ws_.WinFolder()) + " shared --type " + std::string(type));
  EXPECT_EQ(verify.status, 0) << verify.output;
  for (const TagModel& tag : Tags()) EXPECT_NE(verify.output.find(std::string(tag.name)), std::string::npos) << verify.output;
}

INSTANTIATE_TEST_SUITE_P(TableTypes, IndexTwoProcesses, ::testing::Values(ADS_ADT, ADS_CDX, ADS_NTX),
                         [](const auto& info) {
                           return std::string(info.param == ADS_CDX ? "cdx" : info.param == ADS_NTX ? "ntx" : "adt");
                         });

}  // namespace
