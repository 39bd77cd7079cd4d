// AdsLocate and AdsContinue: the first visible record (in the handle's order) satisfying an
// expression, from the top forward or from the bottom backward, and the next one after the
// current record in the same direction. Not finding one leaves the cursor at the end it ran
// into (end of file forward, beginning of file backward).
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/expr/compiled_expr.h"
#include "engine/filter/cursor_filters.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

namespace {

// Walks from the current position (inclusive) in the direction until the expression holds.
bool Search(table::CursorRef& c, filter::CursorFilters& f, const std::string& text, bool forward) {
  expr::EvalOptions options = filter::OptionsFor(*c.cursor);
  auto e = expr::CompiledExpr::Compile(text, &f.expr().schema(), options.dateFormat);
  if (e->type() != expr::ExprType::Logical) {
    Fail(err::kExprResultType, "AdsLocate needs a logical expression; \"" + text + "\" is " + expr::ExprTypeName(e->type()));
  }
  while (c->recordNumber() != 0) {
    if (e->EvalLogical(&f.expr().Current(), options)) return true;
    c->Skip(forward ? 1 : -1, c.order());
  }
  return false;
}

}  // namespace

UNSIGNED32 AdsLocate(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED16 bForward, UNSIGNED16* pbFound) {
  table::CursorRef c = table::CursorOf(hTable);
  std::string text = core::InText(core::Require(pucExpr, "pucExpr"));
  core::Require(pbFound, "pbFound");
  filter::CursorFilters& f = filter::CursorFilters::Of(*c.cursor);
  bool forward = bForward != 0;
  // Compile before moving: a malformed expression leaves the position as it was.
  expr::CompiledExpr::Compile(text, &f.expr().schema(), filter::OptionsFor(*c.cursor).dateFormat);
  if (forward) {
    c->GotoTop(c.order());
  } else {
    c->GotoBottom(c.order());
  }
  f.locateExpression = text;
  f.locateForward = forward;
  *pbFound = Search(c, f, text, forward) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsContinue(ADSHANDLE hTable, UNSIGNED16* pbFound) {
  table::CursorRef c = table::CursorOf(hTable);
  core::Require(pbFound, "pbFound");
  filter::CursorFilters* f = filter::CursorFilters::Find(*c.cursor);
  if (!f || !f->locateExpression) Fail(err::kNoLocate, "AdsContinue: no AdsLocate was made on this handle.");
  *pbFound = 0;
  if (c->recordNumber() == 0) return 0;  // already past the last match
  c->Skip(f->locateForward ? 1 : -1, c.order());
  *pbFound = Search(c, *f, *f->locateExpression, f->locateForward) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsImageToClipboard(ADSHANDLE hObj, UNSIGNED8* pucFldName) {
  table::CursorRef c = table::CursorOf(hObj);
  table::FieldIndex(*c.cursor, pucFldName);
  Fail(err::kNotAvailableOnHost,
       "AdsImageToClipboard is not available on this host: the engine has no access to a clipboard. "
       "Read the image with AdsGetBinary or AdsBinaryToFile.");
}

}  // namespace engine::api
