// Components: objects with an owner and a name. An owner destroys the components it owns when
// it is destroyed; each of them leaves the owner's list before it is destroyed, so that while an
// owned component's destructor runs, the owner no longer lists it. A component destroyed on its
// own leaves its owner's list. Components are not copyable.
//
// Components that hold references to others ask to be notified when those are destroyed
// (FreeNotification); Notification(c, opRemove) then tells them to drop the reference.
//
// Threading: a component tree belongs to one thread at a time; nothing here is synchronised.
#pragma once

#include <QString>
#include <vector>

class TPersistent {
 public:
  TPersistent() = default;
  virtual ~TPersistent();
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  // Copies source into this object. The base class knows no pair of types and raises
  // EConvertError "Cannot assign a <source> to a <this>".
  virtual void Assign(const TPersistent& source);
  // The name of the class, used in messages.
  virtual QString ClassName() const;

 protected:
  // Lets a descendant assign itself to dest when dest does not know its type; the default
  // raises the same EConvertError.
  virtual void AssignTo(TPersistent& dest) const;
};

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csDesigning = 1u << 2,
  csDestroying = 1u << 3,
};

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  // owner may be null; otherwise the new component is appended to owner's list.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  QString Name() const { return name_; }
  // Names are empty or identifiers (a letter or "_", then letters, digits or "_"), unique among
  // the components of the same owner (compared ignoring the case of a-z). Otherwise raises
  // EComponentError "'<name>' is not a valid component name" or "A component named <name>
  // already exists".
  virtual void SetName(const QString& name);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The index-th owned component; ERangeError "List index out of bounds (<index>)" outside.
  TComponent* Components(int index) const;
  // The owned component of that name (a-z case ignored), or null. The empty name finds nothing.
  TComponent* FindComponent(const QString& name) const;

  // Takes ownership of component (removing it from its previous owner), or gives it up.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Destroys every owned component now, last first. A descendant whose owned components must
  // go before its own members calls this from its destructor.
  void DestroyComponents();

  bool ComponentStateHas(TComponentStateFlag flag) const { return (state_ & flag) != 0; }
  unsigned ComponentState() const { return state_; }

  // Streaming in: BeginLoading sets csLoading and csReading; EndLoading clears csReading and
  // calls Loaded(), whose base implementation clears csLoading. Owned components follow.
  void BeginLoading();
  void EndLoading();
  void SetDesigning(bool designing);

  // Asks for Notification(this, opRemove) on component when this component is destroyed,
  // and the reverse. Pairs are dropped automatically when either side dies.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

 protected:
  // Called after all properties were read; descendants that override call the base.
  virtual void Loaded();
  // component was inserted into or is being removed from this owner, or a component this one
  // asked FreeNotification of is being destroyed.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void insertInto(TComponent* owner);
  void removeFromOwner();
  void validateName(const QString& name) const;

  TComponent* owner_ = nullptr;
  QString name_;
  unsigned state_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};
