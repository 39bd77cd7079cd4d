// A data dictionary for the table and query components' tests: "DB.add" in a fresh folder with
// the table "people" (NAME Char 10, AGE Integer; rows cy, ann, bob in natural order), and a
// connection set up the way the reindex tool sets up its own (remote or local server, no login
// prompt, user adssys, the dictionary as connect path).
//
// Subclasses that need "people" changed before it joins the dictionary (encrypted, given an
// index) override PreparePeople; AddTables creates more tables and adds them to the dictionary.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "test_env.h"

namespace adsdata_test {

class PeopleDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    dictionary_ = (dir_.path() / "DB.add").string();
    QByteArray path = ToAnsi(QString::fromStdString(dictionary_));
    ADSHANDLE dd = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &dd), 0u) << LastError();
    ADSHANDLE folder = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(folder, "people", "NAME,Char,10;AGE,Integer;");
    AppendNamedRows(t, "NAME", {"cy", "ann", "bob"});
    ASSERT_EQ(AdsCloseTable(t), 0u);
    PreparePeople(folder);
    if (HasFatalFailure()) return;
    ASSERT_EQ(AdsDisconnect(folder), 0u);
    QByteArray name("people");
    QByteArray file("people.adt");
    ASSERT_EQ(AdsDDAddTable(dd, A(name), A(file), 3, 1, nullptr, nullptr), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }

  // Runs on a folder connection after "people.adt" was written and closed, before the table
  // joins the dictionary.
  virtual void PreparePeople(ADSHANDLE /*folder*/) {}

  // Creates each table (NAME Char 10; rows a and b) beside the dictionary and adds it.
  void AddTables(std::initializer_list<const char*> names) {
    ADSHANDLE folder = ConnectFolder(dir_.str());
    for (const char* name : names) {
      ADSHANDLE t = CreateTable(folder, name, "NAME,Char,10;");
      AppendNamedRows(t, "NAME", {"a", "b"});
      ASSERT_EQ(AdsCloseTable(t), 0u);
    }
    ASSERT_EQ(AdsDisconnect(folder), 0u);
    ADSHANDLE dd = ConnectDictionary();
    for (const char* name : names) {
      QByteArray n(name);
      QByteArray file = n + ".adt";
      ASSERT_EQ(AdsDDAddTable(dd, A(n), A(file), 3, 1, nullptr, nullptr), 0u) << LastError();
    }
    ASSERT_EQ(AdsDisconnect(dd), 0u);
  }

  // An engine connection to the dictionary as its administrator.
  ADSHANDLE ConnectDictionary() {
    QByteArray path = ToAnsi(QString::fromStdString(dictionary_));
    QByteArray user("adssys");
    ADSHANDLE dd = 0;
    EXPECT_EQ(AdsConnect60(A(path), 1, A(user), nullptr, 0, &dd), 0u) << LastError();
    return dd;
  }

  void Configure(TAdsConnection& con) {
    con.SetAdsServerTypes(AdsServerTypeBit(stADS_REMOTE) | AdsServerTypeBit(stADS_LOCAL));
    con.SetLoginPrompt(false);
    con.SetUsername("adssys");
    con.SetConnectPath(QString::fromStdString(dictionary_));
  }

  testenv::TempDir dir_;
  std::string dictionary_;
};

}  // namespace adsdata_test
