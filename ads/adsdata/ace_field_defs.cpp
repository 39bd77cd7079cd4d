// TACEFieldDefs, the engine descriptions of a dataset's fields, and the field classes the
// dataset creates in place of the framework's string and BCD fields.
#include "ads/adsdata.h"
#include "runtime/sysutils.h"
#include "runtime/text.h"

TACEFieldDef* TACEFieldDefs::Add() {
  FItems.push_back(std::make_unique<TACEFieldDef>(this));
  return FItems.back().get();
}

TACEFieldDef* TACEFieldDefs::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw ERangeError(QStringLiteral("Field description index out of bounds (%1)").arg(Index));
  return FItems[static_cast<size_t>(Index)].get();
}

void TACEFieldDefs::SetItems(int Index, const TACEFieldDef& value) {
  TACEFieldDef* item = Items(Index);
  // The item keeps belonging to this collection; only its description is copied.
  item->SetFieldName(value.FieldName());
  item->SetFieldNumber(value.FieldNumber());
  item->SetOffset(value.Offset());
  item->SetLength(value.Length());
  item->SetFieldType(value.FieldType());
  item->SetDecimals(value.Decimals());
  item->SetPermissions(value.Permissions());
  item->SetModified(value.Modified());
  item->SetNullable(value.Nullable());
}

int TACEFieldDefs::IndexOf(const QString& FieldName) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<size_t>(i)]->FieldName().compare(FieldName, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

TAdsBCDField::TAdsBCDField(TComponent* owner) : TBCDField(owner) {
  if (owner == nullptr || !owner->ComponentStateHas(csLoading)) SetCurrency(true);
}
