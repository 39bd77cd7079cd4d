// Reading the fields of one native-table record, and the hooks through which the layers
// above a table (indexes) follow every change of its records.
//
// A record image is the table's record as stored: byte 0 the deletion flag (' ' live, '*'
// deleted), then each field at its descriptor's offset in the encoding of its type (see
// docs/formats.md, "Table file"). Every type has one null encoding, which is also what
// clearing a field writes; in native tables null and empty are the same state, except that
// character fields of blanks are empty but not null.
//
// A RecordView borrows the schema and the image; it is valid while both live and must not
// be shared between threads while the image changes. RecordObserver callbacks run on the
// thread that changes the table, inside the table's writer lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/check.h"
#include "engine/table/table_schema.h"

namespace engine::table {

// Where a blob lives in the memo file; block 0 means the field holds no blob.
struct BlobRef {
  uint32_t block = 0;
  uint32_t length = 0;  // bytes of content
};

// The value form a field type reads as.
enum class ValueKind {
  kString,      // Char, CIChar, VarChar, Numeric text, Memo: 8-bit characters
  kWideString,  // NChar, NVarChar, NMemo: UTF-16
  kBytes,       // Raw, VarBinary, Binary, Image
  kNumber,      // Numeric, Double, CurDouble, Integer, ShortInt, AutoInc, Money, RowVersion
  kDate,        // Date: julian day
  kTime,        // Time: milliseconds of the day
  kTimeStamp,   // TimeStamp, ModTime: julian day and milliseconds
  kLogical,     // Logical
};

ValueKind ValueKindOf(FieldType type);

// Engine julian day of 1 January 1 (proleptic Gregorian) minus one: day numbers of the
// components' calendar are julian day - 1721425.
constexpr int32_t kJulianDayBeforeYear1 = 1721425;

class RecordView {
 public:
  RecordView(const Schema& schema, const uint8_t* image, uint32_t recordNumber)
      : schema_(&schema), image_(image), recordNumber_(recordNumber) {}

  const Schema& schema() const { return *schema_; }
  uint32_t recordNumber() const { return recordNumber_; }  // 1-based; 0 for a record not yet stored
  bool deleted() const { return image_[0] == kDeletedFlag; }
  const uint8_t* raw() const { return image_; }
  uint32_t length() const { return schema_->recordLength(); }

  size_t fieldCount() const { return schema_->fieldCount(); }
  const FieldDescriptor& field(size_t i) const {  // 0-based
    ENGINE_CHECK(i < schema_->fields().size(), "a field number beyond the record's fields");
    return schema_->fields()[i];
  }
  std::optional<size_t> FindField(std::string_view name) const { return schema_->Find(name); }
  const uint8_t* fieldBytes(size_t i) const { return image_ + field(i).offset; }

  // Holds its type's null encoding. FoxPro-compatible tables: a nullable field when its null
  // flag is set, another field when it holds its blank value (as in every DBF table).
  bool isNull(size_t i) const;
  // Null, or a character field holding only blanks; FoxPro-compatible tables: also a field
  // holding its blank value, and Integer, Double and Currency holding 0.
  bool isEmpty(size_t i) const;

  // 8-bit text: Char and CIChar padded with blanks to their length (a null field reads as
  // blanks), VarChar its used characters, Numeric its stored text, Raw and VarBinary their
  // bytes, Logical "T"/"F"/" ". Other types give their bytes unchanged.
  std::string text(size_t i) const;
  // The same into `out`, whose storage is reused (a pass over many records decodes each field
  // into one string).
  void TextInto(size_t i, std::string* out) const;
  // UTF-16 text of NChar (padded with U+0020) and NVarChar (used characters).
  std::u16string wideText(size_t i) const;
  // Numeric kinds as a double (Money divided by 10000); 0 when null.
  double number(size_t i) const;
  // Integer kinds exactly; Money as its scaled 64-bit value; Numeric rounded toward zero.
  int64_t integer(size_t i) const;
  // Date, TimeStamp, ModTime: the julian day; 0 when null.
  int32_t julian(size_t i) const;
  // Time, TimeStamp, ModTime: milliseconds of the day; 0 when null.
  int32_t milliseconds(size_t i) const;
  // Logical: stored "T", "t", "Y", "y" or "1".
  bool logical(size_t i) const;
  // Blob types: the memo reference.
  BlobRef blob(size_t i) const;
  // VarChar, VarBinary: used bytes; NVarChar: used characters; 0xFFFF for null.
  uint16_t usedLength(size_t i) const;

 private:
  // DBF tables: the field holds its type's blank value (no date, no memo, blanks).
  bool isBlank(size_t i) const;

  const Schema* schema_;
  const uint8_t* image_;
  uint32_t recordNumber_;
};

// Follows the changes of one open table. Callbacks run after the record bytes reached the
// table file, inside its writer lock, so the observer sees the table as it now is. A callback
// that throws EngineError makes the table undo the change (the record gets its old image
// back, an append is removed) and the error reaches the caller.
class RecordObserver {
 public:
  virtual ~RecordObserver() = default;
  // The table is about to change: whatever the observer keeps on disk about the records must
  // be able to tell, after a crash from now on, that it may not match them (the index layer
  // makes its files' "update in progress" mark durable here).
  virtual void BeforeChange() {}
  // A change that told no record callback is written (a record reserved for an append): what
  // BeforeChange marked for a crash is shown unmarked to the other opens again, as after a
  // record callback.
  virtual void ChangeWritten() {}
  // Before a change of record n reaches the file, inside the writer lock: the record as it is
  // (null for a record being appended). An observer that throws stops the change before
  // anything is written.
  virtual void RecordWillChange(uint32_t n, const uint8_t* current) {
    (void)n;
    (void)current;
  }
  virtual void RecordAppended(const RecordView& record) = 0;
  virtual void RecordUpdated(const RecordView& before, const RecordView& after) = 0;
  virtual void RecordDeleted(const RecordView& record) = 0;   // deletion flag set
  virtual void RecordRecalled(const RecordView& record) = 0;  // deletion flag cleared
  // The last record, appended and told before, is gone again (an append undone).
  virtual void RecordRemoved(const RecordView& record) { (void)record; }
  // The records are about to be renumbered or removed (a pack or a zap): whatever the observer
  // keeps by record number is stale from now on, also if the operation fails, until
  // TablePacked or TableZapped has it rebuilt.
  virtual void RecordsRenumbering() {}
  // Pack removed deleted records and renumbered the others; zap removed every record.
  // Anything keyed by record number must be rebuilt.
  virtual void TablePacked() = 0;
  virtual void TableZapped() = 0;
  // The table's changes are durable now; the observer makes its own durable after them.
  virtual void Committed() {}
  // A rollback has put the records back and committed them: what could not follow (a full
  // disk) may be rebuilt now.
  virtual void TableRestored() {}
  // Whether the table's changes wait for a later commit (a transaction in progress).
  virtual bool HoldsCommit() const { return false; }
};

}  // namespace engine::table
