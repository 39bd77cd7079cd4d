// Filters of a dataset on a real table of a few thousand random records, checked against the
// same records held in memory: navigation both ways, RecordCount and the Find operations with a
// Filter text (optimised and not), with OnFilterRecord, with both, and along ranges and scopes;
// the optimisation level the engine reports; a Filter text the engine refuses; and the handler's
// own rules (its failures, calculated fields, the filtered key search).
#include <gtest/gtest.h>

#include <QDate>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>

#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "runtime/data/exception_handler.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

std::string Message(const Exception& e) {
  return e.Message().toStdString();
}

// One record of the table and of the model.
struct Item {
  int id;  // also the record number
  QString name;
  QString city;  // "" is a field left empty
  int n;
  double amt;
  int64_t julian;
  bool flag;
};

constexpr int kItems = 3000;
constexpr int kNameWidth = 12;
constexpr int kCityWidth = 8;

QString Padded(const QString& s, int width) {
  return s.leftJustified(width, u' ', true);
}
// Text "=" with the exact setting off: the field's text cut (or padded) to the literal's length.
bool StartsAs(const QString& field, int width, const QString& literal) {
  return Padded(field, width).left(literal.size()) == literal;
}

using Predicate = std::function<bool(const Item&)>;

struct FilterCase {
  const char* text;
  Predicate holds;
  uint16_t level;  // what AdsGetAOFOptLevel reports for the optimised filter
};

const int64_t kJan2020 = QDate(2020, 1, 1).toJulianDay();

std::vector<FilterCase> Cases() {
  const int64_t jun2021 = QDate(2021, 6, 1).toJulianDay();
  const int64_t jan2022 = QDate(2022, 1, 1).toJulianDay();
  return {
      {"N < 300", [](const Item& i) { return i.n < 300; }, 1},
      {"CITY = 'Os'", [](const Item& i) { return i.city == "Os"; }, 1},
      {"CITY = 'Os*'", [](const Item& i) { return StartsAs(i.city, kCityWidth, "Os"); }, 1},
      {"N >= 200 .AND. AMT < 50", [](const Item& i) { return i.n >= 200 && i.amt < 50; }, 2},
      {"AMT < 25", [](const Item& i) { return i.amt < 25; }, 3},
      {"D >= {^2021-06-01} .AND. D < {^2022-01-01}",
       [=](const Item& i) { return i.julian >= jun2021 && i.julian < jan2022; }, 1},
      {"FLAG .OR. N < 10", [](const Item& i) { return i.flag || i.n < 10; }, 3},
      {"NAME = 'Ke*' .AND. .NOT. FLAG",
       [](const Item& i) { return StartsAs(i.name, kNameWidth, "Ke") && !i.flag; }, 2},
  };
}

// The handler the tests combine with the Filter texts.
bool HandlerAccepts(int id) {
  return id % 3 != 0;
}

// A folder with "items" (ID, NAME, CITY, N, AMT, D, FLAG) holding kItems random records and
// tags on NAME, CITY, N and D, made once for the suite; the model holds the same records.
class FilterModel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testenv::TempDir();
    items_ = new std::vector<Item>();
    ADSHANDLE folder = ConnectFolder(dir_->str());
    ADSHANDLE t = CreateTable(
        folder, "items", "ID,Integer;NAME,Char,12;CITY,Char,8;N,Integer;AMT,Double;D,Date;FLAG,Logical;");
    std::mt19937 rng(20240315);
    const char* syllables[] = {"Ba", "Ke", "Lo", "Mi", "Su", "Ta"};
    const char* cities[] = {"Oslo", "Bergen", "Bodo", "Os", "Tromso", "Bjorli", ""};
    for (int id = 1; id <= kItems; ++id) {
      Item item;
      item.id = id;
      const int parts = 2 + static_cast<int>(rng() % 3);
      for (int p = 0; p < parts; ++p) item.name += syllables[rng() % 6];
      item.city = cities[rng() % 7];
      item.n = static_cast<int>(rng() % 1000);
      item.amt = static_cast<double>(rng() % 10000) / 100.0;
      item.julian = kJan2020 + static_cast<int64_t>(rng() % 1000);
      item.flag = rng() % 2 == 0;
      EXPECT_EQ(AdsAppendRecord(t), 0u) << LastError();
      SetLong(t, "ID", id);
      SetString(t, "NAME", item.name);
      if (!item.city.isEmpty()) SetString(t, "CITY", item.city);
      SetLong(t, "N", item.n);
      QByteArray amt("AMT"), d("D"), flag("FLAG");
      EXPECT_EQ(AdsSetDouble(t, A(amt), item.amt), 0u) << LastError();
      EXPECT_EQ(AdsSetJulian(t, A(d), static_cast<SIGNED32>(item.julian)), 0u) << LastError();
      EXPECT_EQ(AdsSetLogical(t, A(flag), item.flag ? 1 : 0), 0u) << LastError();
      EXPECT_EQ(AdsWriteRecord(t), 0u) << LastError();
      items_->push_back(item);
    }
    for (const char* tag : {"NAME", "CITY", "N", "D"}) {
      QByteArray name(tag);
      ADSHANDLE order = 0;
      EXPECT_EQ(AdsCreateIndex90(t, nullptr, A(name), A(name), nullptr, nullptr, 2, 512, nullptr, &order), 0u)
          << tag << " " << LastError();
    }
    EXPECT_EQ(AdsCloseTable(t), 0u);
    EXPECT_EQ(AdsDisconnect(folder), 0u);
  }
  static void TearDownTestSuite() {
    delete items_;
    delete dir_;
  }

  void SetUp() override {
    ace_binding::ResetForTesting();
    con_.SetAdsServerTypes(AdsServerTypeBit(stADS_LOCAL));
    con_.SetLoginPrompt(false);
    con_.SetConnectPath(QString::fromStdString(dir_->str()));
  }
  void TearDown() override {
    for (auto& t : tables_) {
      t->Close();
      t->SetAdsConnection(nullptr);
    }
  }

  TAdsTable& Table(const char* name) {
    tables_.push_back(std::make_unique<TAdsTable>(nullptr));
    TAdsTable& t = *tables_.back();
    t.SetName(name);
    t.SetAdsConnection(&con_);
    t.SetTableName("items");
    return t;
  }

  // The records the model admits, in record order, or in the order of `less`.
  static std::vector<int> Expected(const Predicate& holds,
                                   const std::function<bool(const Item&, const Item&)>& less = {}) {
    std::vector<Item> chosen;
    for (const Item& i : *items_)
      if (holds(i)) chosen.push_back(i);
    if (less) std::stable_sort(chosen.begin(), chosen.end(), less);
    std::vector<int> ids;
    for (const Item& i : chosen) ids.push_back(i.id);
    return ids;
  }

  static std::vector<int> Walk(TDataSet& d, bool forward = true) {
    std::vector<int> ids;
    if (forward) {
      for (d.First(); !d.Eof(); d.Next()) ids.push_back(d.FieldByName("ID")->AsInteger());
    } else {
      for (d.Last(); !d.Bof(); d.Prior()) ids.push_back(d.FieldByName("ID")->AsInteger());
    }
    return ids;
  }

  static testenv::TempDir* dir_;
  static std::vector<Item>* items_;
  TAdsConnection con_{nullptr};
  std::vector<std::unique_ptr<TAdsTable>> tables_;
};

testenv::TempDir* FilterModel::dir_ = nullptr;
std::vector<Item>* FilterModel::items_ = nullptr;

void UseHandler(TDataSet& d) {
  d.SetOnFilterRecord(
      [](TDataSet* ds, bool& accept) { accept = HandlerAccepts(ds->FieldByName("ID")->AsInteger()); });
}

}  // namespace

TEST_F(FilterModel, NavigationAndCountsFollowTheFilter) {
  for (const FilterCase& c : Cases()) {
    for (bool optimised : {true, false}) {
      SCOPED_TRACE(std::string(c.text) + (optimised ? " (optimised)" : " (expression filter)"));
      TAdsTable& tb = Table("tb");
      tb.AdsTableOptions().SetAdsOptimizedFilters(optimised);
      tb.SetFilter(c.text);
      tb.SetFiltered(true);
      tb.Open();
      const std::vector<int> expected = Expected(c.holds);
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(Walk(tb), expected);
      EXPECT_EQ(Walk(tb, false), std::vector<int>(expected.rbegin(), expected.rend()));
      EXPECT_EQ(tb.RecordCount(), kItems);
      tb.AdsTableOptions().SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
      EXPECT_EQ(tb.RecordCount(), static_cast<int>(expected.size()));
      UNSIGNED16 level = 0;
      const UNSIGNED32 rc = AdsGetAOFOptLevel(tb.Handle(), &level, nullptr, nullptr);
      if (optimised) {
        EXPECT_EQ(rc, 0u);
        EXPECT_EQ(level, c.level);
      } else {
        EXPECT_EQ(rc, 5037u);  // an expression filter is not an optimised one
      }
      // Both the Filter text and OnFilterRecord decide.
      UseHandler(tb);
      tb.First();
      EXPECT_EQ(Walk(tb), Expected([&](const Item& i) { return c.holds(i) && HandlerAccepts(i.id); }));
      tb.Close();
      tables_.clear();
    }
  }
}

TEST_F(FilterModel, FindOperationsApplyTheFilterTextForTheSearchOnly) {
  for (const FilterCase& c : Cases()) {
    for (int variant = 0; variant < 3; ++variant) {
      const bool handler = variant == 1;
      const bool optimised = variant != 2;
      SCOPED_TRACE(std::string(c.text) + (handler ? " with OnFilterRecord" : "") +
                   (optimised ? "" : " (expression filter)"));
      TAdsTable& tb = Table("tb");
      tb.AdsTableOptions().SetAdsOptimizedFilters(optimised);
      tb.SetFilter(c.text);
      if (handler) UseHandler(tb);
      tb.Open();
      const std::vector<int> expected =
          Expected([&](const Item& i) { return c.holds(i) && (!handler || HandlerAccepts(i.id)); });
      std::vector<int> found;
      for (bool ok = tb.FindFirst(); ok && found.size() < 25; ok = tb.FindNext())
        found.push_back(tb.FieldByName("ID")->AsInteger());
      const size_t forward = std::min<size_t>(25, expected.size());
      EXPECT_EQ(found, std::vector<int>(expected.begin(), expected.begin() + static_cast<long>(forward)));
      found.clear();
      for (bool ok = tb.FindLast(); ok && found.size() < 25; ok = tb.FindPrior())
        found.push_back(tb.FieldByName("ID")->AsInteger());
      EXPECT_EQ(found, std::vector<int>(expected.rbegin(), expected.rbegin() + static_cast<long>(forward)));
      // The text was applied for the searches only.
      UNSIGNED16 length = 0;
      EXPECT_EQ(AdsGetAOF(tb.Handle(), nullptr, &length), 5037u);
      length = 0;
      EXPECT_EQ(AdsGetFilter(tb.Handle(), nullptr, &length), 5037u);
      if (!handler) {
        EXPECT_EQ(Walk(tb).size(), static_cast<size_t>(kItems));
      }
      tb.Close();
      tables_.clear();
    }
  }
}

TEST_F(FilterModel, RangesAndScopesNarrowTheFilteredRecords) {
  const auto byN = [](const Item& a, const Item& b) { return a.n < b.n; };
  const auto byCity = [](const Item& a, const Item& b) {
    return Padded(a.city, kCityWidth) < Padded(b.city, kCityWidth);
  };
  for (const FilterCase& c : Cases()) {
    SCOPED_TRACE(c.text);
    TAdsTable& tb = Table("tb");
    tb.SetFilter(c.text);
    tb.SetFiltered(true);
    tb.SetIndexName("N");
    tb.Open();
    tb.SetRange({200}, {700});
    EXPECT_EQ(Walk(tb), Expected([&](const Item& i) { return c.holds(i) && i.n >= 200 && i.n <= 700; }, byN));
    tb.CancelRange();
    tb.SetIndexName("CITY");
    tb.SetScopeBegin("Bergen");
    tb.SetScopeEnd("Bodo");
    tb.SetScoped(true);
    const std::vector<int> scoped = Expected(
        [&](const Item& i) {
          const QString city = Padded(i.city, kCityWidth);
          return c.holds(i) && city >= Padded("Bergen", kCityWidth) && city <= Padded("Bodo", kCityWidth);
        },
        byCity);
    EXPECT_EQ(Walk(tb), scoped);
    EXPECT_EQ(Walk(tb, false), std::vector<int>(scoped.rbegin(), scoped.rend()));
    tb.Close();
    tables_.clear();
  }
}

TEST_F(FilterModel, AFilterTextTheEngineRefusesLeavesTheDatasetAsItWas) {
  TAdsTable& tb = Table("tb");
  tb.SetFilter("N < 300");
  tb.SetFiltered(true);
  tb.Open();
  const std::vector<int> under300 = Expected([](const Item& i) { return i.n < 300; });
  for (const char* bad : {"N <", "N < 'x'", "NOSUCH = 1", "N + 1"}) {
    SCOPED_TRACE(bad);
    try {
      tb.SetFilter(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EADSDatabaseError& e) {
      EXPECT_NE(Message(e).find("tb: "), std::string::npos) << Message(e);
      EXPECT_NE(e.ACEErrorCode(), 0u);
    }
    EXPECT_EQ(tb.Filter(), "N < 300");
    EXPECT_TRUE(tb.Filtered());
    EXPECT_EQ(Walk(tb), under300);
  }
  // The engine's message names the position of the fault.
  try {
    tb.SetFilter("N < 300 .AND. ) ");
    ADD_FAILURE() << "accepted";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(Message(e).find("position 15"), std::string::npos) << Message(e);
  }
  // Turning a refused text on leaves the dataset unfiltered.
  tb.SetFiltered(false);
  tb.SetFilter("N <");
  EXPECT_THROW(tb.SetFiltered(true), EADSDatabaseError);
  EXPECT_FALSE(tb.Filtered());
  EXPECT_EQ(Walk(tb).size(), static_cast<size_t>(kItems));
  // And an open with it fails and leaves the dataset closed.
  tb.Close();
  tb.SetFiltered(true);
  EXPECT_THROW(tb.Open(), EADSDatabaseError);
  EXPECT_FALSE(tb.Active());
}

TEST_F(FilterModel, ChangingTheKindOfFilterMovesItAndKeepsTheRecords) {
  TAdsTable& tb = Table("tb");
  tb.SetFilter("CITY = 'Os*' .AND. N < 500");
  tb.SetFiltered(true);
  tb.Open();
  const std::vector<int> expected =
      Expected([](const Item& i) { return StartsAs(i.city, kCityWidth, "Os") && i.n < 500; });
  UNSIGNED16 length = 0;
  EXPECT_EQ(AdsGetAOF(tb.Handle(), nullptr, &length), 5005u);
  length = 0;
  EXPECT_EQ(AdsGetFilter(tb.Handle(), nullptr, &length), 5037u);
  tb.AdsTableOptions().SetAdsOptimizedFilters(false);
  length = 0;
  EXPECT_EQ(AdsGetAOF(tb.Handle(), nullptr, &length), 5037u);
  length = 0;
  EXPECT_EQ(AdsGetFilter(tb.Handle(), nullptr, &length), 5005u);
  EXPECT_EQ(Walk(tb), expected);
  tb.SetFiltered(false);
  length = 0;
  EXPECT_EQ(AdsGetFilter(tb.Handle(), nullptr, &length), 5037u);
  EXPECT_EQ(Walk(tb).size(), static_cast<size_t>(kItems));
}

namespace {

// A small table for the rules of OnFilterRecord and the calls that put a filter on the engine:
// "dup" (ID, NAME) with the names Ann, Bob, Bob, Cy and a tag on NAME.
class FilterRules : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "dup", "ID,Integer;NAME,Char,6;");
    int id = 0;
    for (const char* name : {"Ann", "Bob", "Bob", "Cy"}) {
      ASSERT_EQ(AdsAppendRecord(t), 0u);
      SetLong(t, "ID", ++id);
      SetString(t, "NAME", name);
      ASSERT_EQ(AdsWriteRecord(t), 0u);
    }
    QByteArray tag("NAME");
    ADSHANDLE order = 0;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(tag), A(tag), nullptr, nullptr, 2, 512, nullptr, &order), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
    ds_.SetAdsConnection(&con_);
    ds_.SetTableName("dup");
  }
  void TearDown() override {
    SetApplicationExceptionHandler({});
    ds_.Close();
    AdsDisconnect(connection_);
  }

  std::vector<int> Walk() {
    std::vector<int> ids;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) ids.push_back(ds_.FieldByName("ID")->AsInteger());
    return ids;
  }

  testenv::TempDir dir_;
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
  ADSHANDLE connection_ = 0;
  TAdsConnection con_{nullptr};
  TestAdsDataSet ds_{nullptr};
};

}  // namespace

TEST_F(FilterRules, TheFilterReachesTheEngineAsTheOptionsSay) {
  ds_.Open();
  struct Case {
    bool optimised;
    TAdsAOFTypes type;
    bool immediate;
    const char* filter;
    const char* exact;  // the argument of AdsSetExact22
    const char* set;    // the call and its arguments, as traced
  };
  const Case cases[] = {
      {true, atDynamic, false, "NAME = 'B*'", "bExact=0", R"t(AdsSetAOF100(hTable=)t"},
      {true, atKeySet, true, "NAME = 'Bob'", "bExact=1", R"t(AdsSetAOF100(hTable=)t"},
      {false, atFixed, true, "NAME = \"B*\"", "bExact=0", R"t(AdsSetFilter100(hTable=)t"},
  };
  const char* texts[] = {R"t(pvFilter=u"NAME = 'B'", ulOptions=8194)t",
                         R"t(pvFilter=u"NAME = 'Bob'", ulOptions=8197)t",
                         R"t(pvFilter=u"NAME = \"B\"", ulOptions=8192)t"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.filter);
    ds_.SetFiltered(false);
    ds_.AdsTableOptions().SetAdsOptimizedFilters(c.optimised);
    ds_.AdsTableOptions().SetAdsAOFType(c.type);
    ds_.AdsTableOptions().SetAdsAOFResolveImmediate(c.immediate);
    ds_.SetFilter(c.filter);
    const size_t mark = trace_.Mark();
    ds_.SetFiltered(true);
    const std::vector<std::string> lines = trace_.Since(mark);
    ASSERT_GE(lines.size(), 2u);
    // PrepareFilterText shortens and restores the field names around its scan.
    EXPECT_EQ(EngineTrace::Names(lines)[0], "AdsExpressionLongToShort90");
    EXPECT_EQ(EngineTrace::Names(lines)[1], "AdsExpressionShortToLong90");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_NE(lines[2].find(c.exact), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3].rfind(c.set, 0), 0u) << lines[3];
    EXPECT_NE(lines[3].find(texts[i]), std::string::npos) << lines[3];
    EXPECT_EQ(Walk(), (std::vector<int>{2, 3}));
  }
  // Removing the filter clears the kind that is set; none set is no failure.
  size_t mark = trace_.Mark();
  ds_.SetFiltered(false);
  EXPECT_EQ(EngineTrace::Names(trace_.Since(mark))[0], "AdsClearFilter");
  mark = trace_.Mark();
  ds_.SetFiltered(false);
  const std::vector<std::string> again = trace_.Since(mark);
  EXPECT_NE(again[0].find("= 5037"), std::string::npos) << again[0];
  // An empty Filter removes what there is.
  ds_.AdsTableOptions().SetAdsOptimizedFilters(true);
  ds_.SetFilter("NAME = 'Cy'");
  ds_.SetFiltered(true);
  EXPECT_EQ(Walk(), (std::vector<int>{4}));
  ds_.SetFilter("");
  EXPECT_EQ(Walk(), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(FilterRules, AHandlersFailureGoesToTheApplicationsHandlerWhenThereIsOne) {
  ds_.SetOnFilterRecord([](TDataSet* d, bool& accept) {
    const int id = d->FieldByName("ID")->AsInteger();
    accept = id != 2;
    if (id == 3) throw EDatabaseError("no verdict on 3");
  });
  ds_.SetFiltered(true);
  ds_.Open();
  EXPECT_THROW(Walk(), EDatabaseError);
  EXPECT_EQ(ds_.State(), dsBrowse);  // not left in dsFilter
  std::vector<std::string> shown;
  SetApplicationExceptionHandler([&](const std::exception& e) { shown.push_back(e.what()); });
  EXPECT_EQ(Walk(), (std::vector<int>{1, 3, 4}));  // 3 keeps the verdict set before the throw
  EXPECT_FALSE(shown.empty());
  EXPECT_EQ(ds_.State(), dsBrowse);
}

TEST_F(FilterRules, ScansAndSeeksNeedAHandlerAndComputeCalculatedFieldsAsAsked) {
  TIntegerField id(&ds_);
  id.SetFieldName("ID");
  id.SetDataSet(&ds_);
  TStringField name(&ds_);
  name.SetFieldName("NAME");
  name.SetSize(6);
  name.SetDataSet(&ds_);
  TIntegerField twice(&ds_);
  twice.SetFieldName("TWICE");
  twice.SetFieldKind(fkCalculated);
  twice.SetDataSet(&ds_);
  ds_.OnCalcFields = [&](TDataSet*) { twice.SetAsInteger(id.AsInteger() * 2); };
  ds_.Open();
  try {
    ds_.FilteredScan(true);
    ADD_FAILURE() << "scanned";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Expected OnFilterRecord event.");
  }
  try {
    const uint8_t key[1] = {0};
    ds_.FilteredSeek(key, 1, 1);
    ADD_FAILURE() << "sought";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Expected OnFilterRecord event.");
  }
  // The handler sees calculated values in a search only when they are computed first.
  std::vector<bool> seen;
  ds_.SetOnFilterRecord([&](TDataSet*, bool& accept) {
    seen.push_back(!twice.IsNull());
    accept = twice.AsInteger() == 6;
  });
  EXPECT_FALSE(ds_.FindFirst());
  EXPECT_EQ(seen, (std::vector<bool>{false, false, false, false}));
  ds_.AdsTableOptions().SetAdsCalcFieldsBeforeFilter(true);
  seen.clear();
  ASSERT_TRUE(ds_.FindFirst());
  EXPECT_EQ(id.AsInteger(), 3);
  EXPECT_EQ(seen.front(), true);
  // The filtered key search goes on among the records with the same key.
  ds_.SetOnFilterRecord([&](TDataSet*, bool& accept) { accept = id.AsInteger() != 2; });
  ds_.SetFiltered(true);
  ds_.SetIndexName("NAME");
  EXPECT_TRUE(ds_.FindKey({"Bob"}));
  EXPECT_EQ(id.AsInteger(), 3);
  ds_.SetOnFilterRecord(
      [&](TDataSet*, bool& accept) { accept = id.AsInteger() == 1 || id.AsInteger() == 4; });
  ds_.First();
  EXPECT_FALSE(ds_.FindKey({"Bob"}));  // the records after the Bobs are not Bob
  EXPECT_EQ(id.AsInteger(), 1);
}

TEST(FilterNational, AFilterOnANationalFieldShowsOnlyItsOwnCharacters) {
  // Under the default ANSI code page none of these names can be spelled: read as ANSI they
  // would all be "???", and a filter for one would show the others too.
  testenv::TempDir dir;
  ADSHANDLE connection = ConnectFolder(dir.str());
  ADSHANDLE t = CreateTable(connection, "names", "ID,Integer;NAME,NChar,6;");
  int id = 0;
  for (std::u16string name : {std::u16string(u"Жук"), std::u16string(u"Щук"), std::u16string(u"Ёж")}) {
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    SetLong(t, "ID", ++id);
    QByteArray field("NAME");
    ASSERT_EQ(AdsSetStringW(t, A(field), name.data(), static_cast<UNSIGNED32>(name.size())), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);
  TAdsConnection con(nullptr);
  con.SetConnectPath(QString::fromStdString(dir.str()));
  con.SetLoginPrompt(false);
  TestAdsDataSet ds(nullptr);
  ds.SetAdsConnection(&con);
  ds.SetTableName("names");
  ds.Open();
  for (bool optimised : {false, true}) {
    SCOPED_TRACE(optimised);
    ds.SetFiltered(false);
    ds.AdsTableOptions().SetAdsOptimizedFilters(optimised);
    ds.SetFilter(QStringLiteral("NAME = 'Жук'"));
    ds.SetFiltered(true);
    std::vector<int> ids;
    for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(ds.FieldByName("ID")->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{1}));
    EXPECT_EQ(ds.FieldByName("NAME")->AsString().trimmed(), QStringLiteral("Жук"));
  }
  ds.Close();
  AdsDisconnect(connection);
}
