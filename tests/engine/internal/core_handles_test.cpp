// The handle registry: kinds, owners, stale handles and release order.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "engine/core/error.h"
#include "engine/core/handles.h"

namespace {

using engine::EngineError;
using engine::core::Handles;
using engine::core::Kind;

struct Probe {
  explicit Probe(std::vector<int>* log, int id) : log(log), id(id) {}
  ~Probe() { log->push_back(id); }
  std::vector<int>* log;
  int id;
};

engine::ErrorCode CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.code();
  }
  return 0;
}

TEST(CoreHandles, AHandleGivesBackItsObjectOnlyForItsKind) {
  std::vector<int> log;
  auto p = std::make_shared<Probe>(&log, 1);
  auto h = Handles::Add(Kind::kTable, p);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(Handles::Get<Probe>(h, Kind::kTable).get(), p.get());
  EXPECT_EQ(Handles::GetAny<Probe>(h, {Kind::kCursor, Kind::kTable}).get(), p.get());
  const struct {
    std::function<void()> call;
    engine::ErrorCode code;
  } cases[] = {
      {[&] { Handles::Get<Probe>(h, Kind::kConnection); }, 5024},
      {[&] { Handles::Get<Probe>(h, Kind::kStatement); }, 5106},
      {[&] { Handles::Get<Probe>(h, Kind::kIndexOrder); }, 5901},
      {[&] { Handles::Get<Probe>(0, Kind::kTable); }, 5901},
      {[&] { Handles::Get<Probe>(0xFFFFFFFFu, Kind::kTable); }, 5901},
      {[&] { Handles::Get<int>(h, Kind::kTable); }, 5997},
      {[&] { Handles::Remove(h, Kind::kCursor); }, 5901},
  };
  for (const auto& c : cases) EXPECT_EQ(CodeOf(c.call), c.code);
  Handles::Remove(h, Kind::kTable);
  EXPECT_EQ(CodeOf([&] { Handles::Get<Probe>(h, Kind::kTable); }), 5901u);
  EXPECT_EQ(CodeOf([&] { Handles::Remove(h, Kind::kTable); }), 5901u);
}

TEST(CoreHandles, RemovingAnOwnerReleasesWhatItOwnsDeepestFirst) {
  std::vector<int> log;
  auto conn = Handles::Add(Kind::kConnection, std::make_shared<Probe>(&log, 1));
  auto table = Handles::Add(Kind::kTable, std::make_shared<Probe>(&log, 2), conn);
  auto order = Handles::Add(Kind::kIndexOrder, std::make_shared<Probe>(&log, 3), table);
  auto cursor = Handles::Add(Kind::kCursor, std::make_shared<Probe>(&log, 4), conn);
  EXPECT_EQ(Handles::OwnedBy(conn, Kind::kTable), std::vector<engine::core::Handle>{table});
  EXPECT_EQ(Handles::OwnerOf(order), table);
  Handles::Remove(conn, Kind::kConnection);
  EXPECT_EQ(log, (std::vector<int>{4, 3, 2, 1}));
  EXPECT_FALSE(Handles::IsLive(conn, Kind::kConnection));
  EXPECT_FALSE(Handles::IsLive(table, Kind::kTable));
  EXPECT_FALSE(Handles::IsLive(cursor, Kind::kCursor));
  EXPECT_EQ(CodeOf([&] { Handles::KindOf(order); }), 5901u);
  EXPECT_EQ(CodeOf([&] { Handles::Add(Kind::kTable, std::make_shared<Probe>(&log, 5), conn); }), 5901u)
      << "a released owner cannot take new handles";
}

TEST(CoreHandles, AnObjectInUseOutlivesItsHandle) {
  std::vector<int> log;
  auto h = Handles::Add(Kind::kStatement, std::make_shared<Probe>(&log, 7));
  auto held = Handles::Get<Probe>(h, Kind::kStatement);
  Handles::Remove(h, Kind::kStatement);
  EXPECT_TRUE(log.empty());
  held.reset();
  EXPECT_EQ(log, std::vector<int>{7});
}

// A thread's look-up of the handle it used last is served without the registry's lock; what it
// remembers must never keep an object alive nor outlive a removal, whoever removes the handle.
TEST(CoreHandles, ALookUpJustMadeDoesNotOutliveARemoval) {
  std::vector<int> log;
  auto conn = Handles::Add(Kind::kConnection, std::make_shared<Probe>(&log, 1));
  auto table = Handles::Add(Kind::kTable, std::make_shared<Probe>(&log, 2), conn);
  ASSERT_NE(Handles::Find<Probe>(table, {Kind::kTable}), nullptr);
  ASSERT_NE(Handles::Get<Probe>(table, Kind::kTable), nullptr);
  Handles::Remove(conn, Kind::kConnection);  // takes the table with it
  EXPECT_EQ(log, (std::vector<int>{2, 1})) << "a remembered look-up keeps nothing alive";
  EXPECT_EQ(Handles::Find<Probe>(table, {Kind::kTable}), nullptr);
  EXPECT_EQ(CodeOf([&] { Handles::Get<Probe>(table, Kind::kTable); }), 5901u);

  // An object still in use by its caller outlives its handle; the handle is gone all the same.
  auto other = Handles::Add(Kind::kCursor, std::make_shared<Probe>(&log, 3));
  auto inUse = Handles::Get<Probe>(other, Kind::kCursor);
  EXPECT_EQ(Handles::Find<Probe>(other, {Kind::kTable}), nullptr) << "the kind is checked on a remembered handle";
  EXPECT_EQ(CodeOf([&] { Handles::Get<int>(other, Kind::kCursor); }), 5997u) << "and so is the type";
  std::thread([&] { Handles::Remove(other, Kind::kCursor); }).join();
  EXPECT_EQ(Handles::Find<Probe>(other, {Kind::kCursor}), nullptr);
  EXPECT_EQ(CodeOf([&] { Handles::Get<Probe>(other, Kind::kCursor); }), 5901u);
  inUse.reset();
  EXPECT_EQ(log, (std::vector<int>{2, 1, 3}));
}

TEST(CoreHandles, HandlesAreNeverReused) {
  std::vector<int> log;
  auto a = Handles::Add(Kind::kTable, std::make_shared<Probe>(&log, 1));
  Handles::Remove(a, Kind::kTable);
  auto b = Handles::Add(Kind::kTable, std::make_shared<Probe>(&log, 2));
  EXPECT_NE(a, b);
  Handles::Remove(b, Kind::kTable);
}

}  // namespace
