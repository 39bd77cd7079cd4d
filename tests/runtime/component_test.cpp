#include "runtime/component.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "runtime/exception.h"

namespace {

// Records, when it is destroyed, what its owner listed at that moment.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, const QString& name, QStringList* log) : TComponent(owner), log_(log) { SetName(name); }
  ~Probe() override {
    QString entry = Name() + ":";
    if (Owner()) {
      entry += QStringLiteral("owned");
    } else {
      entry += QStringLiteral("free");
    }
    log_->append(entry);
  }
  void Loaded() override {
    TComponent::Loaded();
    log_->append(Name() + ":loaded:" + (ComponentStateHas(csReading) ? "reading" : "read"));
  }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && c == watched) {
      log_->append(Name() + ":forget:" + c->Name());
      watched = nullptr;
    }
  }
  TComponent* watched = nullptr;

 private:
  QStringList* log_;
};

TEST(Component, OwnerDestroysItsComponentsEachHavingLeftTheListFirst) {
  QStringList log;
  auto form = std::make_unique<TComponent>(nullptr);
  form->SetName("fmReindex");
  auto* con = new Probe(form.get(), "con", &log);
  new Probe(form.get(), "tb", &log);
  new Probe(con, "inner", &log);
  ASSERT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(0), con);
  EXPECT_EQ(form->FindComponent("TB")->Name(), QStringLiteral("tb"));
  EXPECT_EQ(form->FindComponent("nothing"), nullptr);
  EXPECT_EQ(form->FindComponent(""), nullptr);
  EXPECT_THROW(form->Components(2), ERangeError);

  form.reset();
  // Last first; every component had left its owner's list when its destructor ran, and a
  // component's own destructor runs before it destroys what it owns.
  EXPECT_EQ(log, (QStringList{"tb:free", "con:free", "inner:free"}));
}

TEST(Component, ComponentDestroyedAloneLeavesItsOwnersList) {
  QStringList log;
  TComponent form(nullptr);
  auto* a = new Probe(&form, "a", &log);
  auto* b = new Probe(&form, "b", &log);
  b->watched = a;
  b->FreeNotification(a);
  delete a;
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), b);
  EXPECT_EQ(b->watched, nullptr);
  EXPECT_EQ(log, (QStringList{"a:owned", "b:forget:a"}));
}

TEST(Component, NamesMustBeIdentifiersAndUniqueWithinTheOwner) {
  QStringList log;
  TComponent form(nullptr);
  Probe a(nullptr, "", &log);
  form.InsertComponent(&a);
  a.SetName("tb");
  auto* b = new Probe(&form, "q", &log);
  for (const char* bad : {"1x", "a b", "a-b", "ä"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(b->SetName(QString::fromUtf8(bad)), EComponentError);
  }
  try {
    b->SetName("TB");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("A component named TB already exists"));
  }
  EXPECT_EQ(b->Name(), QStringLiteral("q"));
  b->SetName("_q2");
  b->SetName("");
  EXPECT_EQ(b->Name(), QString());
  form.RemoveComponent(&a);  // a lives on the stack; it must not be destroyed by form
  EXPECT_EQ(a.Owner(), nullptr);
  EXPECT_EQ(form.ComponentCount(), 1);
}

TEST(Component, LoadingFlagsAndLoadedFollowTheTree) {
  QStringList log;
  Probe root(nullptr, "root", &log);
  new Probe(&root, "child", &log);
  root.BeginLoading();
  EXPECT_TRUE(root.ComponentStateHas(csLoading));
  EXPECT_TRUE(root.Components(0)->ComponentStateHas(csReading));
  root.EndLoading();
  EXPECT_FALSE(root.ComponentStateHas(csLoading));
  EXPECT_FALSE(root.Components(0)->ComponentStateHas(csLoading));
  EXPECT_EQ(log.mid(0, 2), (QStringList{"root:loaded:read", "child:loaded:read"}));
  root.SetDesigning(true);
  EXPECT_TRUE(root.Components(0)->ComponentStateHas(csDesigning));
  EXPECT_FALSE(root.ComponentStateHas(csDestroying));
}

TEST(Component, OwnershipMovesBetweenOwners) {
  TComponent first(nullptr), second(nullptr);
  auto* c = new TComponent(&first);
  second.InsertComponent(c);
  EXPECT_EQ(first.ComponentCount(), 0);
  EXPECT_EQ(second.ComponentCount(), 1);
  EXPECT_EQ(c->Owner(), &second);
}

}  // namespace
