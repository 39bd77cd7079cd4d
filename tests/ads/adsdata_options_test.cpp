// The option set of a dataset (defaults and setter rules), the character types and their
// collation texts, the effective collation, the version text, construction defaults and the
// members the dataset refuses.
#include <gtest/gtest.h>

#include <functional>

#include "adsdata_test_dataset.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

std::string Message(const Exception& e) { return e.Message().toStdString(); }

// Runs fn and returns the EADSDatabaseError message it raised with code 5121.
std::string Refusal(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5121u) << Message(e);
    return Message(e);
  }
  ADD_FAILURE() << "nothing was refused";
  return {};
}

}  // namespace

TEST(AdsDataOptions, ConstructionSetsTheDefaults) {
  TestAdsDataSet ds(nullptr);
  const TAdsTableOptions& o = ds.AdsTableOptions();
  EXPECT_EQ(o.TableInstance(), &ds);
  EXPECT_EQ(o.AdsLockType(), Proprietary);
  EXPECT_EQ(o.AdsCharType(), ANSI);
  EXPECT_EQ(o.AdsFilterOptions(), IGNORE_WHEN_COUNTING);
  EXPECT_EQ(o.AdsScopeOptions(), IGNORE_SCOPES_WHEN_COUNTING);
  EXPECT_FALSE(o.AdsFreshRecordCount());
  EXPECT_FALSE(o.AdsAOFResolveImmediate());
  EXPECT_TRUE(o.AdsRightsCheck());
  EXPECT_TRUE(o.AdsOptimizedFilters());
  EXPECT_EQ(o.AdsIndexPageSize(), 0);
  EXPECT_EQ(o.AdsRecordCache(), rcStandard);
  EXPECT_EQ(o.AdsAOFType(), atDynamic);
  EXPECT_FALSE(o.AdsAutoKeyFieldCount());
  EXPECT_FALSE(o.AdsCalcFieldsBeforeFilter());
  EXPECT_EQ(o.AdsRecordLockingMode(), lmPessimistic);
  EXPECT_FALSE(o.AdsPreserveSpaces());
  EXPECT_FALSE(o.AdsNumericsAsFloats());
  EXPECT_EQ(o.AdsCollation(), "");
  EXPECT_EQ(o.AdsCachingOption(), tcNone);
  EXPECT_EQ(o.AdsLocateBehavior(), lbFastestPossible);

  EXPECT_EQ(ds.Handle(), TAdsDataSet::kNoHandle);
  EXPECT_EQ(ds.ActiveHandle(), TAdsDataSet::kNoHandle);
  EXPECT_EQ(ds.TableType(), ttAdsADT);
  EXPECT_EQ(ds.DatabaseName(), "");
  EXPECT_FALSE(ds.Sequenced());
  EXPECT_EQ(ds.SequencedLevel(), slStandard);
  EXPECT_TRUE(ds.StoreActive());
  EXPECT_EQ(ds.AdsBinaryFldLen(), 0);
  EXPECT_EQ(ds.AdsConnection(), nullptr);
  EXPECT_NE(ds.MasterLink(), nullptr);
  EXPECT_FALSE(ds.CanModify());
}

TEST(AdsDataOptions, TheDatasetRegistryListsLiveDatasets) {
  const auto count = [] {
    int n = 0;
    DataSetRegistry::Instance().ForEach([&](AdsDataSetClient*) { ++n; });
    return n;
  };
  const int before = count();
  {
    TestAdsDataSet a(nullptr), b(nullptr);
    EXPECT_EQ(count(), before + 2);
  }
  EXPECT_EQ(count(), before);
}

TEST(AdsDataOptions, CharTypesHaveTheirNamesAndCollationTexts) {
  EXPECT_EQ(AdsCharTypeName(ANSI), "ANSI");
  EXPECT_EQ(AdsCharTypeName(OEM), "OEM");
  EXPECT_EQ(AdsCharTypeName(2), "CZECH_VFP_CI_AS_1250");
  EXPECT_EQ(AdsCharTypeName(67), "SLOVAK_VFP_CI_AS_895");
  EXPECT_EQ(AdsCharTypeName(68), "DANISH_ADS_CS_AS_1252");
  EXPECT_EQ(AdsCharTypeName(117), "BOSNIAN_ADS_CS_AS_775");
  EXPECT_EQ(AdsCharTypeName(118), "");
  EXPECT_EQ(AdsCharTypeName(-1), "");
  EXPECT_EQ(GERMAN_VFP_CI_AS_1252, 12);
  EXPECT_EQ(ENGL_AMER_ADS_CS_AS_1252, 70);
  EXPECT_EQ(SPAN_MOD_ADS_CS_AS_1252, 82);
  // Every collation text is the name, except four.
  for (int v = 0; v < kAdsCharTypeCount; ++v) {
    SCOPED_TRACE(v);
    if (v == 70 || v == 71 || v == 72 || v == 82) continue;
    EXPECT_EQ(AdsCharTypeCollation(v), AdsCharTypeName(v));
    EXPECT_FALSE(AdsCharTypeName(v).isEmpty());
  }
  EXPECT_EQ(AdsCharTypeCollation(70), "ENGL(AMER)_ADS_CS_AS_1252");
  EXPECT_EQ(AdsCharTypeCollation(71), "ENGL(CAN)_ADS_CS_AS_1252");
  EXPECT_EQ(AdsCharTypeCollation(72), "ENGL(UK)_ADS_CS_AS_1252");
  EXPECT_EQ(AdsCharTypeCollation(82), "SPAN(MOD)_ADS_CS_AS_1252");
}

TEST(AdsDataOptions, CharTypeRulesDependOnTheTableType) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  ds.AdsTableOptions().SetAdsCharType(GERMAN_VFP_CI_AS_1252);
  EXPECT_EQ(ds.AdsTableOptions().AdsCharType(), GERMAN_VFP_CI_AS_1252);
  ds.SetTableType(ttAdsCDX);
  EXPECT_EQ(Refusal([&] { ds.AdsTableOptions().SetAdsCharType(GERMAN_VFP_CI_AS_1252); }),
            "tb: ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or OEM.");
  ds.SetTableType(ttAdsNTX);
  ds.AdsTableOptions().SetAdsCharType(OEM);
  EXPECT_EQ(ds.AdsTableOptions().AdsCharType(), OEM);
  ds.SetTableType(ttAdsADT);
  EXPECT_EQ(Refusal([&] { ds.AdsTableOptions().SetAdsCharType(118); }), "tb: Invalid or unknown character type.");
  EXPECT_EQ(Refusal([&] { ds.AdsTableOptions().SetAdsCharType(-1); }), "tb: Invalid or unknown character type.");
  EXPECT_EQ(ds.AdsTableOptions().AdsCharType(), OEM);
}

TEST(AdsDataOptions, EffectiveCollationPrefersTheOptionThenTheConnectionThenTheCharType) {
  TestAdsDataSet ds(nullptr);
  ds.AdsTableOptions().SetAdsCharType(ENGL_UK_ADS_CS_AS_1252);
  EXPECT_EQ(ds.GetEffectiveCollation(), "ENGL(UK)_ADS_CS_AS_1252");
  TAdsConnection con(nullptr);
  ds.SetAdsConnection(&con);
  EXPECT_EQ(ds.GetEffectiveCollation(), "ENGL(UK)_ADS_CS_AS_1252");
  con.SetAdsCollation("GERMAN_ADS_CS_AS_1252");
  EXPECT_EQ(ds.GetEffectiveCollation(), "GERMAN_ADS_CS_AS_1252");
  ds.AdsTableOptions().SetAdsCollation("duden_de_ads_cs_as_1252");
  EXPECT_EQ(ds.GetEffectiveCollation(), "duden_de_ads_cs_as_1252");
  ds.SetAdsConnection(nullptr);
}

TEST(AdsDataOptions, TheVersionTextNamesTheEngineVersion) {
  EXPECT_EQ(FormatAdsVersionText(11, 1, 'a'), "11.10.0.30 (ACE 11.01a)");
  EXPECT_EQ(FormatAdsVersionText(12, 20, ' '), "11.10.0.30 (ACE 12.20)");
  EXPECT_EQ(FormatAdsVersionText(9, 0, 0), "11.10.0.30 (ACE 9.00)");
  ace_binding::ResetForTesting();
  TestAdsDataSet ds(nullptr);
  UNSIGNED32 major = 0, minor = 0;
  UNSIGNED8 letter = 0;
  ASSERT_EQ(AdsGetVersion(&major, &minor, &letter, nullptr, nullptr), 0u);
  EXPECT_EQ(ds.Version(), FormatAdsVersionText(major, minor, letter));
  ds.SetVersion("ignored");
  EXPECT_TRUE(ds.Version().startsWith("11.10.0.30 (ACE "));
}

TEST(AdsDataOptions, RefusedMembersNameTheirMethod) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  struct Row {
    const char* method;
    std::function<void()> call;
  };
  const Row rows[] = {
      {"GetTableLevel", [&] { (void)ds.TableLevel(); }},
      {"SetTableLevel", [&] { ds.SetTableLevel(7); }},
      {"GetDBDatabase", [&] { (void)ds.Database(); }},
      {"GetDBHandle", [&] { (void)ds.DBHandle(); }},
      {"GetDBLocale", [&] { (void)ds.DBLocale(); }},
      {"GetDBSession", [&] { (void)ds.DBSession(); }},
      {"GetProvider", [&] { (void)ds.Provider(); }},
      {"GetLocale", [&] { (void)ds.Locale(); }},
      {"GetExpIndex", [&] { (void)ds.ExpIndex(); }},
      {"GetSessionName", [&] { (void)ds.SessionName(); }},
      {"SetSessionName", [&] { ds.SetSessionName("s"); }},
      {"GetCacheBlobs", [&] { (void)ds.CacheBlobs(); }},
      {"SetCacheBlobs", [&] { ds.SetCacheBlobs(true); }},
      {"GetCachedUpdates", [&] { (void)ds.CachedUpdates(); }},
      {"SetCachedUpdates", [&] { ds.SetCachedUpdates(true); }},
      {"GetUpdateObject", [&] { (void)ds.UpdateObject(); }},
      {"SetUpdateObject", [&] { ds.SetUpdateObject(nullptr); }},
      {"GetUpdatesPending", [&] { (void)ds.UpdatesPending(); }},
      {"GetUpdateRecordSet", [&] { (void)ds.UpdateRecordTypes(); }},
      {"SetUpdateRecordSet", [&] { ds.SetUpdateRecordTypes(1); }},
      {"BatchMove", [&] { ds.BatchMove(nullptr, 0); }},
      {"CheckOpen", [&] { ds.CheckOpen(0); }},
      {"ApplyUpdates", [&] { ds.ApplyUpdates(); }},
      {"CancelUpdates", [&] { ds.CancelUpdates(); }},
      {"CommitUpdates", [&] { ds.CommitUpdates(); }},
      {"ConstraintsDisabled", [&] { (void)ds.ConstraintsDisabled(); }},
      {"DisableConstraints", [&] { ds.DisableConstraints(); }},
      {"EnableConstraints", [&] { ds.EnableConstraints(); }},
      {"FetchAll", [&] { ds.FetchAll(); }},
      {"GetIndexInfo", [&] { ds.GetIndexInfo(); }},
      {"RevertRecord", [&] { ds.RevertRecord(); }},
      {"UpdateStatus", [&] { (void)ds.UpdateStatus(); }},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Refusal(r.call), std::string("tb: The method ") + r.method + " in TAdsDataSet is not supported.");
  }
}

TEST(AdsDataOptions, ProviderSupportWithoutAConnection) {
  TestAdsDataSet ds(nullptr);
  EXPECT_TRUE(ds.PSIsSQLSupported());
  EXPECT_TRUE(ds.PSIsSQLBased());
  EXPECT_EQ(ds.PSGetQuoteChar(), "\"");
  EXPECT_FALSE(ds.PSInTransaction());
  ds.PSStartTransaction();
  ds.PSEndTransaction(true);
  EXPECT_FALSE(ds.PSUpdateRecord(ukModify, &ds)) << "no handler: not applied";
  TUpdateKind seen = ukDelete;
  ds.OnUpdateRecord = [&](TDataSet*, TUpdateKind kind, TUpdateAction& action) {
    seen = kind;
    action = kind == ukInsert ? uaApplied : uaSkip;
  };
  EXPECT_TRUE(ds.PSUpdateRecord(ukInsert, &ds));
  EXPECT_EQ(seen, ukInsert);
  EXPECT_FALSE(ds.PSUpdateRecord(ukModify, &ds));

  ds.SetName("cds");
  std::unique_ptr<TDataSet> result;
  EXPECT_EQ(Refusal([&] { ds.PSExecuteStatement("select 1", nullptr, &result); }),
            "cds: A TAdsConnection component is required for TClientDataSet/IProvider support. Use either the "
            "AdsConnection  property or the Database property to specify a TAdsConnection instance.");
  EXPECT_EQ(result, nullptr);
}

TEST(AdsDataOptions, ProviderStatementsTakeTheOpenSettingsOfTheOptionSet) {
  TestAdsDataSet ds(nullptr);
  TAdsDatasetOptions o = ds.ProviderDatasetOptions();
  EXPECT_EQ(o.musAdsLockType, 1);
  EXPECT_EQ(o.musAdsCharType, 1);
  EXPECT_EQ(o.musAdsRightsCheck, 1);
  EXPECT_EQ(o.musAdsTableType, 3);
  ds.AdsTableOptions().SetAdsLockType(Compatible);
  ds.AdsTableOptions().SetAdsCharType(OEM);
  ds.AdsTableOptions().SetAdsRightsCheck(false);
  o = ds.ProviderDatasetOptions();
  EXPECT_EQ(o.musAdsLockType, 0);
  EXPECT_EQ(o.musAdsCharType, 2);
  EXPECT_EQ(o.musAdsRightsCheck, 2);
}

namespace {

class AdsDataOpenOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    connection_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(connection_, "abc", "NAME,Char,6;");
    AppendNamedRows(t, "NAME", {"ann"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }
  void TearDown() override { AdsDisconnect(connection_); }
  testenv::TempDir dir_;
  ADSHANDLE connection_ = 0;
};

}  // namespace

TEST_F(AdsDataOpenOptions, OptionsRefusedWhileOpenAndTheOpenModeReported) {
  TestAdsDataSet ds(nullptr);
  ds.SetName("tb");
  ds.SetDatabaseName(QString::fromStdString(dir_.str()));
  ds.SetTableName("abc");
  ds.SetReadOnly(true);
  ds.Open();
  EXPECT_FALSE(ds.CanModify()) << "a read-only open cannot modify";
  for (const std::function<void()>& f : std::vector<std::function<void()>>{
           [&] { ds.AdsTableOptions().SetAdsLockType(Compatible); },
           [&] { ds.AdsTableOptions().SetAdsCharType(OEM); },
           [&] { ds.AdsTableOptions().SetAdsRightsCheck(false); },
           [&] { ds.AdsTableOptions().SetAdsCachingOption(tcReads); }}) {
    EXPECT_EQ(Refusal(f), "tb: Table must not be Active.");
  }
  // Plain options may change while open.
  ds.AdsTableOptions().SetAdsLocateBehavior(lbFindFirst);
  EXPECT_EQ(ds.AdsTableOptions().AdsLocateBehavior(), lbFindFirst);
  ds.Close();

  ds.SetReadOnly(false);
  ds.Open();
  EXPECT_TRUE(ds.CanModify());
  ds.Close();
}

TEST_F(AdsDataOpenOptions, TheOpenedTablesCharTypeComesBackIntoTheOptionSet) {
  ADSHANDLE t = CreateTable(connection_, "oem", "NAME,Char,6;", 2);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  TestAdsDataSet ds(nullptr);
  ds.SetDatabaseName(QString::fromStdString(dir_.str()));
  ds.SetTableName("oem");
  ASSERT_EQ(ds.AdsTableOptions().AdsCharType(), ANSI);
  ds.Open();
  EXPECT_EQ(ds.OpenCharType(), 2);
  EXPECT_EQ(ds.AdsTableOptions().AdsCharType(), OEM);
  ds.Close();
}

TEST_F(AdsDataOpenOptions, ADestroyedDatasetLeavesItsConnection) {
  TAdsConnection con(nullptr);
  con.SetConnectPath(QString::fromStdString(dir_.str()));
  con.SetLoginPrompt(false);
  {
    TestAdsDataSet ds(nullptr);
    ds.SetAdsConnection(&con);
    ds.SetTableName("abc");
    ds.Open();
    EXPECT_EQ(con.DataSetCount(), 1);
  }
  EXPECT_EQ(con.DataSetCount(), 0);
  con.Disconnect();
  EXPECT_FALSE(con.IsConnected());
}

TEST_F(AdsDataOpenOptions, AnExclusiveOpenIsReportedByTheEngine) {
  TestAdsDataSet ds(nullptr);
  ds.SetDatabaseName(QString::fromStdString(dir_.str()));
  ds.SetTableName("abc");
  ds.SetExclusive(true);
  ds.Open();
  UNSIGNED32 options = 0;
  ASSERT_EQ(AdsGetTableOpenOptions(ds.Handle(), &options), 0u);
  EXPECT_NE(options & 1u, 0u);
  EXPECT_TRUE(ds.Exclusive());
  EXPECT_TRUE(ds.CanModify());
  // A second, shared open of the same table is refused while the first holds it.
  TestAdsDataSet other(nullptr);
  other.SetDatabaseName(QString::fromStdString(dir_.str()));
  other.SetTableName("abc");
  EXPECT_THROW(other.Open(), EADSDatabaseError);
  EXPECT_FALSE(other.Active());
  ds.Close();
  other.Open();
  EXPECT_TRUE(other.Active());
}

TEST(AdsDataOptions, APropertyChangeMarksTheIndexDefinitionsForReading) {
  TestAdsDataSet ds(nullptr);
  ds.IndexDefs().SetUpdated(true);
  ds.DataEvent(deDataSetChange);
  EXPECT_TRUE(ds.IndexDefs().Updated());
  ds.DataEvent(dePropertyChange);
  EXPECT_FALSE(ds.IndexDefs().Updated());
}

TEST(AdsDataOptions, FieldDescriptionsAreFoundByNameIgnoringCase) {
  TACEFieldDefs defs(nullptr);
  defs.Add()->SetFieldName("Name");
  defs.Add()->SetFieldName("AGE");
  EXPECT_EQ(defs.IndexOf("name"), 0);
  EXPECT_EQ(defs.IndexOf("age"), 1);
  EXPECT_EQ(defs.IndexOf("none"), -1);
  TACEFieldDef copy(nullptr);
  copy.SetFieldName("Other");
  copy.SetLength(12);
  defs.SetItems(1, copy);
  EXPECT_EQ(defs.Items(1)->FieldName(), "Other");
  EXPECT_EQ(defs.Items(1)->Length(), 12u);
  EXPECT_EQ(defs.Items(1)->Collection(), &defs);
  EXPECT_THROW(defs.Items(2), ERangeError);
}
