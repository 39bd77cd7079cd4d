// The tables of the demo installation: their field definitions, index tags and generated
// rows of ship-management data. Generation is deterministic: the same table, site and scale
// always give the same rows. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aceadmin::demo {

struct TagDeclaration {
  std::string tag;
  std::string expression;
};

struct DemoTable {
  std::string name;
  std::string fields;  // field-definition string
  std::vector<TagDeclaration> tags;
  std::string defaultIndex;  // a tag name, or empty
  uint32_t rowsAtScaleOne;
};

// The tables of the main dictionary and of each site dictionary.
const std::vector<DemoTable>& MainTables();
const std::vector<DemoTable>& SiteTables();

// A deterministic generator of plausible values.
class Rows {
 public:
  explicit Rows(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  const std::string& Pick(const std::vector<std::string>& choices) { return choices[Below(static_cast<uint32_t>(choices.size()))]; }
  // A date between 1990 and 2026 in the engine's default format MM/DD/CCYY.
  std::string Date(int firstYear = 1990, int lastYear = 2026);
  // A number with `decimals` digits after the point, below `limit`.
  std::string Amount(uint32_t limit, int decimals);

 private:
  uint64_t state_;
};

// The values of row `n` (from 1) of `table` in the order of its fields; `site` is 0 for the
// main dictionary; `vessels` the number of vessels rows refer to.
std::vector<std::string> RowValues(const DemoTable& table, uint32_t n, uint32_t site, uint32_t vessels, Rows& rng);

}  // namespace aceadmin::demo
