// Index orders of the dataset on a real table with three tags: choosing the order by name, by
// fields and by the dictionary's default, RecNo along an order, the index names and
// definitions read from the engine (also while closed), creating and deleting orders, index
// files, scopes, GotoCurrent, key search, ranges and the master/detail range, with the
// refusals for misuse.
#include <gtest/gtest.h>

#include <functional>

#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "runtime/data/data_source.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> CallsOf(const std::vector<std::string>& lines, const std::string& entryPoint) {
  std::vector<std::string> calls;
  for (const std::string& l : lines)
    if (l.rfind(entryPoint + "(", 0) == 0) calls.push_back(l);
  return calls;
}

// Record numbers 1 to 5, in natural order.
struct Ship {
  const char* name;
  const char* port;
  int tons;
};
const Ship kShips[] = {
    {"Vega", "Oslo", 500}, {"Altair", "Bergen", 300}, {"Deneb", "Oslo", 200}, {"Rigel", "Bergen", 900},
    {"Castor", "Oslo", 700},
};

// A folder with "ships" (NAME, PORT, TONS) and its tags NAME, PORT_TONS (PORT;TONS) and
// TONS_DESC (TONS descending), and "ports" (PORT) with Bergen and Oslo; components reach it
// through a folder connection.
class IndexedShips : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    ADSHANDLE folder = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(folder, "ships", "NAME,Char,10;PORT,Char,8;TONS,Integer;");
    for (const Ship& s : kShips) {
      ASSERT_EQ(AdsAppendRecord(t), 0u) << LastError();
      SetString(t, "NAME", QString::fromLatin1(s.name));
      SetString(t, "PORT", QString::fromLatin1(s.port));
      SetLong(t, "TONS", s.tons);
      ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
    }
    struct Tag {
      const char* name;
      const char* expression;
      UNSIGNED32 options;
    };
    for (const Tag& tag : {Tag{"NAME", "NAME", 2}, Tag{"PORT_TONS", "PORT;TONS", 2}, Tag{"TONS_DESC", "TONS", 2 | 8}}) {
      QByteArray n(tag.name), e(tag.expression);
      ADSHANDLE order = 0;
      ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(n), A(e), nullptr, nullptr, tag.options, 512, nullptr, &order), 0u)
          << tag.name << " " << LastError();
    }
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ADSHANDLE p = CreateTable(folder, "ports", "PORT,Char,8;");
    AppendNamedRows(p, "PORT", {"Oslo", "Bergen"});
    ASSERT_EQ(AdsCloseTable(p), 0u);
    ASSERT_EQ(AdsDisconnect(folder), 0u);
    con_.SetAdsServerTypes(AdsServerTypeBit(stADS_LOCAL));
    con_.SetLoginPrompt(false);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
  }

  void TearDown() override {
    for (TAdsTable* t : tables_) {
      t->Close();
      t->SetAdsConnection(nullptr);
    }
  }

  // A table component on "ships" (or name) of the folder, not yet open.
  TAdsTable& Table(const char* componentName, const char* tableName = "ships") {
    owned_.push_back(std::make_unique<TAdsTable>(nullptr));
    TAdsTable& t = *owned_.back();
    t.SetName(componentName);
    t.SetAdsConnection(&con_);
    t.SetTableName(tableName);
    tables_.push_back(&t);
    return t;
  }

  static QStringList Walk(TAdsDataSet& d, const char* field = "NAME") {
    QStringList names;
    for (d.First(); !d.Eof(); d.Next()) names << d.FieldByName(field)->AsString();
    return names;
  }

  // An extra index file "extra.adi" beside "ships", with the tag BYTONS (TONS).
  void CreateExtraIndexFile() {
    ADSHANDLE folder = ConnectFolder(dir_.str());
    QByteArray name("ships"), file("extra.adi"), tag("BYTONS"), expr("TONS");
    ADSHANDLE t = 0, order = 0;
    ASSERT_EQ(AdsOpenTable90(folder, A(name), nullptr, 3, 1, 1, 1, 1, nullptr, &t), 0u) << LastError();
    ASSERT_EQ(AdsCreateIndex90(t, A(file), A(tag), A(expr), nullptr, nullptr, 2, 512, nullptr, &order), 0u)
        << LastError();
    AdsCloseTable(t);
    AdsDisconnect(folder);
  }

  testenv::TempDir dir_;
  testenv::TempDir traceDir_;
  TAdsConnection con_{nullptr};
  std::vector<std::unique_ptr<TAdsTable>> owned_;
  std::vector<TAdsTable*> tables_;
};

}  // namespace

TEST_F(IndexedShips, IndexNameAndIndexFieldNamesChooseTheOrder) {
  TAdsTable& tb = Table("tb");
  tb.Open();
  struct Case {
    const char* indexName;
    const char* indexFieldNames;
    QStringList names;
  };
  const Case cases[] = {
      {"", nullptr, {"Vega", "Altair", "Deneb", "Rigel", "Castor"}},
      {"NAME", nullptr, {"Altair", "Castor", "Deneb", "Rigel", "Vega"}},
      {"name", nullptr, {"Altair", "Castor", "Deneb", "Rigel", "Vega"}},
      {"PORT_TONS", nullptr, {"Altair", "Rigel", "Deneb", "Vega", "Castor"}},
      {"TONS_DESC", nullptr, {"Rigel", "Castor", "Vega", "Altair", "Deneb"}},
      {nullptr, "PORT;TONS", {"Altair", "Rigel", "Deneb", "Vega", "Castor"}},
      {nullptr, "  PORT  ", {"Altair", "Rigel", "Deneb", "Vega", "Castor"}},
      {nullptr, "NAME", {"Altair", "Castor", "Deneb", "Rigel", "Vega"}},
      {nullptr, "", {"Vega", "Altair", "Deneb", "Rigel", "Castor"}},
  };
  for (const Case& c : cases) {
    if (c.indexName != nullptr)
      tb.SetIndexName(c.indexName);
    else
      tb.SetIndexFieldNames(c.indexFieldNames);
    EXPECT_EQ(Walk(tb), c.names) << (c.indexName ? c.indexName : c.indexFieldNames);
    if (c.indexName != nullptr) {
      EXPECT_TRUE(tb.IndexFieldNames().isEmpty());
    }
    if (c.indexFieldNames != nullptr) {
      EXPECT_TRUE(tb.IndexName().isEmpty());
    }
  }
  EXPECT_EQ(tb.IndexFieldNames(), "");

  // The same order survives a close and the next open.
  tb.SetIndexName("TONS_DESC");
  tb.Close();
  tb.Open();
  EXPECT_EQ(Walk(tb), QStringList({"Rigel", "Castor", "Vega", "Altair", "Deneb"}));
  EXPECT_EQ(tb.IndexFieldCount(), 1);
  EXPECT_EQ(tb.IndexFields(0)->FieldName(), "TONS");
  EXPECT_EQ(tb.GetSegmentFieldNum(0), 3);
  UNSIGNED16 keyLength = 0;
  ASSERT_EQ(AdsGetKeyLength(tb.ActiveHandle(), &keyLength), 0u);
  EXPECT_EQ(tb.KeySize(), keyLength);
  EXPECT_GT(tb.KeySize(), 0);
}

TEST_F(IndexedShips, AFailedChoiceKeepsTheOrderThatWasActive) {
  TAdsTable& tb = Table("tb");
  tb.Open();
  tb.SetIndexName("NAME");
  const std::string unknown = Raised([&] { tb.SetIndexName("NOPE"); });
  EXPECT_EQ(unknown.rfind("tb: Error ", 0), 0u) << unknown;
  EXPECT_EQ(tb.IndexName(), "NAME");
  // A descending tag is no order for plain fields.
  EXPECT_EQ(Raised([&] { tb.SetIndexFieldNames("TONS"); }), "tb: Not a valid index field name:TONS");
  EXPECT_EQ(tb.IndexName(), "NAME");
  EXPECT_EQ(tb.IndexFieldNames(), "");
  EXPECT_EQ(Walk(tb), QStringList({"Altair", "Castor", "Deneb", "Rigel", "Vega"}));
  tb.SetIndexName("");
  EXPECT_EQ(tb.IndexFieldCount(), 0);
  EXPECT_EQ(tb.KeySize(), 0);
  EXPECT_EQ(Raised([&] { tb.GetSegmentFieldNum(0); }), "tb: Internal Error: GetSegmentFieldNum : No Active Index");
}

TEST_F(IndexedShips, RecNoCountsAlongTheActiveOrder) {
  TAdsTable& tb = Table("tb");
  tb.SetIndexName("TONS_DESC");
  tb.Open();
  struct Case {
    bool sequenced;
    TAdsSequenceLevel level;
    std::vector<int> recNos;
  };
  const Case cases[] = {
      {false, slStandard, {4, 5, 1, 2, 3}},  // record numbers in key order
      {true, slExact, {1, 2, 3, 4, 5}},      // key numbers
  };
  for (const Case& c : cases) {
    tb.SetSequenced(c.sequenced);
    tb.SetSequencedLevel(c.level);
    std::vector<int> seen;
    for (tb.First(); !tb.Eof(); tb.Next()) seen.push_back(tb.RecNo());
    EXPECT_EQ(seen, c.recNos) << c.sequenced;
  }
}

TEST_F(IndexedShips, IndexNamesAndDefinitionsComeFromTheEngineAlsoWhileClosed) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsTable& tb = Table("tb");
  TStringList names;
  names.Add("left over");
  const size_t mark = trace.Mark();
  tb.GetIndexNames(&names);
  EXPECT_EQ(names.ToQStringList(), QStringList({"NAME", "PORT_TONS", "TONS_DESC"}));
  EXPECT_FALSE(tb.Active());
  const std::vector<std::string> lines = trace.Since(mark);
  ASSERT_EQ(CallsOf(lines, "AdsOpenTable90").size(), 1u);
  EXPECT_EQ(CallsOf(lines, "AdsCloseTable").size(), 1u) << "the temporary handle is closed again";

  tb.GetFTSIndexNames(&names);
  EXPECT_EQ(names.Count(), 3) << "no full-text orders, and the list is not cleared";

  tb.IndexDefs().SetUpdated(false);
  tb.IndexDefs().Update();
  ASSERT_EQ(tb.IndexDefs().Count(), 3);
  struct Def {
    const char* name;
    const char* fields;
    TIndexOptions options;
  };
  const Def defs[] = {{"NAME", "NAME", {}}, {"PORT_TONS", "PORT;TONS", {}}, {"TONS_DESC", "TONS", ixDescending}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tb.IndexDefs().Items(i)->Name(), defs[i].name);
    EXPECT_EQ(tb.IndexDefs().Items(i)->Fields(), defs[i].fields);
    EXPECT_EQ(tb.IndexDefs().Items(i)->Options(), defs[i].options) << defs[i].name;
  }
  EXPECT_FALSE(tb.Active());
}

TEST_F(IndexedShips, CreatingAndDeletingOrders) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsTable& tb = Table("tb");
  tb.SetExclusive(true);
  // Case-insensitive fields are wrapped in UPPER; a native table keeps ";" between them.
  size_t mark = trace.Mark();
  tb.AddIndex("BYPORT", "PORT;TONS", ixCaseInsensitive | ixDescending);
  std::vector<std::string> creates = CallsOf(trace.Since(mark), "AdsCreateIndex90");
  ASSERT_EQ(creates.size(), 1u);
  EXPECT_TRUE(Contains(creates[0], "pucFileName=null, pucTag=\"BYPORT\", pucExpr=\"UPPER(PORT);TONS\""))
      << creates[0];
  EXPECT_TRUE(Contains(creates[0], "ulOptions=10,")) << creates[0];
  EXPECT_FALSE(tb.Active());
  EXPECT_EQ(CallsOf(trace.Since(mark), "AdsCloseTable").size(), 1u);

  mark = trace.Mark();
  EXPECT_EQ(Raised([&] { tb.AddIndex("X", "TONS*2", ixCaseInsensitive | ixExpression); }),
            "tb: ixCaseInsensitive is not supported with ixExpression indexes");
  EXPECT_TRUE(CallsOf(trace.Since(mark), "AdsCreateIndex90").empty());
  EXPECT_EQ(CallsOf(trace.Since(mark), "AdsCloseTable").size(), 1u) << "the temporary handle is closed on refusal";

  tb.SetExclusive(false);
  tb.Open();
  EXPECT_EQ(Raised([&] { tb.DeleteIndex("BYPORT"); }), "tb: Table must be Active and Exclusive.");
  tb.Close();
  tb.SetExclusive(true);
  tb.SetIndexName("BYPORT");
  tb.Open();
  EXPECT_EQ(Walk(tb), QStringList({"Castor", "Vega", "Deneb", "Rigel", "Altair"}));
  EXPECT_EQ(Raised([&] { tb.DeleteIndex("BYPORT"); }), "tb: Cannot delete the active index!");
  tb.SetIndexName("NAME");
  tb.DeleteIndex("BYPORT");
  TStringList names;
  tb.GetIndexNames(&names);
  EXPECT_EQ(names.ToQStringList(), QStringList({"NAME", "PORT_TONS", "TONS_DESC"}));

  // Table creation's path: the engine table type decides the compound bit and the joining.
  struct Case {
    uint16_t tableType;
    const char* expected;
  };
  const Case cases[] = {
      {2, "pucFileName=null, pucTag=\"CI\", pucExpr=\"UPPER(NAME)+TONS\""},
      {3, "pucFileName=null, pucTag=\"CI\", pucExpr=\"UPPER(NAME);TONS\""},
  };
  for (const Case& c : cases) {
    TIndexDefs defs(nullptr);
    TIndexDef* def = defs.Add("CI", "NAME;TONS", ixCaseInsensitive);
    mark = trace.Mark();
    try {
      CreateIndexFromDef(tb.Handle(), c.tableType, *def, QString(), 512);
    } catch (const Exception&) {
      // Whether the engine takes a "+" expression on a native table is its business.
    }
    creates = CallsOf(trace.Since(mark), "AdsCreateIndex90");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_TRUE(Contains(creates[0], c.expected)) << creates[0];
    EXPECT_TRUE(Contains(creates[0], "ulOptions=2,")) << creates[0];
    QByteArray ci("CI");
    ADSHANDLE order = 0;
    if (AdsGetIndexHandle(tb.Handle(), A(ci), &order) == 0) AdsDeleteIndex(order);
  }
  TIndexDefs defs(nullptr);
  TIndexDef* def = defs.Add("E", "TONS*2", ixCaseInsensitive | ixExpression);
  EXPECT_EQ(Raised([&] { CreateIndexFromDef(tb.Handle(), 3, *def, QString(), 512); }),
            "ixCaseInsensitive is not supported with ixExpression indexes");
}

TEST_F(IndexedShips, IndexFilesOpenWithTheTableAndCloseByFileName) {
  CreateExtraIndexFile();
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsTable& tb = Table("tb");
  EXPECT_EQ(Raised([&] { tb.OpenIndexFile("extra.adi"); }), "tb: Table must be Active.");
  EXPECT_EQ(Raised([&] { tb.CloseIndexFile("extra.adi"); }), "tb: Table must be Active.");
  EXPECT_EQ(Raised([] { TAdsIndexFiles files(nullptr); }), "TAdsIndexFiles instances require a non-nil owner");
  tb.IndexFiles()->Add("extra.adi");
  tb.IndexFiles()->Add("EXTRA.ADI");
  EXPECT_EQ(tb.IndexFiles()->Count(), 1) << "duplicates ignoring case are ignored";
  size_t mark = trace.Mark();
  tb.Open();
  std::vector<std::string> opens = CallsOf(trace.Since(mark), "AdsOpenIndex");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_TRUE(Contains(opens[0], "extra.adi\"")) << opens[0];
  tb.SetIndexName("BYTONS");
  EXPECT_EQ(Walk(tb), QStringList({"Deneb", "Altair", "Vega", "Castor", "Rigel"}));
  // Closing the file of the active order falls back to natural order.
  mark = trace.Mark();
  tb.CloseIndexFile("C:\\elsewhere\\EXTRA.adi");
  EXPECT_EQ(CallsOf(trace.Since(mark), "AdsCloseIndex").size(), 1u);
  EXPECT_EQ(tb.IndexName(), "");
  EXPECT_EQ(Walk(tb), QStringList({"Vega", "Altair", "Deneb", "Rigel", "Castor"}));
  EXPECT_EQ(Raised([&] { tb.SetIndexName("BYTONS"); }).rfind("tb: Error ", 0), 0u) << "the file's tags are gone";
  mark = trace.Mark();
  tb.CloseIndexFile("other.adi");
  EXPECT_TRUE(CallsOf(trace.Since(mark), "AdsCloseIndex").empty()) << "no order lives in that file";
  // Opened again while open, the file's orders are back.
  tb.OpenIndexFile("extra.adi");
  tb.SetIndexName("BYTONS");
  EXPECT_EQ(Walk(tb).first(), "Deneb");
}

// A field name with letters beyond a to z ("Größe") names the segment of its orders: key search,
// ranges, IndexFieldNames and the index definitions find the field.
TEST_F(IndexedShips, OrdersOverFieldsNamedWithLettersBeyondAsciiFindTheirField) {
  const QString size = QStringLiteral("Gr\u00f6\u00dfe");
  {
    ADSHANDLE folder = ConnectFolder(dir_.str());
    QByteArray field = ToAnsi(size);
    ADSHANDLE t = CreateTable(folder, "sizes", (field + ",Char,4;N,Integer;").toStdString());
    const std::pair<const char*, int> rows[] = {{"m", 1}, {"s", 2}, {"l", 3}, {"m", 4}};
    for (const auto& [text, n] : rows) {
      ASSERT_EQ(AdsAppendRecord(t), 0u) << LastError();
      SetString(t, field.constData(), QString::fromLatin1(text));
      SetLong(t, "N", n);
      ASSERT_EQ(AdsWriteRecord(t), 0u) << LastError();
    }
    for (const auto& [tag, expression] : {std::pair<QByteArray, QByteArray>{"BYSIZE", field},
                                          std::pair<QByteArray, QByteArray>{"SIZE_N", field + ";N"}}) {
      QByteArray n(tag), e(expression);
      ADSHANDLE order = 0;
      ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(n), A(e), nullptr, nullptr, 2, 512, nullptr, &order), 0u) << LastError();
    }
    ASSERT_EQ(AdsCloseTable(t), 0u);
    AdsDisconnect(folder);
  }
  TAdsTable& tb = Table("tb", "sizes");
  tb.IndexDefs().Update();
  ASSERT_EQ(tb.IndexDefs().Count(), 2);
  // Upper-cased as names are compared: only a to z change.
  EXPECT_EQ(tb.IndexDefs().Items(0)->Fields(), QStringLiteral("GR\u00f6\u00dfE"));
  EXPECT_EQ(tb.IndexDefs().Items(1)->Fields(), QStringLiteral("GR\u00f6\u00dfE;N"));
  tb.Open();
  tb.SetIndexName("SIZE_N");
  EXPECT_EQ(tb.IndexFieldCount(), 2);
  EXPECT_EQ(tb.IndexFields(0)->FieldName(), size);
  EXPECT_TRUE(tb.FindKey({"m", 4}));
  EXPECT_EQ(tb.FieldByName("N")->AsInteger(), 4);
  tb.SetRange({"m"}, {"s"});
  EXPECT_EQ(Walk(tb, "N"), QStringList({"1", "4", "2"}));
  tb.CancelRange();
  tb.SetIndexFieldNames(size);
  EXPECT_EQ(tb.IndexFieldCount(), 1);
  EXPECT_EQ(Walk(tb, "N"), QStringList({"3", "1", "4", "2"}));
}

// Closing the file of the active order while a scope or a range narrows it: the dataset goes
// back to natural order with every record, keeps its record, and stays usable.
TEST_F(IndexedShips, ClosingTheFileOfANarrowedActiveOrderLeavesNaturalOrder) {
  CreateExtraIndexFile();
  struct Case {
    const char* label;
    std::function<void(TAdsTable&)> narrow;
    QStringList narrowed;
    std::function<void(TAdsTable&)> close;
  };
  const Case cases[] = {
      {"scope",
       [](TAdsTable& tb) {
         tb.SetScopeBegin("300");
         tb.SetScopeEnd("700");
         tb.SetScoped(true);
       },
       {"Altair", "Vega", "Castor"}, [](TAdsTable& tb) { tb.CloseIndexFile("extra.adi"); }},
      {"range", [](TAdsTable& tb) { tb.SetRange({300}, {700}); }, {"Altair", "Vega", "Castor"},
       [](TAdsTable& tb) { tb.CloseIndexFile("extra.adi"); }},
      {"empty range", [](TAdsTable& tb) { tb.SetRange({1000}, {2000}); }, {},
       [](TAdsTable& tb) { tb.CloseIndexFile("extra.adi"); }},
      {"scope, file removed from IndexFiles",
       [](TAdsTable& tb) {
         tb.SetScopeBegin("300");
         tb.SetScopeEnd("700");
         tb.SetScoped(true);
       },
       {"Altair", "Vega", "Castor"}, [](TAdsTable& tb) { tb.IndexFiles()->Clear(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TAdsTable& tb = Table("tb");
    tb.IndexFiles()->Add("extra.adi");
    tb.Open();
    tb.SetIndexName("BYTONS");
    c.narrow(tb);
    EXPECT_EQ(Walk(tb), c.narrowed);
    if (!c.narrowed.isEmpty()) tb.Last();  // Castor
    EXPECT_EQ(Raised([&] { c.close(tb); }), "");
    EXPECT_FALSE(tb.Scoped());
    EXPECT_EQ(tb.IndexName(), "");
    if (!c.narrowed.isEmpty()) {
      EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Castor");
    }
    EXPECT_EQ(Walk(tb), QStringList({"Vega", "Altair", "Deneb", "Rigel", "Castor"}));
    tb.SetIndexName("NAME");
    tb.SetScopeBegin("D");
    tb.SetScopeEnd("W");
    tb.SetScoped(true);
    EXPECT_EQ(Walk(tb), QStringList({"Deneb", "Rigel", "Vega"}));
    tb.Close();
  }
}

TEST_F(IndexedShips, ScopesNarrowTheActiveOrder) {
  TAdsTable& tb = Table("tb");
  tb.Open();
  EXPECT_EQ(Raised([&] { tb.SetScoped(true); }), "tb: Cannot activate scope when there is no active index.");
  EXPECT_FALSE(tb.Scoped());
  EXPECT_EQ(Raised([&] { tb.SetScopeBegin(QString(4083, u'x')); }), "tb: Scope text length exceeded 4082");
  EXPECT_EQ(Raised([&] { tb.SetScopeEnd(QString(4082, u'x')); }), "");
  tb.SetIndexName("NAME");
  tb.SetScopeBegin("Castor");
  tb.SetScopeEnd("Rigel");
  tb.SetScoped(true);
  EXPECT_TRUE(tb.Scoped());
  EXPECT_EQ(Walk(tb), QStringList({"Castor", "Deneb", "Rigel"}));
  // Turning the scope off keeps the record the dataset stood on.
  tb.First();
  tb.Next();
  tb.SetScoped(false);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Deneb");
  EXPECT_EQ(Walk(tb), QStringList({"Altair", "Castor", "Deneb", "Rigel", "Vega"}));
  // A scope set while closed applies at the open; changing IndexName drops it.
  tb.Close();
  tb.SetScoped(true);
  tb.Open();
  EXPECT_EQ(Walk(tb), QStringList({"Castor", "Deneb", "Rigel"}));
  tb.SetIndexName("TONS_DESC");
  EXPECT_FALSE(tb.Scoped());
  EXPECT_EQ(Walk(tb).size(), 5);
}

TEST_F(IndexedShips, GotoCurrentFindsTheOtherTablesRecord) {
  TAdsTable& a = Table("a");
  TAdsTable& b = Table("b");
  TAdsTable& other = Table("other", "ports");
  a.SetIndexName("NAME");
  a.Open();
  b.Open();
  other.Open();
  b.First();
  b.Next();
  b.Next();  // Deneb in natural order
  a.GotoCurrent(&b);
  EXPECT_EQ(a.FieldByName("NAME")->AsString(), "Deneb");
  a.Next();
  EXPECT_EQ(a.FieldByName("NAME")->AsString(), "Rigel") << "a goes on along its own order";
  EXPECT_EQ(Raised([&] { a.GotoCurrent(&other); }), "a: Tables are not the same");
}

TEST_F(IndexedShips, KeySearchFindsAlongTheActiveOrder) {
  TAdsTable& tb = Table("tb");
  tb.Open();
  EXPECT_EQ(Raised([&] { tb.SetKey(); }), "tb: Index is not set.");
  EXPECT_EQ(Raised([&] { tb.KeyExclusive(); }), "tb: Dataset not in edit mode");
  EXPECT_EQ(Raised([&] { tb.FindKey({"Deneb"}); }),
            "tb: An index must be active to perform this operation. Set the IndexName property.");
  tb.SetIndexName("PORT_TONS");
  EXPECT_EQ(Raised([&] { tb.FindKey({"Oslo", 200, "x"}); }), "tb: Too many values given for current index");

  EXPECT_TRUE(tb.FindKey({"Oslo", 500}));
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Vega");
  EXPECT_FALSE(tb.FindKey({"Oslo", 501}));
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Vega") << "a failed search stays on the record";
  tb.FindNearest({"Oslo", 600});
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Castor");
  tb.SetKey();
  EXPECT_EQ(tb.State(), dsSetKey);
  tb.FieldByName("PORT")->SetAsString("Bergen");
  tb.FieldByName("TONS")->SetAsInteger(900);
  EXPECT_EQ(Raised([&] { tb.FieldByName("NAME")->SetAsString("x"); }),
            "tb: Field 'NAME' is not indexed and cannot be modified");
  EXPECT_TRUE(tb.GotoKey());
  EXPECT_EQ(tb.State(), dsBrowse);
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Rigel");
  // EditKey keeps the values; Cancel restores what the key held before.
  tb.EditKey();
  tb.FieldByName("TONS")->SetAsInteger(300);
  tb.Cancel();
  EXPECT_TRUE(tb.GotoKey());
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Rigel");
  tb.SetIndexName("NAME");
  tb.FindNearest({"D"});
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Deneb");
}

TEST_F(IndexedShips, RangesAndScopesExcludeEachOther) {
  TAdsTable& tb = Table("tb");
  tb.SetIndexName("PORT_TONS");
  tb.Open();
  tb.SetRange({"Oslo"}, {"Oslo"});
  EXPECT_EQ(Walk(tb), QStringList({"Deneb", "Vega", "Castor"}));
  tb.First();
  tb.Next();
  tb.SetRange({"Oslo"}, {"Oslo"});
  EXPECT_EQ(tb.FieldByName("NAME")->AsString(), "Vega") << "the same range again does not move";
  tb.SetRange({"Bergen", 0}, {"Oslo", 250});
  EXPECT_EQ(Walk(tb), QStringList({"Altair", "Rigel", "Deneb"}));
  // An exclusive start leaves the start key itself out (native tables).
  tb.SetRangeStart();
  tb.FieldByName("PORT")->SetAsString("Bergen");
  tb.FieldByName("TONS")->SetAsInteger(300);
  tb.SetKeyExclusive(true);
  tb.SetRangeEnd();
  tb.FieldByName("PORT")->SetAsString("Oslo");
  tb.FieldByName("TONS")->SetAsInteger(500);
  tb.ApplyRange();
  EXPECT_EQ(Walk(tb), QStringList({"Rigel", "Deneb", "Vega"}));
  tb.SetScopeBegin("Oslo");
  EXPECT_EQ(Raised([&] { tb.SetScoped(true); }), "tb: Cannot activate scope when there is an active range.");
  tb.CancelRange();
  EXPECT_EQ(Walk(tb).size(), 5);
  tb.SetScoped(true);
  EXPECT_EQ(Raised([&] { tb.SetRange({"Oslo"}, {"Oslo"}); }),
            "tb: Cannot set range on table when there is an active scope.");
}

TEST_F(IndexedShips, ADetailFollowsItsMasterThroughARange) {
  TAdsTable& ports = Table("ports", "ports");
  TAdsTable& ships = Table("ships");
  ports.Open();
  ships.SetIndexName("PORT_TONS");
  ships.Open();
  TDataSource source(nullptr);
  source.SetDataSet(&ports);
  ships.MasterLink()->SetFieldNames("PORT");
  ships.MasterLink()->SetDataSource(&source);
  ports.First();
  EXPECT_EQ(Walk(ships), QStringList({"Deneb", "Vega", "Castor"}));
  ports.Next();
  EXPECT_EQ(Walk(ships), QStringList({"Altair", "Rigel"}));
  ships.MasterLink()->SetDataSource(nullptr);
}
