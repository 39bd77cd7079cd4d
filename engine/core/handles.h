// The process's registry of engine handles.
//
// Every object the C interface hands out (connection, table, cursor, statement, index order,
// enumeration, bookmark) is registered here under a non-zero 32-bit handle of a given kind. The
// registry owns a shared reference to the object; a caller that uses an object for the length of
// a call takes its own shared reference with Get, so a concurrent Remove never destroys an
// object under a running call. Handles are never reused while the process lives (the counter
// would need 2^32 registrations to wrap, and then skips live values), so a stale handle is
// reported as such, never mistaken for a newer object. 0 and 0xFFFFFFFF are never handed out.
//
// An object may have an owner (a table belongs to its connection, an index order to its table);
// removing a handle removes everything it owns, deepest first. AdsDisconnect relies on this.
//
// Thread safety: all members are safe to call from any thread (one mutex; a thread's look-up of
// the handle it looked up last takes no lock, see handles.cpp). Objects themselves are not made
// thread-safe by the registry.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <vector>

#include "engine/core/error.h"

namespace engine::core {

using Handle = uint32_t;

// Handle kinds. The first values are the handle types AdsGetHandleType reports.
enum class Kind : uint16_t {
  kConnection = 1,
  kTable = 2,
  kIndexOrder = 3,
  kStatement = 4,
  kCursor = 5,
  kTableFind = 20,   // AdsFindFirstTable enumeration
  kObjectFind = 21,  // AdsDDFindFirstObject enumeration
  kBookmark = 22,    // AdsGetBookmark
};

// "connection", "table", ... for error texts.
const char* KindName(Kind kind);

// The error code for a bad handle of the given kind: 5024 for connections, 5106 for statements,
// 5901 for every other kind.
ErrorCode InvalidHandleCode(Kind kind);

class Handles {
 public:
  // Registers `object` under a new handle of `kind`, owned by `owner` (0: no owner; else it must
  // be a live handle). Returns the handle.
  template <typename T>
  static Handle Add(Kind kind, std::shared_ptr<T> object, Handle owner = 0) {
    return AddErased(kind, std::static_pointer_cast<void>(std::move(object)), typeid(T), owner);
  }

  // The object of `handle`, which must be live and of `kind`; else fails with
  // InvalidHandleCode(kind) and a text naming the entry point and the handle.
  template <typename T>
  static std::shared_ptr<T> Get(Handle handle, Kind kind) {
    return std::static_pointer_cast<T>(GetErased(handle, {kind}, typeid(T)));
  }

  // The same for a handle that may be of any of `kinds` (a table or a cursor); fails with the
  // code of the first kind. *found_kind (when given) receives the handle's kind.
  template <typename T>
  static std::shared_ptr<T> GetAny(Handle handle, std::initializer_list<Kind> kinds, Kind* found_kind = nullptr) {
    return std::static_pointer_cast<T>(GetErased(handle, kinds, typeid(T), found_kind));
  }

  // The object of `handle` when it is live, of one of `kinds` and holds a T; else null, never
  // failing. For callers that accept several kinds and report a bad handle themselves.
  template <typename T>
  static std::shared_ptr<T> Find(Handle handle, std::initializer_list<Kind> kinds) {
    return std::static_pointer_cast<T>(FindErased(handle, kinds, typeid(T)));
  }
  // The kind of a live handle; fails with 5901 for an unknown one.
  static Kind KindOf(Handle handle);

  // True when `handle` is live and of `kind`.
  static bool IsLive(Handle handle, Kind kind);

  // The owner of a live handle (0 when it has none); fails with 5901 for an unknown one.
  static Handle OwnerOf(Handle handle);

  // Removes `handle` (which must be live and of `kind`, else the error of Get) and, first,
  // everything it owns, recursively. The objects are released after the registry's lock is
  // dropped, so destructors may use the registry.
  static void Remove(Handle handle, Kind kind);

  // A 32-bit value the caller keeps with a live handle (AdsSetHandleLong); 0 until set. Both
  // fail with 5901 for a handle that is not live.
  static void SetUserValue(Handle handle, uint32_t value);
  static uint32_t UserValue(Handle handle);

  // Live handles owned directly by `owner`, of `kind`, in registration order.
  static std::vector<Handle> OwnedBy(Handle owner, Kind kind);

  // Number of live handles (for tests of release).
  static size_t LiveCount();

 private:
  static Handle AddErased(Kind kind, std::shared_ptr<void> object, std::type_index type, Handle owner);
  static std::shared_ptr<void> FindErased(Handle handle, std::initializer_list<Kind> kinds, std::type_index type);
  static std::shared_ptr<void> GetErased(Handle handle, std::initializer_list<Kind> kinds, std::type_index type,
                                         Kind* found_kind = nullptr);
};

}  // namespace engine::core
