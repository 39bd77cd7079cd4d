#include "engine/copy/table_copy.h"

#include <cstring>
#include <filesystem>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/storage/storage.h"
#include "engine/table/record_writer.h"
#include "engine/table/table_files.h"

namespace engine::copy {

namespace {

uint16_t BaseOption(uint16_t option) {
  uint16_t base = option > 4 ? option - 4 : option;
  if (base < 1 || base > 3) {
    Fail(err::kInvalidArgument, "The counting option " + std::to_string(option) + " is unknown.");
  }
  return base;
}

// Calls fn(image, recno) for every record the option selects, in the order's sequence when
// there is one.
template <typename Fn>
void ForEachSelected(table::TableCursor& source, table::RecordOrder* order, uint16_t option, Fn fn) {
  uint16_t base = BaseOption(option);
  source.FlushPending();
  table::Table& t = source.table();
  t.Refresh();
  const auto& filter = source.filter();
  bool useFilter = base == 1 && filter && filter->Active();
  bool hideDeleted = base != 2 && !table::ShowDeleted();
  auto selected = [&](const uint8_t* image, uint32_t n) {
    if (hideDeleted && image[0] == table::kDeletedFlag) return false;
    return !useFilter || filter->Accepts(table::RecordView(t.schema(), image, n));
  };
  std::vector<uint8_t> image(t.schema().recordLength());
  if (order && base != 2) {
    for (uint32_t n = order->First(); n != 0; n = order->Next(n)) {
      t.ReadRecord(n, image.data());
      if (selected(image.data(), n)) fn(image.data(), n);
    }
    return;
  }
  t.Scan([&](const table::RecordView& v) {
    if (!selected(v.raw(), v.recordNumber())) return;
    std::memcpy(image.data(), v.raw(), image.size());
    fn(image.data(), v.recordNumber());
  });
}

// Gives the blobs of a record copied from `from` new copies in `to`.
void CopyBlobs(table::Table& from, table::Table& to, uint8_t* image) {
  const table::Schema& schema = to.schema();
  for (size_t i = 0; i < schema.fieldCount(); ++i) {
    if (!table::IsBlobType(schema.fields()[i].type)) continue;
    table::BlobRef ref = table::RecordView(schema, image, 0).blob(i);
    if (ref.block == 0) continue;
    table::WriteBlobRef(schema, image, i, to.WriteBlob(from.ReadBlob(ref), schema.fields()[i].type));
  }
}

// The fields of `source` laid out as a table of `type` holds them.
table::Schema ConvertedSchema(const table::Schema& source, table::TableType type) {
  std::vector<table::FieldSpec> specs;
  for (size_t i = 0; i < source.fieldCount(); ++i) {
    table::FieldSpec field = source.SpecOf(i);
    if (type != table::TableType::kVfp) {
      // Only FoxPro tables have NULL and binary marks; elsewhere a NULL is the empty value.
      field.nullable = field.binary = false;
      field.dbfLetter = 0;
    } else if (!source.dbf()) {
      // A native field tells NULL from every value: a FoxPro field keeps that when nullable.
      field.nullable = true;
    }
    specs.push_back(field);
  }
  return type == table::TableType::kAdt ? table::Schema::FromSpecs(specs) : table::Schema::FromDbfSpecs(specs, type);
}

// Writes the value of every field of `from` (a record of another layout) into `image`, a record
// of `to`, blobs stored anew in `target`.
void ConvertRecord(table::Table& source, const table::RecordView& from, table::Table& target, uint8_t* image) {
  const table::Schema& to = target.schema();
  table::WriteEmptyRecord(to, image);
  image[0] = from.deleted() ? table::kDeletedFlag : table::kLiveFlag;
  for (size_t i = 0; i < to.fieldCount(); ++i) {
    const table::FieldDescriptor& d = to.fields()[i];
    if (from.isNull(i)) continue;
    switch (table::ValueKindOf(d.type)) {
      case table::ValueKind::kString:
        if (table::IsBlobType(d.type)) {
          table::WriteBlobRef(to, image, i, target.WriteBlob(source.ReadBlob(from.blob(i)), d.type));
        } else if (d.type == table::FieldType::kNumeric) {
          table::WriteNumber(to, image, i, from.number(i));
        } else {
          table::WriteText(to, image, i, from.text(i), false);
        }
        break;
      case table::ValueKind::kBytes:
        if (table::IsBlobType(d.type)) {
          table::WriteBlobRef(to, image, i, target.WriteBlob(source.ReadBlob(from.blob(i)), d.type));
        } else {
          table::WriteText(to, image, i, from.text(i), false);
        }
        break;
      case table::ValueKind::kTimeStamp:
        table::WriteTimeStamp(to, image, i, from.julian(i), from.milliseconds(i));
        break;
      case table::ValueKind::kNumber:
        table::WriteNumber(to, image, i, from.number(i));
        break;
      case table::ValueKind::kDate:
        table::WriteJulian(to, image, i, from.julian(i));
        break;
      case table::ValueKind::kLogical:
        table::WriteLogical(to, image, i, from.logical(i));
        break;
      default:
        // The target's format holds only the kinds above (the schema was refused otherwise).
        Fail(err::kFieldTypeMismatch, "Field \"" + d.name + "\" cannot be converted.");
    }
  }
}

bool SameFields(const table::Schema& a, const table::Schema& b) {
  if (a.fieldCount() != b.fieldCount() || a.recordLength() != b.recordLength()) return false;
  for (size_t i = 0; i < a.fieldCount(); ++i) {
    const table::FieldDescriptor& x = a.fields()[i];
    const table::FieldDescriptor& y = b.fields()[i];
    if (!AsciiEqualsIgnoreCase(x.name, y.name) || x.type != y.type || x.length != y.length ||
        x.offset != y.offset) {
      return false;
    }
  }
  return true;
}

}  // namespace

void CopyTable(table::TableCursor& source, table::RecordOrder* order, uint16_t option, const std::string& hostPath,
               bool withRecords, std::optional<table::TableType> type) {
  const table::TableType sourceType = source.table().type();
  const table::TableType targetType = type.value_or(sourceType);
  const bool convert = targetType != sourceType;
  const table::Schema schema = convert ? ConvertedSchema(source.schema(), targetType) : source.schema();
  if (convert && source.table().encrypted()) {
    Fail(err::kInvalidTableArgument, "The encrypted table \"" + source.table().path() +
                                         "\" cannot be converted to another table type; decrypt it first.");
  }
  if (withRecords) BaseOption(option);
  std::error_code ec;
  if (std::filesystem::equivalent(hostPath, source.table().path(), ec)) {
    Fail(err::kTableInUse, "A table cannot be copied onto itself (\"" + hostPath + "\").");
  }
  // An existing destination is replaced only when nobody has it open, and stays locked until
  // its replacement is in place.
  std::unique_ptr<table::Table> existing;
  if (storage::Exists(hostPath, err::kTableIoError)) {
    table::Table::OpenOptions alone;
    alone.exclusive = true;
    try {
      existing = table::Table::Open(hostPath, alone);
    } catch (const EngineError& e) {
      if (e.code() == err::kTableInUse) {
        Fail(err::kTableInUse, "The table \"" + hostPath + "\" is in use and cannot be replaced by a copy.");
      }
      // A file that is not a sound table is simply replaced.
    }
  }
  table::Table::CreateOptions co;
  const table::TableProperties& p = source.table().properties();
  co.memoBlockSize = p.memoBlockSize;
  co.charType = p.charType;
  co.collation = p.collation;
  co.indexPageSize = p.indexPageSize;
  co.scratch = true;  // the staged files are forced to the disk when they are put in place
  source.FlushPending();
  if (convert) {
    // Each format keeps its own memo block size and index page size.
    co.memoBlockSize = 0;
    co.indexPageSize = 512;
  }
  table_files::NewTableFiles files(hostPath, targetType);
  table::Table::Create(files.staged(), schema, co);
  {
    table::Table::OpenOptions o;
    o.exclusive = true;
    o.type = targetType;
    auto copy = table::Table::Open(files.staged(), o);
    // A copy of an encrypted table is encrypted with the same password: its records never
    // reach the new file in clear.
    if (source.table().encrypted() && source.table().encryptionEnabled()) {
      copy->ShareKeyOf(source.table());
      copy->EncryptTable();
    }
    copy->BeginBatch();
    if (withRecords && convert) {
      std::vector<uint8_t> converted(schema.recordLength());
      ForEachSelected(source, order, option, [&](uint8_t* image, uint32_t n) {
        ConvertRecord(source.table(), table::RecordView(source.schema(), image, n), *copy, converted.data());
        copy->AppendCopiedRecord(converted.data());
      });
    } else if (withRecords) {
      ForEachSelected(source, order, option, [&](uint8_t* image, uint32_t) {
        CopyBlobs(source.table(), *copy, image);
        copy->AppendCopiedRecord(image);
      });
    }
    copy->EndBatch();
    copy->Commit();
  }
  files.Install(schema.HasBlobs(), true);
}

void CopyContents(table::TableCursor& source, table::RecordOrder* order, uint16_t option,
                  table::TableCursor& destination) {
  BaseOption(option);
  if (&source.table() == &destination.table()) {
    Fail(err::kInvalidTableArgument, "A table's records cannot be copied into the same handle.");
  }
  if (!SameFields(source.schema(), destination.schema())) {
    Fail(err::kInvalidTableArgument, "The tables' fields differ: \"" + source.table().path() + "\" and \"" +
                                         destination.table().path() + "\" need the same fields to copy records.");
  }
  destination.FlushPending();
  table::Table& to = destination.table();
  // The records arrive as one change: committed together, or taken back together.
  std::vector<uint32_t> appended;
  to.BeginBatch();
  try {
    ForEachSelected(source, order, option, [&](uint8_t* image, uint32_t) {
      bool deleted = image[0] == table::kDeletedFlag;
      CopyBlobs(source.table(), to, image);
      uint32_t n = to.AppendRecord(image);
      appended.push_back(n);
      if (deleted) to.SetDeleted(n, true);
    });
    to.EndBatch();
    to.Commit();
  } catch (...) {
    to.EndBatch();
    try {
      for (auto it = appended.rbegin(); it != appended.rend(); ++it) {
        if (!to.RemoveLastRecord(*it)) to.SetDeleted(*it, true);
      }
      to.Commit();
    } catch (const EngineError&) {
      // The disk refuses even that; the failure reported is the one that stopped the copy.
    }
    destination.InvalidateCache();
    throw;
  }
  destination.InvalidateCache();
}

}  // namespace engine::copy
