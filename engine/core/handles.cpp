#include "engine/core/handles.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "engine/core/guard.h"

namespace engine::core {
namespace {

struct Entry {
  Kind kind;
  std::type_index type;
  std::shared_ptr<void> object;
  Handle owner;
  std::vector<Handle> owned;  // in registration order
  uint32_t user_value = 0;
};

struct Registry {
  std::mutex mutex;
  std::map<Handle, Entry> entries;
  Handle next = 1;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Every engine call looks up its handle, most calls the same one as the call before on the same
// thread; the thread's last successful look-up is remembered so that the next one for that
// handle costs no lock and no search. Handles are never reused and an entry's kind and type
// never change, so a remembered entry stays right until a handle is removed: every removal
// counts one up in `g_removals`, and a look-up trusts what it remembered only while the count
// is the one it remembered it under. The object is held weakly: remembering keeps nothing open.
// A look-up racing a removal on another thread may still get the object, exactly as when it
// took the lock just before the removal did.
std::atomic<uint64_t> g_removals{0};

struct LastFound {
  uint64_t removals = 0;
  Handle handle = 0;  // 0: nothing remembered
  Kind kind = Kind::kConnection;
  std::type_index type{typeid(void)};
  std::weak_ptr<void> object;
};
// A plain pointer, so that reaching it needs no initialisation check; the owner frees it when
// the thread ends, and a look-up made after that (during exit) simply takes the lock.
thread_local LastFound* t_last = nullptr;
thread_local bool t_last_gone = false;
struct LastFoundOwner {
  bool armed = false;
  ~LastFoundOwner() {
    delete t_last;
    t_last = nullptr;
    t_last_gone = true;
  }
};
thread_local LastFoundOwner t_last_owner;

LastFound* ThreadsLastFound() {
  LastFound* last = t_last;
  if (last == nullptr && !t_last_gone) {
    t_last_owner.armed = true;  // constructs the owner, which registers its destructor
    last = t_last = new LastFound;
  }
  return last;
}

// REQUIRES: registry mutex held, `e` the live entry of `handle`.
void Remember(Handle handle, const Entry& e) {
  if (LastFound* last = ThreadsLastFound()) {
    last->removals = g_removals.load(std::memory_order_relaxed);
    last->handle = handle;
    last->kind = e.kind;
    last->type = e.type;
    last->object = e.object;
  }
}

// What the thread remembers of `handle`, when that is still right; null otherwise.
const LastFound* Remembered(Handle handle) {
  const LastFound* last = t_last;
  if (last == nullptr || last->handle != handle || handle == 0) return nullptr;
  return last->removals == g_removals.load(std::memory_order_acquire) ? last : nullptr;
}

bool OfKind(Kind kind, std::initializer_list<Kind> kinds) {
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

std::string Describe(Handle handle) {
  std::string where(CurrentEntryPoint());
  return (where.empty() ? std::string() : where + ": ") + "handle " + std::to_string(handle);
}

[[noreturn]] void FailBadHandle(Handle handle, Kind wanted, const char* why) {
  Fail(InvalidHandleCode(wanted),
       Describe(handle) + " is not a valid " + KindName(wanted) + " handle (" + why + ").");
}

// REQUIRES: registry mutex held. Moves the objects of `handle` and its owned handles into `out`.
void RemoveLocked(Registry& r, Handle handle, std::vector<std::shared_ptr<void>>& out) {
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) return;
  std::vector<Handle> owned = std::move(it->second.owned);
  for (auto child = owned.rbegin(); child != owned.rend(); ++child) RemoveLocked(r, *child, out);
  it = r.entries.find(handle);
  out.push_back(std::move(it->second.object));
  Handle owner = it->second.owner;
  r.entries.erase(it);
  g_removals.fetch_add(1, std::memory_order_release);
  if (owner != 0) {
    auto o = r.entries.find(owner);
    if (o != r.entries.end()) {
      auto& list = o->second.owned;
      list.erase(std::remove(list.begin(), list.end(), handle), list.end());
    }
  }
}

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kConnection: return "connection";
    case Kind::kTable: return "table";
    case Kind::kIndexOrder: return "index order";
    case Kind::kStatement: return "statement";
    case Kind::kCursor: return "cursor";
    case Kind::kTableFind: return "table enumeration";
    case Kind::kObjectFind: return "object enumeration";
    case Kind::kBookmark: return "bookmark";
  }
  return "engine";
}

ErrorCode InvalidHandleCode(Kind kind) {
  switch (kind) {
    case Kind::kConnection: return err::kInvalidConnectionHandle;
    case Kind::kStatement: return err::kInvalidStatementHandle;
    default: return err::kInvalidHandle;
  }
}

Handle Handles::AddErased(Kind kind, std::shared_ptr<void> object, std::type_index type, Handle owner) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (owner != 0 && r.entries.find(owner) == r.entries.end()) {
    Fail(err::kInvalidHandle, Describe(owner) + " cannot own a new handle: it is not live.");
  }
  Handle handle = 0;
  do {
    handle = r.next++;
  } while (handle == 0 || handle == 0xFFFFFFFFu || r.entries.count(handle) != 0);
  r.entries.emplace(handle, Entry{kind, type, std::move(object), owner, {}, 0});
  if (owner != 0) r.entries.at(owner).owned.push_back(handle);
  return handle;
}

std::shared_ptr<void> Handles::GetErased(Handle handle, std::initializer_list<Kind> kinds, std::type_index type,
                                         Kind* found_kind) {
  if (const LastFound* last = Remembered(handle); last && OfKind(last->kind, kinds) && last->type == type) {
    if (std::shared_ptr<void> object = last->object.lock()) {
      if (found_kind) *found_kind = last->kind;
      return object;
    }
  }
  Kind wanted = *kinds.begin();
  if (handle == 0) FailBadHandle(handle, wanted, "zero");
  if (handle == 0xFFFFFFFFu) FailBadHandle(handle, wanted, "closed");
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) {
    FailBadHandle(handle, wanted, handle < r.next ? "already released" : "never issued");
  }
  const Entry& e = it->second;
  if (std::find(kinds.begin(), kinds.end(), e.kind) == kinds.end()) {
    FailBadHandle(handle, wanted, (std::string("it is a ") + KindName(e.kind) + " handle").c_str());
  }
  if (e.type != type) {
    Fail(err::kInternalError, Describe(handle) + " holds an object of another type than requested.");
  }
  if (found_kind) *found_kind = e.kind;
  Remember(handle, e);
  return e.object;
}

std::shared_ptr<void> Handles::FindErased(Handle handle, std::initializer_list<Kind> kinds, std::type_index type) {
  if (const LastFound* last = Remembered(handle)) {
    if (!OfKind(last->kind, kinds) || last->type != type) return nullptr;
    if (std::shared_ptr<void> object = last->object.lock()) return object;
  }
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) return nullptr;
  const Entry& e = it->second;
  Remember(handle, e);
  if (!OfKind(e.kind, kinds) || e.type != type) return nullptr;
  return e.object;
}

Kind Handles::KindOf(Handle handle) {
  if (const LastFound* last = Remembered(handle)) return last->kind;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) Fail(err::kInvalidHandle, Describe(handle) + " is not a valid handle.");
  return it->second.kind;
}

bool Handles::IsLive(Handle handle, Kind kind) {
  // Entry points that take several kinds of handle ask this first ("is it a statement?") on
  // every call, nearly always of the handle the thread looked up last.
  if (const LastFound* last = Remembered(handle)) return last->kind == kind;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  return it != r.entries.end() && it->second.kind == kind;
}

Handle Handles::OwnerOf(Handle handle) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) Fail(err::kInvalidHandle, Describe(handle) + " is not a valid handle.");
  return it->second.owner;
}

void Handles::Remove(Handle handle, Kind kind) {
  std::vector<std::shared_ptr<void>> released;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (handle == 0) FailBadHandle(handle, kind, "zero");
    auto it = r.entries.find(handle);
    if (it == r.entries.end()) FailBadHandle(handle, kind, "already released or never issued");
    if (it->second.kind != kind) {
      FailBadHandle(handle, kind, (std::string("it is a ") + KindName(it->second.kind) + " handle").c_str());
    }
    RemoveLocked(r, handle, released);
  }
  // Release deepest first (the order RemoveLocked collected them), outside the lock.
  for (auto& object : released) object.reset();
}

void Handles::SetUserValue(Handle handle, uint32_t value) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) Fail(err::kInvalidHandle, Describe(handle) + " is not a valid handle.");
  it->second.user_value = value;
}

uint32_t Handles::UserValue(Handle handle) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find(handle);
  if (it == r.entries.end()) Fail(err::kInvalidHandle, Describe(handle) + " is not a valid handle.");
  return it->second.user_value;
}

std::vector<Handle> Handles::OwnedBy(Handle owner, Kind kind) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::vector<Handle> result;
  auto it = r.entries.find(owner);
  if (it == r.entries.end()) return result;
  for (Handle h : it->second.owned) {
    auto c = r.entries.find(h);
    if (c != r.entries.end() && c->second.kind == kind) result.push_back(h);
  }
  return result;
}

size_t Handles::LiveCount() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.entries.size();
}

}  // namespace engine::core
