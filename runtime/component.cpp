#include "runtime/component.h"

#include <algorithm>
#include <typeinfo>

#include "runtime/exception.h"
#include "runtime/text.h"

TPersistent::~TPersistent() = default;

QString TPersistent::ClassName() const { return QString::fromLatin1(typeid(*this).name()); }

void TPersistent::Assign(const TPersistent& source) { source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent& dest) const {
  throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(ClassName(), dest.ClassName()));
}

namespace {

bool isIdentifier(const QString& s) {
  if (s.isEmpty()) return false;
  auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; };
  if (!letter(s[0])) return false;
  return std::all_of(s.begin(), s.end(), [&](QChar c) { return letter(c) || (c >= u'0' && c <= u'9'); });
}

void eraseOne(std::vector<TComponent*>& v, TComponent* c) {
  auto it = std::find(v.begin(), v.end(), c);
  if (it != v.end()) v.erase(it);
}

}  // namespace

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  state_ |= csDestroying;
  // Tell everybody holding a reference to this component that it goes away.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    eraseOne(other->freeNotifies_, this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  // Each leaves the list before it is destroyed, so that its destructor never sees itself listed.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    child->removeFromOwner();
    delete child;
  }
}

void TComponent::SetName(const QString& name) {
  if (name == name_) return;
  validateName(name);
  name_ = name;
}

void TComponent::validateName(const QString& name) const {
  if (name.isEmpty()) return;
  if (!isIdentifier(name)) throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(name));
  if (owner_) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this)
      throw EComponentError(QStringLiteral("A component named %1 already exists").arg(name));
  }
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw ERangeError(QStringLiteral("List index out of bounds (%1)").arg(index));
  return components_[static_cast<size_t>(index)];
}

TComponent* TComponent::FindComponent(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  for (TComponent* c : components_) {
    if (SameTextAZ(c->name_, name)) return c;
  }
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->owner_ == this) return;
  if (!component->name_.isEmpty() && FindComponent(component->name_))
    throw EComponentError(QStringLiteral("A component named %1 already exists").arg(component->name_));
  if (component->owner_) component->owner_->RemoveComponent(component);
  component->insertInto(this);
}

void TComponent::insertInto(TComponent* owner) {
  owner_ = owner;
  owner->components_.push_back(this);
  owner->Notification(this, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->owner_ != this) return;
  component->removeFromOwner();
}

void TComponent::removeFromOwner() {
  TComponent* owner = owner_;
  if (!owner) return;
  owner->Notification(this, opRemove);
  eraseOne(owner->components_, this);
  owner_ = nullptr;
}

void TComponent::BeginLoading() {
  state_ |= csLoading | csReading;
  for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::EndLoading() {
  state_ &= ~static_cast<unsigned>(csReading);
  Loaded();
  for (TComponent* c : components_) c->EndLoading();
}

void TComponent::Loaded() { state_ &= ~static_cast<unsigned>(csLoading); }

void TComponent::SetDesigning(bool designing) {
  if (designing)
    state_ |= csDesigning;
  else
    state_ &= ~static_cast<unsigned>(csDesigning);
  for (TComponent* c : components_) c->SetDesigning(designing);
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
    freeNotifies_.push_back(component);
    component->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  eraseOne(freeNotifies_, component);
  eraseOne(component->freeNotifies_, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  // An owned component going away also goes away for the components of this owner, which may
  // reference their siblings.
  if (operation == opRemove && component) {
    for (TComponent* c : components_) {
      if (c != component) c->Notification(component, opRemove);
    }
  }
}
