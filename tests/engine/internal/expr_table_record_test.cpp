// Expressions over native-table record images: every field type read through the table's
// own encodings, null fields, and memo text through the table's blob reader.
#include "engine/expr/table_expr_record.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/core/error.h"
#include "engine/expr/compiled_expr.h"
#include "engine/expr/date_text.h"
#include "engine/table/record_writer.h"

namespace {

using namespace engine;

class ExprTableRecord : public ::testing::Test {
 protected:
  ExprTableRecord()
      : schema(table::Schema::FromSpecs({
            {"NAME", table::FieldType::kString, 20, 0},
            {"CI", table::FieldType::kCIString, 8, 0},
            {"VC", table::FieldType::kVarChar, 12, 0},
            {"WIDE", table::FieldType::kNChar, 6, 0},
            {"AMOUNT", table::FieldType::kNumeric, 10, 2},
            {"RATE", table::FieldType::kDouble, 0, 0},
            {"QTY", table::FieldType::kInteger, 0, 0},
            {"SMALL", table::FieldType::kShortInt, 0, 0},
            {"CASH", table::FieldType::kMoney, 0, 0},
            {"BORN", table::FieldType::kDate, 0, 0},
            {"AT", table::FieldType::kTime, 0, 0},
            {"STAMP", table::FieldType::kTimeStamp, 0, 0},
            {"OK", table::FieldType::kLogical, 0, 0},
            {"NOTES", table::FieldType::kMemo, 0, 0},
            {"PICTURE", table::FieldType::kBinary, 0, 0},
        })),
        image(schema.recordLength()),
        exprSchema(schema, "ORDERS", /*memosReadable=*/true),
        record(schema, [this](table::BlobRef ref) { return blobs.at(ref.block); }) {
    table::WriteEmptyRecord(schema, image.data());
    table::WriteText(schema, image.data(), 0, "Smith", false);
    table::WriteText(schema, image.data(), 1, "MiXed", false);
    table::WriteText(schema, image.data(), 2, "short", false);
    table::WriteWideText(schema, image.data(), 3, u"\u00c4rger", false);
    table::WriteNumber(schema, image.data(), 4, 1234.5);
    table::WriteNumber(schema, image.data(), 5, 0.25);
    table::WriteInteger(schema, image.data(), 6, -17);
    table::WriteInteger(schema, image.data(), 7, 300);
    table::WriteNumber(schema, image.data(), 8, 12.3456);
    table::WriteJulian(schema, image.data(), 9, static_cast<int32_t>(expr::JulianFromYmd(1982, 3, 7)));
    table::WriteMilliseconds(schema, image.data(), 10, (8 * 3600 + 30 * 60) * 1000);
    table::WriteTimeStamp(schema, image.data(), 11, static_cast<int32_t>(expr::JulianFromYmd(2024, 1, 31)), 3600 * 1000);
    table::WriteLogical(schema, image.data(), 12, true);
    blobs[7] = "Called about the invoice";
    table::WriteBlobRef(schema, image.data(), 13, table::BlobRef{7, 24});
    record.At(image.data(), 5);
  }

  std::string text(const std::string& e) {
    return expr::CompiledExpr::Compile(e, &exprSchema)->EvalText(&record, options);
  }
  bool holds(const std::string& e) { return expr::CompiledExpr::Compile(e, &exprSchema)->EvalLogical(&record, options); }

  table::Schema schema;
  std::vector<uint8_t> image;
  std::map<uint32_t, std::string> blobs;
  expr::TableExprSchema exprSchema;
  expr::TableExprRecord record;
  expr::EvalOptions options;
};

TEST_F(ExprTableRecord, EveryFieldTypeReadsInItsExpressionType) {
  struct Case {
    const char* expr;
    const char* want;
  } cases[] = {
      {"NAME", "Smith               "},
      {"UPPER(CI)", "MIXED   "},
      {"VC + '|'", "short|"},
      {"WIDE", "\xC4rger "},  // converted to Windows-1252
      {"AMOUNT * 2", "2469"},
      {"RATE + QTY", "-16.75"},
      {"SMALL", "300"},
      {"CASH", "12.3456"},
      {"DTOS(BORN)", "19820307"},
      {"TTOC(AT)", "08:30:00"},
      {"TTOC(STAMP)", "01/31/2024 01:00:00"},
      {"OK", "T"},
      {"UPPER(NOTES)", "CALLED ABOUT THE INVOICE"},
      {"RECNO()", "5"},
      {"DELETED()", "F"},
      {"ORDERS->NAME = 'Smith'", "T"},
  };
  for (const Case& c : cases) EXPECT_EQ(text(c.expr), c.want) << c.expr;
  EXPECT_EQ(expr::CompiledExpr::Compile("NAME", &exprSchema)->length(), 20u);
  EXPECT_EQ(expr::CompiledExpr::Compile("VC", &exprSchema)->length(), 12u);
  EXPECT_EQ(expr::CompiledExpr::Compile("WIDE", &exprSchema)->length(), 6u);
}

TEST_F(ExprTableRecord, NullFieldsAreNull) {
  for (size_t i : {0, 2, 4, 6, 9, 10, 11, 12}) table::WriteNull(schema, image.data(), i);
  for (const char* e : {"ISNULL(NAME)", "ISNULL(VC)", "ISNULL(AMOUNT)", "ISNULL(QTY)", "ISNULL(BORN)", "ISNULL(AT)",
                        "ISNULL(STAMP)", "ISNULL(OK)", "EMPTY(NAME)", "BORN = {}", "QTY = 0"})
    EXPECT_TRUE(holds(e)) << e;
  EXPECT_FALSE(holds("ISNULL(CI)"));
}

TEST_F(ExprTableRecord, DeletedRecordsAndBinaryFields) {
  image[0] = table::kDeletedFlag;
  EXPECT_TRUE(holds("DELETED()"));
  try {
    expr::CompiledExpr::Compile("PICTURE", &exprSchema);
    ADD_FAILURE() << "a binary field compiled";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kExprUnknownField);
  }
  // Without a blob reader memo fields are not offered either.
  expr::TableExprSchema noMemo(schema, "ORDERS", false);
  EXPECT_THROW(expr::CompiledExpr::Compile("NOTES", &noMemo), EngineError);
}

TEST_F(ExprTableRecord, KeysOverManyImagesReuseOneRecordObject) {
  auto key = expr::CompiledExpr::Compile("UPPER(NAME) + STR(QTY, 4)", &exprSchema);
  std::string bytes(key->length(), '\0');
  const char* names[] = {"alpha", "Beta", "", "gamma delta"};
  for (int n = 0; n < 4; ++n) {
    table::WriteText(schema, image.data(), 0, names[n], false);
    table::WriteInteger(schema, image.data(), 6, n * 10);
    record.At(image.data(), static_cast<uint32_t>(n + 1));
    key->WriteKey(&record, options, bytes.data());
    std::string want = names[n];
    for (char& c : want) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    want.resize(20, ' ');
    char num[8];
    std::snprintf(num, sizeof num, "%4d", n * 10);
    EXPECT_EQ(bytes, want + num);
  }
}

}  // namespace
