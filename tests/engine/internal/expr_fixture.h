// A small in-memory table for the expression tests: one record with a field of every type,
// and helpers that compile and evaluate a text against it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/core/error.h"
#include "engine/expr/compiled_expr.h"
#include "engine/expr/date_text.h"
#include "engine/expr/memory_record.h"

namespace exprtest {

using engine::expr::CompiledExpr;
using engine::expr::EvalOptions;
using engine::expr::ExprType;
using engine::expr::JulianFromYmd;
using engine::expr::kMsPerDay;
using engine::expr::MemoryRecord;
using engine::expr::Value;

struct Failure {
  bool failed = false;
  engine::ErrorCode code = 0;
  std::string text;
};

class ExprTest : public ::testing::Test {
 protected:
  ExprTest() : table("CUST") {
    name = table.AddField("NAME", ExprType::String, 30);
    city = table.AddField("City", ExprType::String, 20);
    age = table.AddField("AGE", ExprType::Numeric, 5);
    price = table.AddField("PRICE", ExprType::Numeric, 10, 2);
    born = table.AddField("BORN", ExprType::Date, 8);
    active = table.AddField("ACTIVE", ExprType::Logical, 1);
    notes = table.AddField("NOTES", ExprType::String, 10, 0, /*variableLength=*/true);
    stamp = table.AddField("STAMP", ExprType::Timestamp, 8);
    start = table.AddField("START", ExprType::Time, 4);
    empty = table.AddField("NOTHING", ExprType::String, 6);
    table.SetString(name, "Smith");
    table.SetString(city, "Berlin");
    table.SetNumber(age, 42);
    table.SetNumber(price, 19.95);
    table.SetDate(born, JulianFromYmd(1982, 3, 7));
    table.SetLogical(active, true);
    table.SetString(notes, "Called twice about the invoice; prefers e-mail.");
    table.SetTimestamp(stamp, JulianFromYmd(2024, 1, 31) * kMsPerDay + ((13 * 60 + 5) * 60 + 9) * 1000LL);
    table.SetTime(start, ((8 * 60 + 30) * 60) * 1000LL);
    table.SetString(empty, "");
    table.SetRecordNumber(17);
    options.fixedNowMs = JulianFromYmd(2026, 12, 9) * kMsPerDay + ((22 * 60 + 15) * 60 + 30) * 1000LL;
  }

  std::unique_ptr<CompiledExpr> compile(const std::string& text) { return CompiledExpr::Compile(text, &table, options.dateFormat); }

  // Evaluates and copies the value (its text outlives the expression).
  struct Result {
    ExprType type;
    Value value;
    std::string text;
    uint32_t length;
  };
  Result eval(const std::string& text) {
    auto e = compile(text);
    Result r{e->type(), e->Evaluate(&table, options), {}, e->length()};
    r.text.assign(r.value.text());
    return r;
  }
  std::string str(const std::string& text) {
    Result r = eval(text);
    EXPECT_EQ(r.type, ExprType::String) << text;
    EXPECT_FALSE(r.value.null) << text;
    return r.text;
  }
  double num(const std::string& text) {
    Result r = eval(text);
    EXPECT_EQ(r.type, ExprType::Numeric) << text;
    EXPECT_FALSE(r.value.null) << text;
    return r.value.number;
  }
  bool logic(const std::string& text) {
    Result r = eval(text);
    EXPECT_EQ(r.type, ExprType::Logical) << text;
    return r.value.logical && !r.value.null;
  }
  int64_t date(const std::string& text) {
    Result r = eval(text);
    EXPECT_EQ(r.type, ExprType::Date) << text;
    return r.value.integer;
  }
  Failure fail(const std::string& text) {
    Failure f;
    try {
      compile(text);
    } catch (const engine::EngineError& e) {
      f.failed = true;
      f.code = e.code();
      f.text = e.what();
    }
    return f;
  }

  MemoryRecord table;
  EvalOptions options;
  int name, city, age, price, born, active, notes, stamp, start, empty;
};

}  // namespace exprtest
