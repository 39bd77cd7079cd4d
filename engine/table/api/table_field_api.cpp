// Entry points that describe fields and read or write field values of the current record.
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/expr/date_text.h"
#include "engine/sql/api/statement_params.h"
#include "engine/storage/storage.h"
#include "engine/table/api/field_values.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/record_writer.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using table::CursorOf;
using table::FieldIndex;

namespace {

struct FieldRef {
  table::CursorRef ref;
  size_t index;
  const table::FieldDescriptor& d() const { return ref.cursor->schema().fields()[index]; }
};

FieldRef Field(ADSHANDLE h, UNSIGNED8* field) {
  FieldRef f{CursorOf(h), 0};
  f.index = FieldIndex(*f.ref.cursor, field);
  return f;
}

// For the setters that also set a statement's parameters: the field of a table, cursor or
// index handle, or nothing for a statement's handle. Tables are looked for first, as setters
// are called for every field of every record; any other handle fails as in Field.
std::optional<FieldRef> FieldOrParameter(ADSHANDLE h, UNSIGNED8* field) {
  table::CursorRef ref = table::FindCursor(h);
  if (!ref.cursor) {
    if (sql::IsStatementHandle(h)) return std::nullopt;
    ref = CursorOf(h);
  }
  std::optional<FieldRef> f(FieldRef{std::move(ref), 0});
  f->index = FieldIndex(*f->ref.cursor, field);
  return f;
}

[[noreturn]] void WrongType(const table::FieldDescriptor& d, const char* what) {
  Fail(err::kFieldTypeMismatch, "Field \"" + d.name + "\" of type " + std::string(table::TypeWordOf(d.type)) + " has no " + what + ".");
}

// The raw key being built on the index handle a setter was called with, or null: while one is,
// the setters fill its image instead of the current record.
table::RawKeyScratch* RawKeyOf(const FieldRef& f) {
  return f.ref.orderHandle ? f.ref.orderHandle->rawKey() : nullptr;
}

// Applies a change computed on a copy of the record, so that a refused value leaves the
// record as it was.
template <typename F>
void Change(FieldRef& f, F&& write) {
  table::TableCursor& c = *f.ref.cursor;
  if (table::RawKeyScratch* key = RawKeyOf(f)) {
    std::vector<uint8_t> copy = key->image;
    write(c.schema(), copy.data());
    key->image = std::move(copy);
    key->given[f.index] = table::RawKeyScratch::kFull;
    return;
  }
  table::CheckAssignable(c, f.index);
  uint8_t* copy = table::ScratchCopy(c.Current(), c.schema().recordLength());
  write(c.schema(), copy);
  uint8_t* image = c.BeginChange();
  CopyFieldValue(c.schema(), image, copy, f.index);
}

// A field's value padded with zero bytes to the field's size. Nearly every field is small, so
// the value is built on the stack; a raw setter is called once per field of every record written.
class PaddedValue {
 public:
  uint8_t* Zeroed(size_t size) {
    uint8_t* bytes = size <= sizeof small_ ? small_ : (large_.assign(size, 0), large_.data());
    std::memset(bytes, 0, size);
    return bytes;
  }

 private:
  uint8_t small_[256];
  std::vector<uint8_t> large_;
};

// A text argument with its length, as the caller's bytes (null with length 0 gives "").
std::string_view TextArg(const UNSIGNED8* p, uint32_t len, const char* name) {
  if (len == 0) return {};
  core::Require(p, name);
  return {reinterpret_cast<const char*>(p), len};
}

std::string HostPathOf(const std::string& windowsPath) { return core::HostPathOrFail(windowsPath, "The file"); }

}  // namespace

// ---- description ----

UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength) {
  core::Out(pulLength, CursorOf(hTable)->schema().recordLength(), "pulLength");
  return 0;
}

UNSIGNED32 AdsGetNumFields(ADSHANDLE hObj, UNSIGNED16* pusCount) {
  core::Out(pusCount, CursorOf(hObj)->schema().fieldCount(), "pusCount");
  return 0;
}

UNSIGNED32 AdsGetFieldName(ADSHANDLE hObj, UNSIGNED16 usFld, UNSIGNED8* pucName, UNSIGNED16* pusBufLen) {
  table::CursorRef c = CursorOf(hObj);
  if (usFld == 0 || usFld > c->schema().fieldCount()) {
    Fail(err::kFieldNotFound, "The table has no field number " + std::to_string(usFld) + ".");
  }
  return core::TextOut(c->schema().fields()[usFld - 1].name, pucName, pusBufLen);
}

UNSIGNED32 AdsGetFieldNum(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pusNum) {
  core::Require(pucFldName, "pucFldName");
  table::CursorRef c = CursorOf(hObj);
  std::string name = core::InText(pucFldName);
  std::optional<size_t> i = c->schema().Find(name);
  if (!i) Fail(err::kFieldNotFound, "The table has no field \"" + name + "\".");
  core::Out(pusNum, *i + 1, "pusNum");
  return 0;
}

UNSIGNED32 AdsGetFieldType(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pusType) {
  core::Out(pusType, static_cast<uint16_t>(Field(hObj, pucFldName).d().type), "pusType");
  return 0;
}

UNSIGNED32 AdsGetFieldLength(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32* pulLength) {
  core::Out(pulLength, Field(hObj, pucFldName).d().length, "pulLength");
  return 0;
}

UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pusDecimals) {
  core::Out(pusDecimals, Field(hObj, pucFldName).d().decimals, "pusDecimals");
  return 0;
}

UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32* pulOffset) {
  core::Out(pulOffset, Field(hObj, pucFldName).d().offset, "pulOffset");
  return 0;
}

UNSIGNED32 AdsIsNullable(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbNullable) {
  FieldRef f = Field(hObj, pucFldName);
  // Every field of a native or Clipper-style DBF table can be null (empty); a FoxPro-compatible
  // table's only when it was declared so.
  const bool vfp = f.ref.cursor->schema().tableType() == table::TableType::kVfp;
  core::Out(pbNullable, !vfp || f.d().nullable() ? 1 : 0, "pbNullable");
  return 0;
}

UNSIGNED32 AdsGetColumnPermissions(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32* pulPermissions) {
  FieldRef f = Field(hObj, pucFldName);
  // A column's own rights never go beyond the table's.
  uint32_t options = f.ref->info().options & table::ColumnOptions(*f.ref.cursor, f.index);
  uint32_t bits = 1;  // read
  if (options & table::kOptUpdateGranted) bits |= 2;
  if (options & table::kOptInsertGranted) bits |= 4;
  core::Out(pulPermissions, bits, "pulPermissions");
  return 0;
}

UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pusType) {
  FieldRef f = Field(hObj, pucFldName);
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "memo data type");
  core::Out(pusType, static_cast<uint16_t>(f.d().type), "pusType");
  return 0;
}

// ---- reading ----

UNSIGNED32 AdsIsEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty) {
  FieldRef f = Field(hObj, pucFldName);
  core::Out(pbEmpty, f.ref->CurrentView().isEmpty(f.index) ? 1 : 0, "pbEmpty");
  return 0;
}

UNSIGNED32 AdsIsNull(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbNull) {
  FieldRef f = Field(hObj, pucFldName);
  core::Out(pbNull, f.ref->CurrentView().isNull(f.index) ? 1 : 0, "pbNull");
  return 0;
}

UNSIGNED32 AdsGetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  FieldRef f = Field(hObj, pucFldName);
  // Callers read every field of every record: the text is made in a string the thread keeps.
  thread_local std::string text;
  table::FieldTextInto(*f.ref.cursor, f.index, &text);
  struct Shrink {  // a memo read once is not kept for the thread's life
    std::string& s;
    ~Shrink() {
      if (s.capacity() > 4096) std::string().swap(s);
    }
  } shrink{text};
  return core::TextOut(table::Trimmed(std::string_view(text), usOption), pucBuf, pulLen);
}

UNSIGNED32 AdsGetFieldW(ADSHANDLE hObj, UNSIGNED8* pucFldName, WCHAR* pwcBuf, UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  FieldRef f = Field(hObj, pucFldName);
  return core::WideOut(table::Trimmed(table::FieldWideText(*f.ref.cursor, f.index), usOption), pwcBuf, pulLen);
}

UNSIGNED32 AdsGetString(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  return AdsGetField(hObj, pucFldName, pucBuf, pulLen, usOption);
}

UNSIGNED32 AdsGetStringW(ADSHANDLE hObj, UNSIGNED8* pucFldName, WCHAR* pwcBuf, UNSIGNED32* pulLen, UNSIGNED16 usOption) {
  return AdsGetFieldW(hObj, pucFldName, pwcBuf, pulLen, usOption);
}

UNSIGNED32 AdsGetDataLength(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32 ulOptions, UNSIGNED32* pulLength) {
  FieldRef f = Field(hObj, pucFldName);
  const table::FieldDescriptor& d = f.d();
  table::RecordView v = f.ref->CurrentView();
  uint32_t length;
  if (d.type == table::FieldType::kNMemo) {
    length = f.ref.cursor->table().BlobLength(v.blob(f.index)) / 2;
  } else if (table::IsBlobType(d.type)) {
    length = f.ref.cursor->table().BlobLength(v.blob(f.index));
  } else if (d.type == table::FieldType::kNChar || d.type == table::FieldType::kNVarChar) {
    length = static_cast<uint32_t>(v.wideText(f.index).size());
  } else {
    length = static_cast<uint32_t>(table::FieldText(*f.ref.cursor, f.index).size());
  }
  (void)ulOptions;  // the untrimmed length: a buffer of it holds every trimmed form too
  core::Out(pulLength, length, "pulLength");
  return 0;
}

UNSIGNED32 AdsGetMemoLength(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32* pulLength) {
  FieldRef f = Field(hObj, pucFldName);
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "memo length");
  uint32_t bytes = f.ref.cursor->table().BlobLength(f.ref->CurrentView().blob(f.index));
  core::Out(pulLength, f.d().type == table::FieldType::kNMemo ? bytes / 2 : bytes, "pulLength");
  return 0;
}

UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32* pulLength) {
  FieldRef f = Field(hObj, pucFldName);
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "binary length");
  core::Out(pulLength, f.ref.cursor->table().BlobLength(f.ref->CurrentView().blob(f.index)), "pulLength");
  return 0;
}

UNSIGNED32 AdsGetBinary(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED32 ulOffset, UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
  core::Require(pucBuf, "pucBuf");
  core::Require(pulLen, "pulLen");
  FieldRef f = Field(hObj, pucFldName);
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "binary content");
  std::string content = f.ref->ReadBlob(f.index);
  uint32_t n = ulOffset >= content.size() ? 0 : std::min<uint32_t>(*pulLen, static_cast<uint32_t>(content.size() - ulOffset));
  if (n) std::memcpy(pucBuf, content.data() + ulOffset, n);
  *pulLen = n;
  return 0;
}

UNSIGNED32 AdsBinaryToFile(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucFileName) {
  core::Require(pucFileName, "pucFileName");
  FieldRef f = Field(hObj, pucFldName);
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "binary content");
  std::string content = f.ref->ReadBlob(f.index);
  std::string host = HostPathOf(core::InText(pucFileName));
  std::unique_ptr<storage::File> out = storage::OpenFile(host, storage::OpenMode::kCreate, err::kTableIoError);
  out->Write(0, content.data(), content.size());
  return 0;
}

UNSIGNED32 AdsGetDouble(ADSHANDLE hObj, UNSIGNED8* pucFldName, DOUBLE* pdValue) {
  FieldRef f = Field(hObj, pucFldName);
  table::FieldType t = f.d().type;
  if (table::ValueKindOf(t) != table::ValueKind::kNumber && t != table::FieldType::kDate) WrongType(f.d(), "numeric value");
  table::RecordView v = f.ref->CurrentView();
  core::Out(pdValue, t == table::FieldType::kDate ? v.julian(f.index) : v.number(f.index), "pdValue");
  return 0;
}

UNSIGNED32 AdsGetLong(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32* plValue) {
  FieldRef f = Field(hObj, pucFldName);
  table::FieldType t = f.d().type;
  if (table::ValueKindOf(t) != table::ValueKind::kNumber && t != table::FieldType::kDate && t != table::FieldType::kTime) WrongType(f.d(), "integer value");
  int64_t v = f.ref->CurrentView().integer(f.index);
  if (v < INT32_MIN || v > INT32_MAX) Fail(err::kValueDoesNotFit, "The value of field \"" + f.d().name + "\" does not fit 32 bits.");
  core::Out(plValue, v, "plValue");
  return 0;
}

UNSIGNED32 AdsGetShort(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED16* psValue) {
  FieldRef f = Field(hObj, pucFldName);
  if (table::ValueKindOf(f.d().type) != table::ValueKind::kNumber) WrongType(f.d(), "integer value");
  int64_t v = f.ref->CurrentView().integer(f.index);
  if (v < INT16_MIN || v > INT16_MAX) Fail(err::kValueDoesNotFit, "The value of field \"" + f.d().name + "\" does not fit 16 bits.");
  core::Out(psValue, v, "psValue");
  return 0;
}

UNSIGNED32 AdsGetJulian(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32* plDate) {
  FieldRef f = Field(hObj, pucFldName);
  table::ValueKind k = table::ValueKindOf(f.d().type);
  if (k != table::ValueKind::kDate && k != table::ValueKind::kTimeStamp) WrongType(f.d(), "date");
  core::Out(plDate, f.ref->CurrentView().julian(f.index), "plDate");
  return 0;
}

UNSIGNED32 AdsGetMilliseconds(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32* plTime) {
  FieldRef f = Field(hObj, pucFldName);
  table::ValueKind k = table::ValueKindOf(f.d().type);
  if (k != table::ValueKind::kTime && k != table::ValueKind::kTimeStamp) WrongType(f.d(), "time");
  core::Out(plTime, f.ref->CurrentView().milliseconds(f.index), "plTime");
  return 0;
}

UNSIGNED32 AdsGetLogical(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbValue) {
  FieldRef f = Field(hObj, pucFldName);
  if (f.d().type != table::FieldType::kLogical) WrongType(f.d(), "logical value");
  core::Out(pbValue, f.ref->CurrentView().logical(f.index) ? 1 : 0, "pbValue");
  return 0;
}

UNSIGNED32 AdsGetDate(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED16* pusLen) {
  FieldRef f = Field(hObj, pucFldName);
  table::ValueKind k = table::ValueKindOf(f.d().type);
  if (k != table::ValueKind::kDate && k != table::ValueKind::kTimeStamp) WrongType(f.d(), "date");
  std::string text = table::FieldText(*f.ref.cursor, f.index);
  if (k == table::ValueKind::kTimeStamp) text = text.substr(0, text.find(' '));
  return core::TextOut(text, pucBuf, pusLen);
}

UNSIGNED32 AdsGetTime(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED16* pusLen) {
  FieldRef f = Field(hObj, pucFldName);
  table::ValueKind k = table::ValueKindOf(f.d().type);
  if (k != table::ValueKind::kTime && k != table::ValueKind::kTimeStamp) WrongType(f.d(), "time");
  std::string text = table::FieldText(*f.ref.cursor, f.index);
  if (k == table::ValueKind::kTimeStamp) {
    size_t space = text.find(' ');
    text = space == std::string::npos ? std::string() : text.substr(space + 1);
  }
  return core::TextOut(text, pucBuf, pusLen);
}

// ---- writing ----

UNSIGNED32 AdsSetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetStringParam(hObj, pucFldName, pucBuf, ulLen);
  FieldRef& f = *field;
  std::string_view text = TextArg(pucBuf, ulLen, "pucBuf");
  if (table::RawKeyScratch* key = RawKeyOf(f)) {
    table::SetFieldText(*f.ref.cursor, f.index, text, key->image.data());
    key->given[f.index] = static_cast<uint32_t>(text.size());
    return 0;
  }
  table::SetFieldText(*f.ref.cursor, f.index, text);
  return 0;
}

UNSIGNED32 AdsSetString(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  return AdsSetField(hObj, pucFldName, pucBuf, ulLen);
}

UNSIGNED32 AdsSetFieldW(ADSHANDLE hObj, UNSIGNED8* pucFldName, WCHAR* pwcBuf, UNSIGNED32 ulLen) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetStringWParam(hObj, pucFldName, pwcBuf, ulLen);
  FieldRef& f = *field;
  if (ulLen && !pwcBuf) core::Require(pwcBuf, "pwcBuf");
  std::u16string_view text(pwcBuf ? pwcBuf : u"", ulLen);
  if (table::RawKeyScratch* key = RawKeyOf(f)) {
    table::SetFieldWideText(*f.ref.cursor, f.index, text, key->image.data());
    key->given[f.index] = static_cast<uint32_t>(text.size());
    return 0;
  }
  table::SetFieldWideText(*f.ref.cursor, f.index, text);
  return 0;
}

UNSIGNED32 AdsSetStringW(ADSHANDLE hObj, UNSIGNED8* pucFldName, WCHAR* pwcBuf, UNSIGNED32 ulLen) {
  return AdsSetFieldW(hObj, pucFldName, pwcBuf, ulLen);
}

UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  FieldRef f = Field(hObj, pucFldName);
  if (ulLen && !pucBuf) core::Require(pucBuf, "pucBuf");
  const table::FieldDescriptor& d = f.d();
  if (table::IsBlobType(d.type)) WrongType(d, "raw form; blobs are set through AdsSetString or AdsSetBinary");
  PaddedValue padded;
  Change(f, [&](const table::Schema& s, uint8_t* image) {
    if (table::IsVarLengthType(d.type) && s.tableType() == table::TableType::kVfp) {
      // FoxPro keeps the length in the field and its flags: the bytes are the value.
      table::WriteText(s, image, f.index, std::string_view(reinterpret_cast<const char*>(pucBuf), ulLen), false);
      return;
    }
    if (table::IsVarLengthType(d.type)) {
      // The used bytes of a variable field; its length follows them.
      uint32_t unit = d.type == table::FieldType::kNVarChar ? 2 : 1;
      if (ulLen > d.dataSize) Fail(err::kValueDoesNotFit, "The value does not fit field \"" + d.name + "\".");
      uint8_t* raw = padded.Zeroed(d.size);
      std::memcpy(raw, pucBuf, ulLen);
      uint16_t used = static_cast<uint16_t>(ulLen / unit);
      std::memcpy(raw + d.dataSize, &used, 2);
      table::WriteRaw(s, image, f.index, raw, d.size);
      return;
    }
    uint32_t bytes = d.type == table::FieldType::kNChar ? d.size : d.size;
    if (ulLen > bytes) Fail(err::kValueDoesNotFit, "The value does not fit field \"" + d.name + "\".");
    if (ulLen < bytes && d.type != table::FieldType::kRaw && d.type != table::FieldType::kString && d.type != table::FieldType::kCIString) {
      Fail(err::kInvalidArgument, "Field \"" + d.name + "\" takes exactly " + std::to_string(bytes) + " raw bytes.");
    }
    uint8_t* raw = padded.Zeroed(d.size);
    std::memcpy(raw, pucBuf, ulLen);
    table::WriteRaw(s, image, f.index, raw, d.size);
  });
  return 0;
}

UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, void* pvBuf, UNSIGNED32 ulLen) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetTimeStampRawParam(hObj, pucFldName, pvBuf, ulLen);
  FieldRef& f = *field;
  if (table::ValueKindOf(f.d().type) != table::ValueKind::kTimeStamp) WrongType(f.d(), "timestamp");
  if (ulLen != 8) Fail(err::kInvalidArgument, "A raw timestamp is 8 bytes.");
  core::Require(pvBuf, "pvBuf");
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteRaw(s, image, f.index, static_cast<uint8_t*>(pvBuf), 8); });
  return 0;
}

UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetEmptyParam(hObj, pucFldName);
  FieldRef& f = *field;
  if (table::IsBlobType(f.d().type)) {
    if (RawKeyOf(f)) Fail(err::kFieldTypeMismatch, "Field \"" + f.d().name + "\" is a blob and cannot be part of a key.");
    table::CheckAssignable(*f.ref.cursor, f.index);
    f.ref->SetBlob(f.index, "");
    return 0;
  }
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteEmpty(s, image, f.index); });
  return 0;
}

// NULL differs from empty only in the nullable fields of FoxPro-compatible tables, whose null
// flag it sets; everywhere else it is the empty value.
UNSIGNED32 AdsSetNull(ADSHANDLE hObj, UNSIGNED8* pucFldName) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return AdsSetEmpty(hObj, pucFldName);
  FieldRef& f = *field;
  if (!f.d().nullable()) return AdsSetEmpty(hObj, pucFldName);
  if (IsBlobType(f.d().type)) {
    if (RawKeyOf(f)) Fail(err::kFieldTypeMismatch, "Field \"" + f.d().name + "\" is a blob and cannot be part of a key.");
    table::CheckAssignable(*f.ref.cursor, f.index);
    f.ref->SetBlob(f.index, "");
  }
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteNull(s, image, f.index); });
  return 0;
}

UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, UNSIGNED8* pucFldName, DOUBLE dValue) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetDoubleParam(hObj, pucFldName, dValue);
  FieldRef& f = *field;
  if (table::ValueKindOf(f.d().type) != table::ValueKind::kNumber) WrongType(f.d(), "numeric value");
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteNumber(s, image, f.index, dValue); });
  return 0;
}

UNSIGNED32 AdsSetLong(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lValue) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetLongParam(hObj, pucFldName, lValue);
  FieldRef& f = *field;
  if (f.d().type == table::FieldType::kDate) {
    Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteJulian(s, image, f.index, lValue); });
    return 0;
  }
  if (table::ValueKindOf(f.d().type) != table::ValueKind::kNumber) WrongType(f.d(), "integer value");
  Change(f, [&](const table::Schema& s, uint8_t* image) {
    if (f.d().type == table::FieldType::kMoney) {
      table::WriteNumber(s, image, f.index, lValue);
    } else {
      table::WriteInteger(s, image, f.index, lValue);
    }
  });
  return 0;
}

UNSIGNED32 AdsSetShort(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED16 sValue) {
  return AdsSetLong(hObj, pucFldName, sValue);
}

UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lDate) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetJulianParam(hObj, pucFldName, lDate);
  FieldRef& f = *field;
  Change(f, [&](const table::Schema& s, uint8_t* image) {
    if (lDate == 0) {
      table::WriteNull(s, image, f.index);
    } else {
      table::WriteJulian(s, image, f.index, lDate);
    }
  });
  return 0;
}

UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lTime) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetMillisecondsParam(hObj, pucFldName, lTime);
  FieldRef& f = *field;
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteMilliseconds(s, image, f.index, lTime); });
  return 0;
}

UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 bValue) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetLogicalParam(hObj, pucFldName, bValue);
  FieldRef& f = *field;
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteLogical(s, image, f.index, bValue != 0); });
  return 0;
}

UNSIGNED32 AdsSetDate(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucValue, UNSIGNED16 usLen) {
  FieldRef f = Field(hObj, pucFldName);
  table::ValueKind k = table::ValueKindOf(f.d().type);
  if (k != table::ValueKind::kDate && k != table::ValueKind::kTimeStamp) WrongType(f.d(), "date");
  std::string_view text = TextArg(pucValue, usLen, "pucValue");
  if (k == table::ValueKind::kTimeStamp) {
    // Only the date part changes.
    int32_t ms = f.ref->CurrentView().milliseconds(f.index);
    table::SetFieldText(*f.ref.cursor, f.index, text);
    if (!f.ref->CurrentView().isNull(f.index)) {
      Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteMilliseconds(s, image, f.index, ms); });
    }
    return 0;
  }
  table::SetFieldText(*f.ref.cursor, f.index, text);
  return 0;
}

UNSIGNED32 AdsSetTime(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucValue, UNSIGNED16 usLen) {
  FieldRef f = Field(hObj, pucFldName);
  table::ValueKind k = table::ValueKindOf(f.d().type);
  if (k != table::ValueKind::kTime && k != table::ValueKind::kTimeStamp) WrongType(f.d(), "time");
  std::string text = core::InText(pucValue, usLen, "pucValue");
  std::optional<int64_t> ms = expr::ReadTime(text);
  if (!ms) Fail(err::kInvalidDateText, "\"" + text + "\" is not a time of day.");
  Change(f, [&](const table::Schema& s, uint8_t* image) { table::WriteMilliseconds(s, image, f.index, static_cast<int32_t>(*ms)); });
  return 0;
}

UNSIGNED32 AdsSetBinary(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType, UNSIGNED32 ulTotalLength,
                        UNSIGNED32 ulOffset, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
  std::optional<FieldRef> field = FieldOrParameter(hObj, pucFldName);
  if (!field) return sql::SetBinaryParam(hObj, pucFldName, usBinaryType, ulTotalLength, ulOffset, pucBuf, ulLen);
  FieldRef& f = *field;
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "binary content");
  if (usBinaryType != 6 && usBinaryType != 7) Fail(err::kInvalidArgument, "The binary type must be 6 or 7.");
  if (ulLen && !pucBuf) core::Require(pucBuf, "pucBuf");
  if (static_cast<uint64_t>(ulOffset) + ulLen > ulTotalLength) {
    Fail(err::kInvalidArgument, "The piece lies past the total length of the binary value.");
  }
  table::CheckAssignable(*f.ref.cursor, f.index);
  std::string& part = f.ref->binaryParts[f.index];
  if (ulOffset == 0) part.assign(ulTotalLength, '\0');
  if (part.size() != ulTotalLength) Fail(err::kInvalidArgument, "A binary value is set from offset 0 first.");
  if (ulLen) std::memcpy(part.data() + ulOffset, pucBuf, ulLen);
  if (ulOffset + ulLen == ulTotalLength) {
    std::string content = std::move(part);
    f.ref->binaryParts.erase(f.index);
    f.ref->SetBlob(f.index, content);
  }
  return 0;
}

UNSIGNED32 AdsFileToBinary(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType, UNSIGNED8* pucFileName) {
  core::Require(pucFileName, "pucFileName");
  FieldRef f = Field(hObj, pucFldName);
  if (!table::IsBlobType(f.d().type)) WrongType(f.d(), "binary content");
  if (usBinaryType != 6 && usBinaryType != 7) Fail(err::kInvalidArgument, "The binary type must be 6 or 7.");
  std::unique_ptr<storage::File> in =
      storage::OpenFile(HostPathOf(core::InText(pucFileName)), storage::OpenMode::kRead, err::kTableIoError);
  std::string content(in->Size(), '\0');
  content.resize(in->Read(0, content.data(), content.size()));
  table::CheckAssignable(*f.ref.cursor, f.index);
  f.ref->SetBlob(f.index, content);
  return 0;
}

}  // namespace engine::api
