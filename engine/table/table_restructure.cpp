// Restructuring a table: a new file with the changed fields is written beside the old one,
// every record converted into it, and renamed over the old file in one step. Blob fields that
// stay keep their references into the same memo file, so the one rename switches the whole
// table; blobs of removed fields are freed only after it. The structural index was built from
// the old fields: it goes before the new file moves in, and the next exclusive open builds it
// again from the tag definitions.
#include <cstring>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/dbf_null_flags.h"
#include "engine/table/record_writer.h"
#include "engine/table/memo_file.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "engine/table/table_staging.h"

namespace engine::table {

namespace {

struct Change {
  std::string oldName;
  FieldSpec decl;  // the new declaration
};

std::string TrimCopy(std::string_view s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(a, b - a + 1));
}

// "NAME,Type[,len[,dec]]" keeps the name; "OLD,NEW[,Type[,len[,dec]]]" renames.
std::vector<Change> ParseChanges(std::string_view text, const Schema& current) {
  std::vector<Change> changes;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string entry = TrimCopy(text.substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    size_t comma = entry.find(',');
    std::string oldName = TrimCopy(entry.substr(0, comma));
    std::optional<size_t> field = current.Find(oldName);
    if (!field) Fail(err::kFieldNotFound, "Field \"" + oldName + "\" to change does not exist.");
    std::string rest = comma == std::string::npos ? std::string() : entry.substr(comma + 1);
    std::string second = TrimCopy(rest.substr(0, rest.find(',')));
    Change c;
    c.oldName = oldName;
    if (!second.empty() && FindTypeWord(second)) {
      c.decl = ParseFieldDefinitions(current.fields()[*field].name + "," + rest + ";")[0];
    } else {
      if (second.empty()) Fail(err::kInvalidFieldDefinition, "Field \"" + oldName + "\": the change gives no new name or type.");
      size_t typeAt = rest.find(',');
      if (typeAt == std::string::npos) {
        c.decl = current.SpecOf(*field);
        c.decl.name = second;
      } else {
        c.decl = ParseFieldDefinitions(second + rest.substr(typeAt) + ";")[0];
      }
    }
    changes.push_back(c);
    if (end == text.size()) break;
  }
  return changes;
}

// Converts field `from` of `old` into field `to` of `image`.
void ConvertField(const RecordView& old, size_t from, const Schema& schema, uint8_t* image, size_t to) {
  const FieldDescriptor& src = old.field(from);
  const FieldDescriptor& dst = schema.fields()[to];
  if (src.type == dst.type && src.size == dst.size && src.length == dst.length && src.decimals == dst.decimals) {
    std::memcpy(image + dst.offset, old.fieldBytes(from), dst.size);
    // FoxPro tables: the field's flags move with it (its bits may be others now).
    SetNullFlagBit(schema, image, dst.varBit, NullFlagBit(old.schema(), old.raw(), src.varBit));
    SetNullFlagBit(schema, image, dst.nullBit, src.nullable() && old.isNull(from));
    return;
  }
  if (old.isNull(from)) {
    WriteNull(schema, image, to);
    return;
  }
  if (IsBlobType(dst.type) || IsBlobType(src.type)) {
    bool srcWide = src.type == FieldType::kNMemo, dstWide = dst.type == FieldType::kNMemo;
    if (IsBlobType(dst.type) && IsBlobType(src.type) && srcWide == dstWide) {
      WriteBlobRef(schema, image, to, old.blob(from));
      return;
    }
    Fail(err::kFieldTypeMismatch, "Field \"" + src.name + "\" cannot be changed from " + std::string(TypeWordOf(src.type)) +
                                      " to " + std::string(TypeWordOf(dst.type)) + ".");
  }
  switch (ValueKindOf(dst.type)) {
    case ValueKind::kString:
    case ValueKind::kBytes: {
      std::string text;
      if (ValueKindOf(src.type) == ValueKind::kWideString) {
        for (char16_t c : old.wideText(from)) text.push_back(c < 0x100 ? static_cast<char>(c) : '?');
      } else {
        text = old.text(from);
      }
      if (dst.type == FieldType::kNumeric) {
        WriteText(schema, image, to, text, false);
      } else {
        if (IsVarLengthType(dst.type)) {
          while (!text.empty() && text.back() == ' ') text.pop_back();
        }
        WriteText(schema, image, to, text, true);
      }
      return;
    }
    case ValueKind::kWideString: {
      std::u16string text;
      if (ValueKindOf(src.type) == ValueKind::kWideString) {
        text = old.wideText(from);
      } else {
        for (char c : old.text(from)) text.push_back(static_cast<unsigned char>(c));
      }
      if (IsVarLengthType(dst.type)) {
        while (!text.empty() && text.back() == u' ') text.pop_back();
      }
      WriteWideText(schema, image, to, text, true);
      return;
    }
    case ValueKind::kNumber:
      if (ValueKindOf(src.type) == ValueKind::kNumber) {
        WriteNumber(schema, image, to, old.number(from));
      } else if (dst.type == FieldType::kNumeric) {
        WriteText(schema, image, to, old.text(from), false);
      } else {
        // Text into a binary number: through its numeric value; text that is no number is
        // refused rather than stored as something else.
        std::string t = TrimCopy(old.text(from));
        char* end = nullptr;
        double v = std::strtod(t.c_str(), &end);
        if (t.empty()) {
          WriteNull(schema, image, to);
        } else if (end == t.c_str() || *end != 0) {
          Fail(err::kFieldTypeMismatch, "Field \"" + src.name + "\" holds \"" + t + "\", which is not a number.");
        } else {
          WriteNumber(schema, image, to, v);
        }
      }
      return;
    case ValueKind::kDate:
      WriteJulian(schema, image, to, old.julian(from));
      return;
    case ValueKind::kTime:
      WriteMilliseconds(schema, image, to, old.milliseconds(from));
      return;
    case ValueKind::kTimeStamp:
      WriteTimeStamp(schema, image, to, old.julian(from), old.milliseconds(from));
      return;
    case ValueKind::kLogical:
      WriteText(schema, image, to, old.text(from), false);
      return;
  }
}

}  // namespace

void Table::Restructure(const std::string& path, std::string_view add, std::string_view remove,
                        std::string_view change, const ProgressFn& progress, const RestructureCheck& beforeReplace) {
  OpenOptions exclusive;
  exclusive.exclusive = true;
  std::unique_ptr<Table> t = Open(path, exclusive);
  t->CheckWritable();
  if (t->encrypted()) {
    Fail(err::kEncryptedTableUnsupported,
         "The table \"" + path + "\" is encrypted; decrypt it before changing its fields.");
  }
  const Schema& current = t->schema();

  std::vector<std::string> removed = ParseFieldNameList(remove);
  for (const std::string& name : removed) {
    if (!current.Find(name)) Fail(err::kFieldNotFound, "Field \"" + name + "\" to delete does not exist.");
  }
  std::vector<Change> changes = ParseChanges(change, current);
  std::vector<FieldSpec> specs;
  std::vector<int> source;  // old field index per new field, -1 for an added one
  for (size_t i = 0; i < current.fieldCount(); ++i) {
    const std::string& name = current.fields()[i].name;
    bool gone = false;
    for (const std::string& r : removed) gone = gone || AsciiEqualsIgnoreCase(r, name);
    if (gone) continue;
    FieldSpec decl = current.SpecOf(i);
    for (const Change& c : changes) {
      if (AsciiEqualsIgnoreCase(c.oldName, name)) decl = c.decl;
    }
    specs.push_back(decl);
    source.push_back(static_cast<int>(i));
  }
  if (!TrimCopy(add).empty()) {
    for (const FieldSpec& decl : ParseFieldDefinitions(add)) {
      specs.push_back(decl);
      source.push_back(-1);
    }
  }
  const RecordFormat& format = *t->format_;
  const bool dbf = current.dbf();
  Schema next = dbf ? Schema::FromDbfSpecs(specs, current.tableType()) : Schema::FromSpecs(specs);

  TableHeader h = t->header_;
  h.schema = next;
  if (dbf) {
    format.LayOut(&h);
  } else {
    if (next.HasBlobs() && h.properties.memoBlockSize == 0) h.properties.memoBlockSize = kDefaultMemoBlockSize;
    h.headerLength = HeaderLengthFor(EncodeStructure(h).size());
    h.structureOffset = kStructureOffset;
  }
  if (current.HasBlobs() && !t->memo_) {
    // The records refer to blobs that cannot be read now: the memo file is neither copied nor
    // replaced by guesswork.
    Fail(err::kMemoDamaged, "The memo file \"" + format.MemoPath(path) +
                                "\" cannot be read; the fields of the table cannot be changed before it can.");
  }
  if (next.HasBlobs() && !t->memo_) {
    // No record refers to a memo file yet, so a new one may replace whatever is there.
    std::string stagedMemo = table_files::StagingPath(format.MemoPath(path));
    try {
      std::unique_ptr<MemoStore> fresh = format.CreateMemo(stagedMemo, h.properties.memoBlockSize);
      table_files::ReplaceMemoFile(fresh->file(), stagedMemo, path, format.type());
    } catch (...) {
      storage::Current().Remove(stagedMemo);
      throw;
    }
    t->memo_ = t->OpenMemo();
  }

  std::vector<BlobRef> freed;
  std::vector<uint8_t> image(next.recordLength());
  std::string staged = table_files::StagingPath(path);
  std::unique_ptr<storage::File> out = CreateStagedTable(staged);
  try {
    TableHeader written = h;
    written.counters.changeCounter++;
    std::vector<uint8_t> counters;
    if (dbf) {
      written.counters.recordCount = 0;
      format.WriteHeader(*out, written);
    } else {
      std::vector<uint8_t> headerBytes(h.headerLength, 0);
      std::vector<uint8_t> structure = EncodeStructure(written);
      std::vector<uint8_t> fixed = EncodeFixedBlock(written, structure);
      counters = EncodeCounters(written.counters);
      std::memcpy(headerBytes.data(), fixed.data(), fixed.size());
      std::memcpy(headerBytes.data() + kCounterBlockOffset, counters.data(), counters.size());
      std::memcpy(headerBytes.data() + kStructureOffset, structure.data(), structure.size());
      out->Write(0, headerBytes.data(), headerBytes.size());
    }
    uint32_t total = t->header_.counters.recordCount;
    std::vector<uint8_t> old(current.recordLength());
    std::vector<uint8_t> batch;
    uint16_t lastPercent = 0xFFFF;
    uint32_t n = 1;
    for (; n <= total; ++n) {
      if (t->file_->Read(t->RecordOffset(n), old.data(), old.size()) != old.size()) break;
      RecordView v(current, old.data(), n);
      WriteEmptyRecord(next, image.data());
      image[0] = old[0];
      for (size_t j = 0; j < next.fieldCount(); ++j) {
        if (source[j] >= 0) ConvertField(v, static_cast<size_t>(source[j]), next, image.data(), j);
      }
      for (size_t i = 0; i < current.fieldCount(); ++i) {
        if (!IsBlobType(current.fields()[i].type)) continue;
        bool kept = false;
        for (size_t j = 0; j < next.fieldCount(); ++j) kept = kept || source[j] == static_cast<int>(i);
        if (!kept) freed.push_back(v.blob(i));
      }
      batch.insert(batch.end(), image.begin(), image.end());
      if (batch.size() >= 1 << 20 || n == total) {
        out->Write(h.headerLength + uint64_t{n - static_cast<uint32_t>(batch.size() / image.size())} * image.size(),
                   batch.data(), batch.size());
        batch.clear();
      }
      uint16_t percent = static_cast<uint16_t>(uint64_t{n} * 100 / total);
      if (progress && percent != lastPercent) {
        lastPercent = percent;
        if (!progress(percent)) Fail(err::kTableIoError, "The restructure of \"" + path + "\" was stopped.");
      }
    }
    if (!batch.empty()) {
      out->Write(h.headerLength + uint64_t{n - 1 - static_cast<uint32_t>(batch.size() / image.size())} * image.size(),
                 batch.data(), batch.size());
    }
    written.counters.recordCount = n - 1;
    if (dbf) {
      format.WriteCounters(*out, written, written.counters, n - 1);
    } else {
      counters = EncodeCounters(written.counters);
      out->Write(kCounterBlockOffset, counters.data(), counters.size());
    }
    if (beforeReplace) beforeReplace(next, h.tags);
    // The index of the old fields goes first: a crash after the rename leaves no index that
    // speaks of fields the table no longer has (an NTX table's tags each have their file).
    if (!h.tags.empty()) {
      bool separateFiles = false;
      for (const TagDefinition& tag : h.tags) {
        if (tag.file.empty()) continue;
        separateFiles = true;
        const std::string tagPath = storage::FolderOf(path) + "/" + tag.file;
        if (storage::Exists(tagPath, err::kIndexIoError)) table_files::RemoveIndexFile(tagPath);
      }
      if (!separateFiles) table_files::RemoveIndexFile(table_files::IndexPath(path));
    }
  } catch (...) {
    out.reset();
    storage::Current().Remove(staged);
    throw;
  }
  try {
    t->ReplaceFile(staged, std::move(out));
  } catch (...) {
    storage::Current().Remove(staged);
    throw;
  }
  if (t->memo_ && !freed.empty()) {
    for (BlobRef ref : freed) t->memo_->Free(ref);
    t->memoWritten_ = true;
    t->Commit();
  }
}

}  // namespace engine::table
