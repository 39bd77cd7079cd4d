// A native table made for the filter tests: random records with duplicates, null values and
// deleted records, a structural index with tags on some fields, and an in-memory model of the
// same records to check answers against.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "test_env.h"

namespace filtertest {

inline UNSIGNED8* U(const std::string& s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str())); }
UNSIGNED32 LastCode();
std::string LastText();

// One record as the model holds it. Null values read as the empty value of their type.
struct Row {
  uint32_t recno = 0;
  std::string name;  // padded to 12, or "" when null
  bool nameNull = false;
  int n = 0;
  bool nNull = false;
  std::string city;  // padded to 8
  bool active = false;
  bool deleted = false;
};

constexpr size_t kNameWidth = 12;

// Comparison of character values as the expression language makes it.
int CompareText(const std::string& a, const std::string& b, bool exact);

class FilterTable : public ::testing::Test {
 protected:
  // Creates `count` records (seeded) with tags BYNAME "NAME", BYN "N", BYUPPER "UPPER(NAME)",
  // BYACTIVE "ACTIVE", and opens the table shared. `tagOptions` are the option bits of BYN and
  // BYNAME (8 makes them descending); `collation` is that of BYNAME (empty: ANSI).
  void Build(uint32_t count, uint32_t seed = 7, uint32_t tagOptions = 0, const std::string& collation = "");
  void TearDown() override;

  // Record numbers the handle shows, walking forward from the top / backward from the bottom.
  std::vector<uint32_t> Forward(ADSHANDLE h);
  std::vector<uint32_t> Backward(ADSHANDLE h);
  uint32_t Count(ADSHANDLE h);
  // Visible records of the model that satisfy the predicate, in record order.
  std::vector<uint32_t> Expected(const std::function<bool(const Row&)>& p) const;

  testenv::TempDir dir_;
  std::string path_;
  std::vector<Row> rows_;
  ADSHANDLE h_ = 0;
};

}  // namespace filtertest
