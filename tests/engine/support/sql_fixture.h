// Helpers for the SQL tests: a dictionary with small tables made through the C interface,
// statements, and reading a cursor's rows as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/api_fixture.h"

namespace sqltest {

using Rows = std::vector<std::vector<std::string>>;

// A dictionary connection in a temporary folder.
class SqlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the table `name` from a field definition ("ID,Integer;NAME,Char,20;") in the
  // dictionary and appends `rows` (one text per field; "" leaves a field empty).
  void MakeTable(const std::string& name, const std::string& fields, const Rows& rows = {});
  // A new statement on the connection (closed at the end of the test).
  ADSHANDLE Statement();
  // Runs `sql` directly on a new statement; returns the code, and the cursor in *cursor.
  UNSIGNED32 Run(const std::string& sql, ADSHANDLE* cursor = nullptr, ADSHANDLE statement = 0);
  // Runs `sql` and returns the rows of its cursor (fails the test when it does not run).
  Rows Query(const std::string& sql);

  acetest::Workspace ws_;
  ADSHANDLE conn_ = 0;
  std::vector<ADSHANDLE> statements_;
};

// Every row of a cursor from the top, each field as AdsGetString gives it with trailing
// blanks removed.
Rows ReadAll(ADSHANDLE cursor);
// The field names of a cursor or table.
std::vector<std::string> FieldNames(ADSHANDLE cursor);
// The last error's code and text.
UNSIGNED32 LastCode();
std::string LastText();

}  // namespace sqltest
