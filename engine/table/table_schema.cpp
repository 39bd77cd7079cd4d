#include "engine/table/table_schema.h"

#include <string>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/table/dbf_field.h"
#include "engine/table/dbf_null_flags.h"

namespace engine::table {

namespace {

constexpr uint32_t kMaxCharLength = 65530;
constexpr uint32_t kMaxVarLength = 65000;
constexpr uint32_t kMaxNationalChars = 32000;
constexpr uint32_t kMaxNumericDigits = 32;
constexpr uint16_t kMaxDecimals = 15;

[[noreturn]] void BadField(const std::string& name, const std::string& why) {
  Fail(err::kInvalidFieldDefinition, "Field \"" + name + "\": " + why + ".");
}

// A numeric-text field: 1 to maxLength characters, at most 15 decimals, and room for the
// decimal point and a digit before it.
void CheckNumericShape(const FieldSpec& decl, uint32_t maxLength) {
  if (decl.length < 1 || decl.length > maxLength) {
    BadField(decl.name, "the length must be 1 to " + std::to_string(maxLength));
  }
  if (decl.decimals > kMaxDecimals) BadField(decl.name, "at most 15 decimals are allowed");
  if (decl.decimals > 0 && decl.length < decl.decimals + 2u)
    BadField(decl.name, "the length must leave room for the decimal point and a digit");
}

// The engine's field length of a declaration (what AdsGetFieldLength reports).
uint32_t ReportedLength(FieldType type, uint32_t declared) {
  switch (type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kRaw:
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
    case FieldType::kNChar:
    case FieldType::kNVarChar:
    case FieldType::kNumeric:
      return declared;
    default:
      return FieldStorageSize(type, declared);
  }
}

void CheckSpec(const FieldSpec& decl) {
  if (decl.name.empty()) BadField(decl.name, "the name is empty");
  if (decl.name.size() > kMaxFieldNameLength) BadField(decl.name, "the name is longer than 128 characters");
  for (char c : decl.name) {
    if (c == ',' || c == ';' || static_cast<unsigned char>(c) < 0x20) BadField(decl.name, "the name holds a separator");
  }
  if (!IsNativeFieldType(static_cast<uint16_t>(decl.type))) BadField(decl.name, "the type is not a native field type");
  switch (decl.type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kRaw:
      if (decl.length < 1 || decl.length > kMaxCharLength) BadField(decl.name, "the length must be 1 to 65530");
      break;
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
      if (decl.length < 1 || decl.length > kMaxVarLength) BadField(decl.name, "the length must be 1 to 65000");
      break;
    case FieldType::kNChar:
    case FieldType::kNVarChar:
      if (decl.length < 1 || decl.length > kMaxNationalChars) BadField(decl.name, "the length must be 1 to 32000");
      break;
    case FieldType::kNumeric:
      CheckNumericShape(decl, kMaxNumericDigits);
      break;
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      if (decl.decimals > kMaxDecimals) BadField(decl.name, "at most 15 decimals are allowed");
      break;
    default:
      break;
  }
}

}  // namespace

uint32_t FieldStorageSize(FieldType type, uint32_t length) {
  switch (type) {
    case FieldType::kLogical:
      return 1;
    case FieldType::kShortInt:
      return 2;
    case FieldType::kCompactDate:
      return 3;
    case FieldType::kDate:
    case FieldType::kInteger:
    case FieldType::kTime:
    case FieldType::kAutoInc:
      return 4;
    case FieldType::kDouble:
    case FieldType::kCurDouble:
    case FieldType::kTimeStamp:
    case FieldType::kModTime:
    case FieldType::kMoney:
    case FieldType::kRowVersion:
      return 8;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kImage:
    case FieldType::kNMemo:
      return kBlobRefSize;
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kRaw:
    case FieldType::kNumeric:
      return length;
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
      return length + 2;
    case FieldType::kNChar:
      return length * 2;
    case FieldType::kNVarChar:
      return length * 2 + 2;
  }
  return 0;
}

Schema Schema::FromSpecs(const std::vector<FieldSpec>& specs) {
  if (specs.empty()) Fail(err::kInvalidFieldDefinition, "A table needs at least one field.");
  if (specs.size() > kMaxFields) Fail(err::kInvalidFieldDefinition, "A table has at most 2048 fields.");
  Schema schema;
  uint64_t offset = 1;
  for (const FieldSpec& decl : specs) {
    CheckSpec(decl);
    if (schema.Find(decl.name)) BadField(decl.name, "the name is used twice");
    FieldDescriptor d;
    d.name = decl.name;
    d.type = decl.type;
    d.length = ReportedLength(decl.type, decl.length);
    d.decimals = (decl.type == FieldType::kNumeric || decl.type == FieldType::kDouble ||
                  decl.type == FieldType::kCurDouble)
                     ? decl.decimals
                     : 0;
    d.size = FieldStorageSize(decl.type, decl.length);
    d.dataSize = IsVarLengthType(decl.type) ? d.size - 2 : d.size;
    d.offset = static_cast<uint32_t>(offset);
    offset += d.size;
    if (offset > kMaxRecordLength) BadField(decl.name, "the record grows longer than 65535 bytes");
    schema.fields_.push_back(std::move(d));
  }
  schema.recordLength_ = static_cast<uint32_t>(offset);
  return schema;
}

Schema Schema::FromDescriptors(std::vector<FieldDescriptor> fields, uint32_t recordLength) {
  std::vector<FieldSpec> specs;
  specs.reserve(fields.size());
  for (const FieldDescriptor& d : fields) {
    FieldSpec decl;
    decl.name = d.name;
    decl.type = d.type;
    decl.decimals = d.decimals;
    decl.length = d.length;
    specs.push_back(decl);
  }
  Schema rebuilt;
  try {
    rebuilt = FromSpecs(specs);
  } catch (const EngineError& e) {
    Fail(err::kTableHeaderDamaged, std::string("The table header holds an invalid field: ") + e.what());
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDescriptor& want = rebuilt.fields_[i];
    if (fields[i].offset != want.offset || fields[i].size != want.size || fields[i].length != want.length) {
      Fail(err::kTableHeaderDamaged, "The table header's descriptor of field \"" + fields[i].name +
                                         "\" does not match its layout.");
    }
  }
  if (rebuilt.recordLength_ != recordLength) {
    Fail(err::kTableHeaderDamaged, "The table header's record length does not match its fields.");
  }
  return rebuilt;
}

Schema Schema::FromDbfSpecs(const std::vector<FieldSpec>& specs, TableType type) {
  const bool vfp = type == TableType::kVfp;
  if (specs.empty()) Fail(err::kInvalidFieldDefinition, "A table needs at least one field.");
  // The header length is a 16-bit value: 32 bytes of header, 32 per field and the terminator
  // (FoxPro tables: also the null-flags field and the 263-byte backlink).
  const size_t maxFields = vfp ? 2036 : 2046;
  if (specs.size() > maxFields) {
    Fail(err::kInvalidFieldDefinition, "A DBF table has at most " + std::to_string(maxFields) + " fields.");
  }
  const char* kind = type == TableType::kNtx ? "an NTX" : vfp ? "a FoxPro" : "a CDX";
  std::vector<FieldDescriptor> fields;
  for (const FieldSpec& decl : specs) {
    if (decl.name.empty()) BadField(decl.name, "the name is empty");
    if (decl.name.size() > kDbfMaxFieldNameLength) BadField(decl.name, "a DBF field name has at most 10 characters");
    for (char c : decl.name) {
      unsigned char u = static_cast<unsigned char>(c);
      if (u <= 0x20 || u >= 0x7F || c == ',' || c == ';') {
        BadField(decl.name, "a DBF field name holds only letters, digits and other visible ASCII characters");
      }
    }
    if (vfp && AsciiEqualsIgnoreCase(decl.name, kVfpNullFlagsName)) BadField(decl.name, "the name is the system field's");
    for (const FieldDescriptor& seen : fields) {
      if (AsciiEqualsIgnoreCase(seen.name, decl.name)) BadField(decl.name, "the name is used twice");
    }
    std::optional<char> letter = DbfLetterOf(decl.type, type);
    if (!letter) {
      BadField(decl.name, std::string(kind) + " table cannot hold a field of type " + std::string(TypeWordOf(decl.type)));
    }
    if (!vfp && (decl.nullable || decl.binary)) {
      BadField(decl.name, std::string(kind) + " table has no " + (decl.nullable ? "NULL" : "binary") + " fields");
    }
    FieldDescriptor d;
    d.name = decl.name;
    d.type = decl.type;
    d.dbfLetter = *letter;
    if (vfp && decl.type == FieldType::kBinary && (decl.dbfLetter == 'G' || decl.dbfLetter == 'g')) d.dbfLetter = 'G';
    if (decl.nullable) d.dbfFlags |= kVfpFieldNullable;
    if (decl.binary) {
      if (decl.type != FieldType::kString && decl.type != FieldType::kMemo && decl.type != FieldType::kVarChar) {
        BadField(decl.name, "only Character, VarChar and Memo fields are marked binary");
      }
      d.dbfFlags |= kVfpFieldBinary;
    }
    switch (decl.type) {
      case FieldType::kString:
        if (decl.length < 1 || decl.length > kDbfMaxCharLength) BadField(decl.name, "the length must be 1 to 254");
        d.length = decl.length;
        break;
      case FieldType::kVarChar:
      case FieldType::kVarBinary:
        if (decl.length < 1 || decl.length > kDbfMaxCharLength) BadField(decl.name, "the length must be 1 to 254");
        d.length = decl.length;
        break;
      case FieldType::kNumeric:
        CheckNumericShape(decl, kDbfMaxNumericLength);
        d.length = decl.length;
        d.decimals = decl.decimals;
        break;
      case FieldType::kDouble:
        if (decl.decimals > kMaxDecimals) BadField(decl.name, "at most 15 decimals are allowed");
        d.decimals = decl.decimals;
        d.length = DbfFieldSize(decl.type, decl.length, type);
        break;
      case FieldType::kMoney:
        d.decimals = 4;
        d.length = DbfFieldSize(decl.type, decl.length, type);
        break;
      default:
        d.length = DbfFieldSize(decl.type, decl.length, type);
    }
    d.size = DbfFieldSize(decl.type, d.length, type);
    fields.push_back(std::move(d));
  }
  return FromDbfDescriptors(std::move(fields), type);
}

Schema Schema::FromDbfDescriptors(std::vector<FieldDescriptor> fields, TableType type, uint32_t nullFlagsSize) {
  Schema schema;
  uint64_t offset = 1;
  for (FieldDescriptor& d : fields) {
    d.dataSize = d.size;
    d.offset = static_cast<uint32_t>(offset);
    offset += d.size;
    if (offset > kMaxRecordLength) BadField(d.name, "the record grows longer than 65535 bytes");
  }
  if (type == TableType::kVfp) {
    const uint32_t bits = AssignNullFlagBits(fields);
    const uint32_t needed = (bits + 7) / 8;
    if (nullFlagsSize < needed) nullFlagsSize = needed;
    if (nullFlagsSize > 0) {
      schema.nullFlagsOffset_ = static_cast<uint32_t>(offset);
      schema.nullFlagsSize_ = nullFlagsSize;
      offset += nullFlagsSize;
      if (offset > kMaxRecordLength) BadField(kVfpNullFlagsName, "the record grows longer than 65535 bytes");
    }
  }
  schema.fields_ = std::move(fields);
  schema.recordLength_ = static_cast<uint32_t>(offset);
  schema.tableType_ = type;
  return schema;
}

std::optional<size_t> Schema::Find(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (AsciiEqualsIgnoreCase(fields_[i].name, name)) return i;
  }
  return std::nullopt;
}

bool Schema::HasBlobs() const {
  for (const FieldDescriptor& d : fields_) {
    if (IsBlobType(d.type)) return true;
  }
  return false;
}

FieldSpec Schema::SpecOf(size_t i) const {
  const FieldDescriptor& d = fields_.at(i);
  FieldSpec decl;
  decl.name = d.name;
  decl.type = d.type;
  decl.decimals = d.decimals;
  decl.nullable = d.nullable();
  decl.binary = (d.dbfFlags & kVfpFieldBinary) != 0 &&
                (d.type == FieldType::kString || d.type == FieldType::kMemo || d.type == FieldType::kVarChar);
  if (d.dbfLetter == 'G') decl.dbfLetter = 'G';
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kRaw:
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
    case FieldType::kNChar:
    case FieldType::kNVarChar:
    case FieldType::kNumeric:
      decl.length = d.length;
      break;
    default:
      decl.length = 0;
  }
  return decl;
}

}  // namespace engine::table
