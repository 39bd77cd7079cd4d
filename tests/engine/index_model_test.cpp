// Index orders through the C interface against an in-memory model of the same keys: thousands of
// random appends, edits, deletions and recalls on a table with plain, descending, unique,
// candidate, conditional and compound tags; after every batch each order's walk in both
// directions, counts, key numbers, soft, hard and last seeks, scopes given as text, UTF-16 and
// raw keys, and relative positions agree with the model. Pack and zap leave every tag agreeing
// with the table. The same runs go over tags in the native structural file, in a CDX compound
// file and in NTX files (one order each), and over the CDX tags of a FoxPro-compatible table
// whose text keys follow a case-insensitive FoxPro collation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace {

using acetest::U8;

struct Rec {
  int id = 0;
  std::string name;  // 1 to 4 letters of A..C: many duplicates and shared prefixes
  int n = 0;         // 0..99
  bool deleted = false;
};

std::string Pad(const std::string& s, size_t width) { return (s + std::string(width, ' ')).substr(0, width); }
std::string Digits(int v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, v);
  return buf;
}
std::string Upper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return s;
}
std::string Str3(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3d", v);
  return buf;
}

// A tag as the engine gets it, and how the model orders and selects its records. `key` returns
// a text whose byte order is the tag's order; `seekKey` turns the text a caller seeks with into
// the same space (a prefix for partial text keys).
struct TagModel {
  const char* name;
  const char* expr;
  const char* cond;
  UNSIGNED32 options;
  std::function<std::string(const Rec&)> key;
  std::function<bool(const Rec&)> includes;
  std::function<std::string(const std::string&)> seekKey;
  bool text;  // seeks and scopes with partial text keys
};

const std::vector<TagModel>& Tags() {
  static const std::vector<TagModel> tags = {
      {"BYNAME", "NAME", nullptr, 0, [](const Rec& r) { return Upper(Pad(r.name, 4)); }, [](const Rec&) { return true; },
       [](const std::string& s) { return Upper(s); }, true},
      {"BYNDESC", "N", nullptr, ADS_DESCENDING, [](const Rec& r) { return Digits(999 - r.n, 3); },
       [](const Rec&) { return true; }, [](const std::string& s) { return Digits(999 - std::stoi(s), 3); }, false},
      {"BYNUNIQ", "N", nullptr, ADS_UNIQUE, [](const Rec& r) { return Digits(r.n, 3); }, [](const Rec&) { return true; },
       [](const std::string& s) { return Digits(std::stoi(s), 3); }, false},
      {"BYCOND", "NAME", "N >= 50", 0, [](const Rec& r) { return Upper(Pad(r.name, 4)); },
       [](const Rec& r) { return r.n >= 50; }, [](const std::string& s) { return Upper(s); }, true},
      {"BYID", "ID", nullptr, ADS_CANDIDATE, [](const Rec& r) { return Digits(r.id, 7); }, [](const Rec&) { return true; },
       [](const std::string& s) { return Digits(std::stoi(s), 7); }, false},
      {"BYCOMP", "NAME+STR(N,3)", nullptr, 0, [](const Rec& r) { return Upper(Pad(r.name, 4)) + Str3(r.n); },
       [](const Rec&) { return true; }, [](const std::string& s) { return Upper(s); }, true},
  };
  return tags;
}

struct Entry {
  std::string key;
  UNSIGNED32 recno;
  bool deleted;
};

// The entries of a tag in its order: key, then record number; a unique tag keeps the lowest
// record of each key. A descending CDX tag is its file read backwards: equal keys come in
// descending record order.
std::vector<Entry> EntriesOf(const TagModel& t, const std::vector<Rec>& recs, bool recordsDescending = false) {
  std::vector<Entry> out;
  for (size_t i = 0; i < recs.size(); ++i) {
    if (t.includes(recs[i])) out.push_back({t.key(recs[i]), static_cast<UNSIGNED32>(i + 1), recs[i].deleted});
  }
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
    return a.key != b.key ? a.key < b.key : a.recno < b.recno;
  });
  if (t.options & ADS_UNIQUE) {
    out.erase(std::unique(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.key == b.key; }),
              out.end());
  }
  if (recordsDescending) {
    std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
      return a.key != b.key ? a.key < b.key : a.recno > b.recno;
    });
  }
  return out;
}

std::vector<UNSIGNED32> Visible(const std::vector<Entry>& entries) {
  std::vector<UNSIGNED32> out;
  for (const Entry& e : entries) {
    if (!e.deleted) out.push_back(e.recno);
  }
  return out;
}

// Where the tags live: "adi" the table's structural index, "cdx" one compound file opened beside
// it, "ntx" one file per tag; "cdxtable" and "ntxtable" are DBF tables with their own index
// files (the structural .cdx; an NTX file per tag, opened with the table); "vfptable" a FoxPro
// table whose CDX tags take a case-insensitive collation, with names in both letter cases (the
// model keys texts upper-cased, which orders them as the collation does: letters of one case
// compare alike and blanks before letters, so only the record number tells "ab" from "AB").
class IndexModel : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_EQ(AdsConnect60(U8(ws_.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_), 0u) << acetest::Last().text;
    const char* fields = Kind() == "cdxtable" || Kind() == "ntxtable" ? "ID,Numeric,7,0;NAME,Char,4;N,Numeric,3,0"
                                                                     : "ID,Integer;NAME,Char,4;N,Integer";
    ASSERT_EQ(AdsCreateTable90(conn_, U8("model"), nullptr, TableType(), 1, 0, 0, 0, U8(fields), 0, nullptr, &table_),
              0u)
        << acetest::Last().text;
    // Half of the tags exist before the first record (kept by every change), the rest are built
    // over the records already there.
    for (size_t i = 0; i < 3; ++i) CreateTag(i);
  }
  void TearDown() override {
    if (table_) AdsCloseTable(table_);
    AdsDisconnect(conn_);
  }

  std::string Kind() const { return GetParam(); }
  UNSIGNED16 TableType() const {
    if (Kind() == "cdxtable") return ADS_CDX;
    if (Kind() == "ntxtable") return ADS_NTX;
    if (Kind() == "vfptable") return ADS_VFP;
    return ADS_ADT;
  }
  // The collation of the tags; in the others, names are upper case and any byte order serves.
  const char* Collation() const { return Kind() == "vfptable" ? "GENERAL_VFP_CI_AS_1252" : nullptr; }
  bool MixedCase() const { return Kind() == "vfptable"; }
  // The index file of a tag (none for the structural one).
  std::string FileOf(size_t i) const {
    if (Kind() == "cdx") return "model.cdx";
    if (Kind() == "ntx") return std::string(Tags()[i].name) + ".ntx";
    return {};
  }
  bool RecordsDescending(size_t i) const {
    return (Kind() == "cdx" || Kind() == "cdxtable" || Kind() == "vfptable") && (Tags()[i].options & ADS_DESCENDING);
  }
  // After the table opens again: the files that are not structural are opened by name.
  void OpenFilesAgain() {
    std::vector<std::string> done;
    for (size_t i = 0; i < orders_.size(); ++i) {
      std::string file = FileOf(i);
      if (file.empty() || std::find(done.begin(), done.end(), file) != done.end()) continue;
      ADSHANDLE handles[16];
      UNSIGNED16 n = 16;
      ASSERT_EQ(AdsOpenIndex(table_, U8(file), handles, &n), 0u) << file << ": " << acetest::Last().text;
      done.push_back(file);
    }
  }

  void CreateTag(size_t i) {
    const TagModel& t = Tags()[i];
    ADSHANDLE h = 0;
    std::string file = FileOf(i);
    ASSERT_EQ(AdsCreateIndex90(table_, file.empty() ? nullptr : U8(file), U8(t.name), U8(t.expr), t.cond ? U8(t.cond) : nullptr, nullptr,
                               t.options, 0, Collation() ? U8(Collation()) : nullptr, &h),
              0u)
        << t.name << ": " << acetest::Last().text;
    if (orders_.size() <= i) orders_.resize(i + 1);
    orders_[i] = h;
  }

  void Write(const Rec& r) {
    ASSERT_EQ(AdsSetLong(table_, U8("ID"), r.id), 0u);
    ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8(r.name), static_cast<UNSIGNED32>(r.name.size())), 0u);
    ASSERT_EQ(AdsSetLong(table_, U8("N"), r.n), 0u);
    ASSERT_EQ(AdsWriteRecord(table_), 0u) << acetest::Last().text;
  }

  Rec Random() {
    Rec r;
    r.id = nextId_++;
    int len = 1 + static_cast<int>(rng_() % 4);
    for (int i = 0; i < len; ++i) r.name += static_cast<char>((MixedCase() && rng_() % 2 ? 'a' : 'A') + rng_() % 3);
    r.n = static_cast<int>(rng_() % 100);
    return r;
  }

  void RandomOperations(int count) {
    for (int op = 0; op < count; ++op) {
      unsigned dice = rng_() % 100;
      if (recs_.empty() || dice < 55) {
        Rec r = Random();
        ASSERT_EQ(AdsAppendRecord(table_), 0u);
        Write(r);
        recs_.push_back(r);
        continue;
      }
      UNSIGNED32 recno = static_cast<UNSIGNED32>(1 + rng_() % recs_.size());
      Rec& r = recs_[recno - 1];
      ASSERT_EQ(AdsGotoRecord(table_, recno), 0u) << acetest::Last().text;
      if (dice < 80) {
        Rec changed = Random();
        changed.id = r.id;
        changed.deleted = r.deleted;
        if (dice < 65) changed.n = r.n;  // a name-only change moves the record in some tags only
        Write(changed);
        r = changed;
      } else if (dice < 90) {
        ASSERT_EQ(AdsDeleteRecord(table_), 0u) << acetest::Last().text;
        r.deleted = true;
      } else if (dice < 97) {
        ASSERT_EQ(AdsRecallRecord(table_), 0u) << acetest::Last().text;
        r.deleted = false;
      } else {
        // The candidate tag refuses the key of another record, and the refusal changes nothing.
        const Rec& other = recs_[rng_() % recs_.size()];
        if (other.id == r.id || orders_.size() <= 4) continue;
        ASSERT_EQ(AdsSetLong(table_, U8("ID"), other.id), 0u);
        ASSERT_EQ(AdsSetString(table_, U8("NAME"), U8("CCCC"), 4), 0u);
        EXPECT_EQ(AdsWriteRecord(table_), AE_DUPLICATE_KEY) << acetest::Last().text;
        ASSERT_EQ(AdsCancelUpdate(table_), 0u) << acetest::Last().text;
      }
    }
  }

  UNSIGNED32 RecNo() {
    UNSIGNED32 r = 0;
    EXPECT_EQ(AdsGetRecordNum(table_, ADS_IGNOREFILTERS, &r), 0u);
    return r;
  }
  bool AtEOF(ADSHANDLE h) {
    UNSIGNED16 eof = 0;
    EXPECT_EQ(AdsAtEOF(h, &eof), 0u);
    return eof != 0;
  }

  std::vector<UNSIGNED32> Walk(ADSHANDLE order, bool backwards) {
    std::vector<UNSIGNED32> out;
    EXPECT_EQ(backwards ? AdsGotoBottom(order) : AdsGotoTop(order), 0u) << acetest::Last().text;
    size_t cap = recs_.size() + 5;
    for (;;) {
      UNSIGNED16 end = 0;
      EXPECT_EQ(backwards ? AdsAtBOF(order, &end) : AdsAtEOF(order, &end), 0u);
      if (end || out.size() > cap) break;
      out.push_back(RecNo());
      if (AdsSkip(order, backwards ? -1 : 1) != 0) {
        ADD_FAILURE() << acetest::Last().text;
        break;
      }
    }
    if (backwards) std::reverse(out.begin(), out.end());
    return out;
  }

  // A text to seek with: a key some record has, or one nobody has.
  std::string SeekText(const TagModel& t) {
    if (t.text) {
      std::string s;
      int len = 1 + static_cast<int>(rng_() % 3);
      for (int i = 0; i < len; ++i) s += static_cast<char>((MixedCase() && rng_() % 2 ? 'a' : 'A') + rng_() % 4);  // D is in no name
      return s;
    }
    bool byId = std::string(t.name) == "BYID";
    if (!recs_.empty() && rng_() % 2) {
      const Rec& r = recs_[rng_() % recs_.size()];
      return std::to_string(byId ? r.id : r.n);
    }
    return std::to_string(rng_() % (byId ? nextId_ + 10 : 110));
  }

  // The first entry at or after `sought` (comparing as many bytes as it has) that a walk shows.
  static const Entry* FirstFrom(const std::vector<Entry>& entries, const std::string& sought) {
    for (const Entry& e : entries) {
      if (!e.deleted && e.key.compare(0, sought.size(), sought) >= 0) return &e;
    }
    return nullptr;
  }

  void CheckSeeks(size_t i, const std::vector<Entry>& entries) {
    const TagModel& t = Tags()[i];
    ADSHANDLE order = orders_[i];
    for (int probe = 0; probe < 25; ++probe) {
      std::string text = SeekText(t);
      std::string sought = t.seekKey(text);
      const Entry* expect = FirstFrom(entries, sought);
      bool expectFound = expect && expect->key.compare(0, sought.size(), sought) == 0;
      for (UNSIGNED16 type : {ADS_SOFTSEEK, ADS_HARDSEEK}) {
        UNSIGNED16 found = 9;
        ASSERT_EQ(AdsSeek(order, U8(text), static_cast<UNSIGNED16>(text.size()), ADS_STRINGKEY, type, &found), 0u)
            << acetest::Last().text;
        EXPECT_EQ(found, expectFound ? 1 : 0) << t.name << " seek " << text;
        if (expect && (expectFound || type == ADS_SOFTSEEK)) {
          EXPECT_FALSE(AtEOF(table_)) << t.name << " seek " << text;
          EXPECT_EQ(RecNo(), expect->recno) << t.name << " seek " << text << " type " << type;
        } else {
          EXPECT_TRUE(AtEOF(table_)) << t.name << " seek " << text << " type " << type;
        }
      }
      // The last visible entry with the key.
      const Entry* last = nullptr;
      for (const Entry& e : entries) {
        if (!e.deleted && e.key.compare(0, sought.size(), sought) == 0) last = &e;
      }
      UNSIGNED16 found = 9;
      ASSERT_EQ(AdsSeekLast(order, U8(text), static_cast<UNSIGNED16>(text.size()), ADS_STRINGKEY, &found), 0u)
          << acetest::Last().text;
      EXPECT_EQ(found, last ? 1 : 0) << t.name << " seek last " << text;
      if (last) EXPECT_EQ(RecNo(), last->recno) << t.name << " seek last " << text;
      else EXPECT_TRUE(AtEOF(table_));
    }
  }

  void CheckKeyNumbers(size_t i, const std::vector<Entry>& entries) {
    ADSHANDLE order = orders_[i];
    std::vector<UNSIGNED32> visible = Visible(entries);
    for (int probe = 0; probe < 20 && !visible.empty(); ++probe) {
      size_t v = rng_() % visible.size();
      UNSIGNED32 recno = visible[v];
      size_t at = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.recno == recno; }) -
                  entries.begin();
      ASSERT_EQ(AdsGotoRecord(table_, recno), 0u);
      UNSIGNED32 num = 0;
      ASSERT_EQ(AdsGetKeyNum(order, ADS_IGNOREFILTERS, &num), 0u) << acetest::Last().text;
      EXPECT_EQ(num, at + 1) << Tags()[i].name << " record " << recno;
      ASSERT_EQ(AdsGetKeyNum(order, ADS_RESPECTFILTERS, &num), 0u) << acetest::Last().text;
      EXPECT_EQ(num, v + 1) << Tags()[i].name << " record " << recno << " among the shown ones";
      // A relative position leads back to the record it was taken at.
      DOUBLE pos = -1;
      ASSERT_EQ(AdsGetRelKeyPos(order, &pos), 0u) << acetest::Last().text;
      EXPECT_GE(pos, 0.0);
      EXPECT_LE(pos, 1.0);
      ASSERT_EQ(AdsSetRelKeyPos(order, pos), 0u) << acetest::Last().text;
      EXPECT_EQ(RecNo(), recno) << Tags()[i].name << " relative position " << pos;
    }
    // The ends of the relative positions are the first and the last record a walk shows.
    for (DOUBLE pos : {0.0, 1.0}) {
      ASSERT_EQ(AdsSetRelKeyPos(order, pos), 0u) << acetest::Last().text;
      if (visible.empty()) {
        EXPECT_TRUE(AtEOF(table_));
      } else {
        EXPECT_FALSE(AtEOF(table_)) << Tags()[i].name << " relative position " << pos;
        EXPECT_EQ(RecNo(), pos == 0.0 ? visible.front() : visible.back()) << Tags()[i].name << " relative position " << pos;
      }
    }
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetKeyCount(order, ADS_IGNOREFILTERS, &count), 0u);
    EXPECT_EQ(count, entries.size()) << Tags()[i].name;
    ASSERT_EQ(AdsGetKeyCount(order, ADS_RESPECTFILTERS, &count), 0u);
    EXPECT_EQ(count, visible.size()) << Tags()[i].name;
  }

  // The model's keys of records, for failure messages.
  std::string Describe(const TagModel& t, const std::vector<UNSIGNED32>& recnos) {
    std::string out = "; keys:";
    for (UNSIGNED32 r : recnos) {
      out += " " + std::to_string(r) + "=[" + (r >= 1 && r <= recs_.size() ? t.key(recs_[r - 1]) : "?") + "]";
      if (r >= 1 && r <= recs_.size() && recs_[r - 1].deleted) out += "(deleted)";
    }
    return out;
  }

  // Sets a scope as text, UTF-16 text or the raw key the engine extracts from a record.
  void SetScope(ADSHANDLE order, UNSIGNED16 bound, const std::string& text, int form) {
    if (form == 0) {
      ASSERT_EQ(AdsSetScope(order, bound, U8(text), static_cast<UNSIGNED16>(text.size()), ADS_STRINGKEY), 0u)
          << acetest::Last().text;
    } else {
      std::u16string wide(text.begin(), text.end());
      ASSERT_EQ(AdsSetScope(order, bound, reinterpret_cast<UNSIGNED8*>(wide.data()),
                            static_cast<UNSIGNED16>(2 * wide.size()), ADS_WSTRINGKEY),
                0u)
          << acetest::Last().text;
    }
  }

  void CheckScopes(size_t i, const std::vector<Entry>& entries) {
    const TagModel& t = Tags()[i];
    ADSHANDLE order = orders_[i];
    for (int probe = 0; probe < 6; ++probe) {
      std::string a = SeekText(t), b = SeekText(t);
      if (t.seekKey(a) > t.seekKey(b)) std::swap(a, b);
      std::string lo = t.seekKey(a), hi = t.seekKey(b);
      std::vector<UNSIGNED32> expect;
      size_t inScope = 0;
      for (const Entry& e : entries) {
        if (e.key.compare(0, lo.size(), lo) < 0 || e.key.compare(0, hi.size(), hi) > 0) continue;
        ++inScope;
        if (!e.deleted) expect.push_back(e.recno);
      }
      int form = probe % 2;
      SetScope(order, ADS_TOP, a, form);
      SetScope(order, ADS_BOTTOM, b, form);
      EXPECT_EQ(Walk(order, false), expect) << t.name << " scope " << a << ".." << b << Describe(t, Walk(order, false));
      EXPECT_EQ(Walk(order, true), expect) << t.name << " scope " << a << ".." << b << " backwards";
      UNSIGNED32 count = 0;
      ASSERT_EQ(AdsGetKeyCount(order, ADS_RESPECTSCOPES, &count), 0u);
      EXPECT_EQ(count, inScope) << t.name << " scope " << a << ".." << b;
      if (!expect.empty()) {
        // Key numbers count within the scope.
        ASSERT_EQ(AdsGotoRecord(table_, expect.front()), 0u);
        UNSIGNED32 num = 0;
        ASSERT_EQ(AdsGetKeyNum(order, ADS_RESPECTSCOPES, &num), 0u);
        size_t first = 0;
        for (const Entry& e : entries) {
          if (e.key.compare(0, lo.size(), lo) < 0) continue;
          ++first;
          if (e.recno == expect.front()) break;
        }
        EXPECT_EQ(num, first) << t.name << " key number in scope";
      }
      ASSERT_EQ(AdsClearScope(order, ADS_TOP), 0u);
      ASSERT_EQ(AdsClearScope(order, ADS_BOTTOM), 0u);
      EXPECT_EQ(AdsClearScope(order, ADS_BOTTOM), AE_NO_SCOPE);
      EXPECT_EQ(AdsGetScope(order, ADS_TOP, nullptr, nullptr), AE_NO_SCOPE);
    }
    // A raw scope taken from a record's own key holds exactly the records with that key.
    std::vector<UNSIGNED32> visible = Visible(entries);
    if (visible.empty()) return;
    UNSIGNED32 recno = visible[rng_() % visible.size()];
    ASSERT_EQ(AdsGotoRecord(table_, recno), 0u);
    UNSIGNED8 key[64];
    UNSIGNED16 len = sizeof key;
    ASSERT_EQ(AdsExtractKey(order, key, &len), 0u) << acetest::Last().text;
    UNSIGNED16 keyLength = 0;
    ASSERT_EQ(AdsGetKeyLength(order, &keyLength), 0u);
    EXPECT_EQ(len, keyLength);
    ASSERT_EQ(AdsSetScope(order, ADS_TOP, key, len, ADS_RAWKEY), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSetScope(order, ADS_BOTTOM, key, len, ADS_RAWKEY), 0u) << acetest::Last().text;
    UNSIGNED8 back[64];
    UNSIGNED16 backLen = sizeof back;
    ASSERT_EQ(AdsGetScope(order, ADS_TOP, back, &backLen), 0u);
    EXPECT_EQ(std::vector<UNSIGNED8>(back, back + backLen), std::vector<UNSIGNED8>(key, key + len));
    std::string own = t.key(recs_[recno - 1]);
    std::vector<UNSIGNED32> expect;
    for (const Entry& e : entries) {
      if (e.key == own && !e.deleted) expect.push_back(e.recno);
    }
    EXPECT_EQ(Walk(order, false), expect) << t.name << " raw scope of record " << recno;
    ASSERT_EQ(AdsClearAllScopes(table_), 0u);
  }

  void CheckAll(const std::string& when) {
    SCOPED_TRACE(when);
    for (size_t i = 0; i < orders_.size(); ++i) {
      if (!orders_[i]) continue;
      SCOPED_TRACE(Tags()[i].name);
      std::vector<Entry> entries = EntriesOf(Tags()[i], recs_, RecordsDescending(i));
      std::vector<UNSIGNED32> visible = Visible(entries);
      EXPECT_EQ(Walk(orders_[i], false), visible);
      EXPECT_EQ(Walk(orders_[i], true), visible);
      CheckKeyNumbers(i, entries);
      CheckSeeks(i, entries);
      CheckScopes(i, entries);
      if (HasFailure()) return;  // one clear report, not thousands
    }
  }

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0, table_ = 0;
  std::vector<ADSHANDLE> orders_;
  std::vector<Rec> recs_;
  std::mt19937 rng_{20261210};
  int nextId_ = 1;
};

TEST_P(IndexModel, EveryOrderAgreesWithTheModelThroughRandomChanges) {
  RandomOperations(800);
  CheckAll("before the other tags exist");
  for (size_t i = 3; i < Tags().size(); ++i) CreateTag(i);
  CheckAll("after building the other tags over the records");
  for (int round = 0; round < 3; ++round) {
    RandomOperations(1000);
    CheckAll("after round " + std::to_string(round));
    if (HasFailure()) return;
  }
  // The orders are in the files: a fresh open sees the same.
  AdsCloseTable(table_);
  ASSERT_EQ(AdsOpenTable90(conn_, U8("model"), nullptr, TableType(), 0, 0, 0, 0, nullptr, &table_), 0u) << acetest::Last().text;
  OpenFilesAgain();
  for (size_t i = 0; i < orders_.size(); ++i) {
    ASSERT_EQ(AdsGetIndexHandle(table_, U8(Tags()[i].name), &orders_[i]), 0u) << acetest::Last().text;
  }
  CheckAll("after opening the table again");
}

TEST_P(IndexModel, PackAndZapLeaveEveryTagAgreeingWithTheTable) {
  for (size_t i = 3; i < Tags().size(); ++i) CreateTag(i);
  RandomOperations(1500);
  AdsCloseTable(table_);
  ASSERT_EQ(AdsOpenTable90(conn_, U8("model"), nullptr, TableType(), 0, 0, 0, ADS_EXCLUSIVE, nullptr, &table_), 0u)
      << acetest::Last().text;
  OpenFilesAgain();
  for (size_t i = 0; i < orders_.size(); ++i) {
    ASSERT_EQ(AdsGetIndexHandle(table_, U8(Tags()[i].name), &orders_[i]), 0u) << acetest::Last().text;
  }
  ASSERT_EQ(AdsPackTable(table_), 0u) << acetest::Last().text;
  std::vector<Rec> kept;
  for (const Rec& r : recs_) {
    if (!r.deleted) kept.push_back(r);
  }
  ASSERT_LT(kept.size(), recs_.size());  // the pack removed something
  recs_ = kept;
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(table_, ADS_IGNOREFILTERS, &count), 0u);
  ASSERT_EQ(count, recs_.size());
  CheckAll("after the pack");
  RandomOperations(300);
  CheckAll("after changes following the pack");

  ASSERT_EQ(AdsZapTable(table_), 0u) << acetest::Last().text;
  recs_.clear();
  CheckAll("after the zap");
  RandomOperations(200);
  CheckAll("after changes following the zap");
}

INSTANTIATE_TEST_SUITE_P(IndexFiles, IndexModel, ::testing::Values("adi", "cdx", "ntx", "cdxtable", "ntxtable", "vfptable"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
