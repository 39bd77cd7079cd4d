// The expression entry points on table, cursor and index handles: validity, evaluation on the
// current record (an empty record when there is none) with the handle's exact setting and the
// connection's date format, the type test, and the long and short field-name forms.
#include "engine/core/text_out.h"
#include "engine/expr/expr_calls.h"
#include "engine/expr/field_names.h"
#include "engine/filter/cursor_expr.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

namespace {

std::string Text(UNSIGNED8* p, const char* name) {
  return reinterpret_cast<const char*>(core::Require(p, name));
}

}  // namespace

UNSIGNED32 AdsIsExprValid(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED16* pbValid) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucExpr, "pucExpr");
  core::Require(pbValid, "pbValid");
  filter::CursorExpr expr(*cursor);
  *pbValid = expr::ExprIsValid(text, &expr.schema()) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED16* pbResult) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucExpr, "pucExpr");
  core::Require(pbResult, "pbResult");
  filter::CursorExpr expr(*cursor);
  expr::ExprScene scene{&expr.schema(), &expr.Current(), filter::OptionsFor(*cursor)};
  *pbResult = expr::EvalLogicalExpr(text, scene) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsEvalNumericExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr, DOUBLE* pdResult) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucExpr, "pucExpr");
  core::Require(pdResult, "pdResult");
  filter::CursorExpr expr(*cursor);
  expr::ExprScene scene{&expr.schema(), &expr.Current(), filter::OptionsFor(*cursor)};
  *pdResult = expr::EvalNumericExpr(text, scene);
  return 0;
}

UNSIGNED32 AdsEvalStringExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED8* pucResult, UNSIGNED16* pusLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucExpr, "pucExpr");
  core::Require(pusLen, "pusLen");
  filter::CursorExpr expr(*cursor);
  expr::ExprScene scene{&expr.schema(), &expr.Current(), filter::OptionsFor(*cursor)};
  return core::TextOut(expr::EvalStringExpr(text, scene), pucResult, pusLen);
}

UNSIGNED32 AdsEvalTestExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED16* pusType) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucExpr, "pucExpr");
  core::Require(pusType, "pusType");
  filter::CursorExpr expr(*cursor);
  *pusType = expr::EvalTestExpr(text, &expr.schema());
  return 0;
}

UNSIGNED32 AdsExpressionLongToShort90(ADSHANDLE hTable, UNSIGNED8* pucLongExpr, UNSIGNED8* pucShortExpr,
                                      UNSIGNED16* pusBufferLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucLongExpr, "pucLongExpr");
  filter::CursorExpr expr(*cursor);
  return core::TextOut(expr::ExpressionLongToShort(text, expr.schema()), pucShortExpr, pusBufferLen);
}

UNSIGNED32 AdsExpressionShortToLong90(ADSHANDLE hTable, UNSIGNED8* pucShortExpr, UNSIGNED8* pucLongExpr,
                                      UNSIGNED16* pusBufferLen) {
  auto cursor = table::CursorOf(hTable).cursor;
  std::string text = Text(pucShortExpr, "pucShortExpr");
  filter::CursorExpr expr(*cursor);
  return core::TextOut(expr::ExpressionShortToLong(text, expr.schema()), pucLongExpr, pusBufferLen);
}

}  // namespace engine::api
