#include "engine/table/api/table_handles.h"

#include <cstring>

#include "engine/core/ascii_case.h"
#include "engine/core/caller_names.h"
#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine_api/entry_points.h"

namespace engine::table {

namespace {
// Messages about the cursor's files name them as its opener did.
void NoteNames(TableCursor& cursor) {
  if (cursor.callerName()) core::NoteCallerName(cursor.callerName());
}
}  // namespace

namespace {
// Fills `ref` for a table, cursor or index order handle, in one look-up of the registry; false
// for any other handle.
inline bool FindCursorInto(uint32_t handle, CursorRef& ref) {
  ref.cursor = core::Handles::Find<TableCursor>(handle, {core::Kind::kTable, core::Kind::kCursor});
  if (!ref.cursor) {
    ref.orderHandle = core::Handles::Find<OrderHandle>(handle, {core::Kind::kIndexOrder});
    if (!ref.orderHandle) return false;
    ref.cursor = ref.orderHandle->cursor();
    if (!ref.cursor) return false;
  }
  NoteNames(*ref.cursor);
  return true;
}
}  // namespace

CursorRef FindCursor(uint32_t handle) {
  CursorRef ref;
  FindCursorInto(handle, ref);
  return ref;
}

CursorRef CursorOf(uint32_t handle) {
  CursorRef ref;
  if (FindCursorInto(handle, ref)) return ref;
  // Anything else takes the checked path, which reports the bad handle.
  core::Kind kind = core::Handles::KindOf(handle);
  if (kind == core::Kind::kIndexOrder) {
    ref.orderHandle = core::Handles::Get<OrderHandle>(handle, core::Kind::kIndexOrder);
    ref.cursor = ref.orderHandle->cursor();
    NoteNames(*ref.cursor);
    return ref;
  }
  ref.cursor = core::Handles::GetAny<TableCursor>(handle, {core::Kind::kTable, core::Kind::kCursor});
  NoteNames(*ref.cursor);
  return ref;
}

uint32_t FileNameOut(const std::string& windowsPath, uint16_t option, uint8_t* buf, uint16_t* len, const char* call) {
  size_t slash = windowsPath.find_last_of("\\/");
  std::string base = slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
  switch (option) {
    case 1: {
      size_t dot = base.find_last_of('.');
      return core::TextOut(dot == std::string::npos ? base : base.substr(0, dot), buf, len);
    }
    case 2:
      return core::TextOut(base, buf, len);
    case 3:
      return core::TextOut(windowsPath, buf, len);
    default:
      Fail(err::kInvalidArgument, std::string(call) + ": option " + std::to_string(option) + " is unknown (1, 2 or 3).");
  }
}

std::shared_ptr<TableCursor> TableOf(uint32_t handle) {
  std::shared_ptr<TableCursor> cursor = core::Handles::GetAny<TableCursor>(handle, {core::Kind::kTable, core::Kind::kCursor});
  NoteNames(*cursor);
  return cursor;
}

size_t FieldIndex(TableCursor& cursor, const uint8_t* field) {
  uintptr_t value = reinterpret_cast<uintptr_t>(field);
  if (value == 0) Fail(err::kFieldNotFound, "No field was named.");
  if (value < 65536) {
    if (value > cursor.schema().fieldCount()) {
      Fail(err::kFieldNotFound, "The table has no field number " + std::to_string(value) + ".");
    }
    return value - 1;
  }
  const char* name = reinterpret_cast<const char*>(field);
  // Callers name the fields of a record one after another, so the field after the one this
  // cursor found last is tried first; names are unique without regard to case, so a match there
  // is the field. Callers mostly spell a name as it was defined: the bytes are compared as they
  // are first, without measuring the name.
  const std::vector<FieldDescriptor>& fields = cursor.schema().fields();
  size_t& hint = cursor.fieldHint();
  if (hint < fields.size()) {
    const std::string& candidate = fields[hint].name;
    const size_t n = candidate.size();
    size_t k = 0;
    while (k < n && name[k] == candidate[k]) ++k;  // stops at the name's end: no field name holds a NUL
    if ((k == n && name[n] == '\0') || AsciiEqualsIgnoreCase(candidate, name)) {
      const size_t found = hint;
      hint = found + 1 == fields.size() ? 0 : found + 1;
      return found;
    }
  }
  std::string_view wanted(name);
  std::optional<size_t> i = cursor.schema().Find(wanted);
  if (!i) Fail(err::kFieldNotFound, "The table has no field \"" + std::string(wanted) + "\".");
  hint = *i + 1 == fields.size() ? 0 : *i + 1;
  return *i;
}

namespace {

bool HasExtension(const std::string& name) {
  size_t slash = name.find_last_of("\\/");
  size_t dot = name.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

bool IsAbsolute(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return true;
  return !name.empty() && (name[0] == '\\' || name[0] == '/');
}

}  // namespace

std::string TableWindowsPath(uint32_t connection, const std::string& name, TableType type) {
  if (name.empty()) Fail(err::kTableNotFound, "No table name was given.");
  std::string full = name;
  if (!HasExtension(full)) full += TableFileExtension(type);
  if (!IsAbsolute(full) && connection != 0) {
    std::shared_ptr<core::Connection> c = core::Connections::Get(connection);
    std::string folder = c->folder;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    full = folder + full;
  }
  return full;
}

std::string TableHostPath(uint32_t connection, const std::string& name, std::string* windowsPath, TableType type) {
  std::string full = TableWindowsPath(connection, name, type);
  std::string host = core::HostPathOrFail(full, "The table path");
  if (windowsPath) *windowsPath = full;
  return host;
}

std::string DateFormatText(uint32_t connection) {
  if (connection != 0 && core::Handles::IsLive(connection, core::Kind::kConnection)) {
    std::string f = core::Connections::Get(connection)->DateFormat();
    if (!f.empty()) return f;
  }
  uint8_t buf[64];
  UNSIGNED16 len = sizeof buf;
  try {
    if (api::AdsGetDateFormat(buf, &len) == 0 && len > 0) return std::string(reinterpret_cast<char*>(buf), len);
  } catch (const EngineError&) {
    // No process format is kept: the engine's default applies.
  }
  return "MM/DD/CCYY";
}

}  // namespace engine::table
