// Error reporting of the data-access layer: message composition, the fields taken from the
// dataset, the parsing of SQL error numbers and column names, and the per-thread guard that
// drops a second failure met while an error is being built.
#include <gtest/gtest.h>

#include <thread>

#include "ads/ads_errors.h"
#include "fake_dataset.h"

TEST(AdsErrors, MessageCarriesTheDatasetNameWhenThereIsOne) {
  TComponent owner(nullptr);
  owner.SetName("fmReindex");
  RecordingDataSet tb(&owner, nullptr);
  tb.SetName("tb");
  tb.SetDatabaseName("con");
  tb.path_ = "C:\\data";
  tb.tableName_ = "vessels";

  EADSDatabaseError e(&tb, 7008, "The table is in use.");
  EXPECT_EQ(e.Message(), "tb: The table is in use.");
  EXPECT_EQ(e.ACEErrorCode(), 7008u);
  EXPECT_EQ(e.DataSetInstanceName(), "tb");
  EXPECT_EQ(e.DataSetInstanceOwner(), "fmReindex");
  EXPECT_EQ(e.DatabaseName(), "con");
  EXPECT_EQ(e.DatabasePath(), "C:\\data");
  EXPECT_EQ(e.TableName(), "vessels");
  EXPECT_FALSE(BuildingAdsError());

  RecordingDataSet unnamed(nullptr, nullptr);
  EADSDatabaseError plain(&unnamed, 5121, "text");
  EXPECT_EQ(plain.Message(), "text");
  EXPECT_EQ(plain.DataSetInstanceOwner(), "");

  EADSDatabaseError none(nullptr, 5000, "engine text");
  EXPECT_EQ(none.Message(), "engine text");
  EXPECT_EQ(none.DataSetInstanceName(), "");
  EXPECT_EQ(none.DatabasePath(), "");
}

TEST(AdsErrors, AFailureWhileGatheringFieldsIsDroppedAndTheFirstErrorKeepsItsMessage) {
  RecordingDataSet tb(nullptr, nullptr);
  tb.SetName("tb");
  tb.SetDatabaseName("db");
  tb.tableName_ = "crew";
  tb.failPath_ = true;
  EADSDatabaseError e(&tb, 5004, "first failure 7200: NativeError = 12;");
  EXPECT_EQ(e.Message(), "tb: first failure 7200: NativeError = 12;");
  EXPECT_EQ(e.DatabaseName(), "db");
  EXPECT_EQ(e.DatabasePath(), "");
  EXPECT_EQ(e.TableName(), "") << "fields after the failing one are not gathered";
  EXPECT_EQ(e.SQLErrorCode(), 0u) << "the guard covers the parsing too";
  EXPECT_FALSE(BuildingAdsError());
}

TEST(AdsErrors, SqlErrorNumbersAreParsedInAnyLetterCase) {
  struct Case {
    const char* msg;
    uint32_t expected;
  } cases[] = {
      {"Error 7200: AQE Error: State = 42000; NativeError = 2121; [x] bad", 2121},
      {"error 7200:  nativeerror = 2121;", 2121},
      {"ERROR 7200: NATIVEERROR = 2121", 2121},
      {"Error 7200: NativeError = abc; rest", 0},
      {"Error 7201: NativeError = 2121;", 0},
      {"NativeError = 2121; without the other marker", 0},
      {"Error 7200: NativeError = 15; later NativeError = 99;", 15},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSqlErrorCode(c.msg), c.expected) << c.msg;
}

TEST(AdsErrors, ColumnNamesAreTakenOnlyForTheColumnErrorCodes) {
  RecordingDataSet q(nullptr, nullptr);
  q.SetName("q");
  struct Case {
    uint32_t code;
    QString msg;
    QString expected;
  } cases[] = {
      {5148, "no marker here", ""},
      {5148, "Error: column \"NAME\" is ambiguous", "NAME"},
      {5147, "unknown column \"Vessel Name\" in x", "Vessel Name"},
      {5149, "column \"UNTERMINATED rest of text", "UNTERMINATED rest of text"},
      {5149, "column \"" + QString(1000, 'x'), QString(900, 'x')},
      {5000, "column \"NAME\"", ""},
  };
  for (const Case& c : cases) {
    EADSDatabaseError e(&q, c.code, c.msg);
    EXPECT_EQ(e.ColumnName(), c.expected) << c.msg.toStdString();
  }
}

TEST(AdsErrors, BuildingAdsErrorIsPerThread) {
  SetBuildingAdsError(true);
  bool otherThreadSaw = true;
  std::string otherMessage;
  std::thread other([&] {
    otherThreadSaw = BuildingAdsError();
    EADSDatabaseError e(nullptr, 5121, "raised on another thread");
    otherMessage = e.what();
  });
  other.join();
  EXPECT_FALSE(otherThreadSaw);
  EXPECT_EQ(otherMessage, "raised on another thread");

  // On this thread an error built now is left empty, and CheckAceResult raises nothing.
  EADSDatabaseError dropped(nullptr, 5121, "dropped");
  EXPECT_EQ(dropped.Message(), "");
  EXPECT_EQ(dropped.ACEErrorCode(), 0u);
  SetBuildingAdsError(true);
  EXPECT_NO_THROW(CheckAceResult(nullptr, 5004));
  SetBuildingAdsError(false);
}
