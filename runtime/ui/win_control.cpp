#include "runtime/ui/win_control.h"

#include <algorithm>

#include "runtime/ui/widgets.h"

TWinControl::TWinControl(TComponent* owner, QWidget* widget) : TControl(owner, widget) {
  if (auto* container = dynamic_cast<ContainerWidget*>(widget))
    container->onResize = [this] { AlignControls(); };
}

TWinControl::~TWinControl() {
  // The children die with their owner, not with their parent: only forget them here. Their
  // widgets go with ours (Qt releases child widgets), which their QPointers notice.
  for (TControl* child : controls_) child->parent_ = nullptr;
  controls_.clear();
  tabList_.clear();
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return controls_[static_cast<size_t>(index)];
}

int TWinControl::TabOrder() const {
  TWinControl* parent = Parent();
  if (parent == nullptr) return -1;
  auto& list = parent->tabList_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  TWinControl* parent = Parent();
  if (parent == nullptr) return;
  auto& list = parent->tabList_;
  list.erase(std::find(list.begin(), list.end(), this));
  order = std::clamp(order, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + order, this);
}

void TWinControl::CollectTabStops(std::vector<TWinControl*>& stops) const {
  for (TWinControl* child : tabList_) {
    QWidget* w = child->Widget();
    if (w == nullptr || !child->Visible() || !child->Enabled()) continue;
    if (w->focusPolicy() & Qt::TabFocus) stops.push_back(child);
    child->CollectTabStops(stops);
  }
}

int TWinControl::ClientWidth() const {
  QWidget* w = ClientWidget();
  return w != nullptr ? w->width() : Width();
}

int TWinControl::ClientHeight() const {
  QWidget* w = ClientWidget();
  return w != nullptr ? w->height() : Height();
}

void TWinControl::AlignControls() {
  int left = 0;
  int top = 0;
  int right = ClientWidth();
  int bottom = ClientHeight();
  auto place = [](TControl* c, int l, int t, int w, int h) {
    c->left_ = l;
    c->top_ = t;
    c->width_ = std::max(w, 0);
    c->height_ = std::max(h, 0);
    if (QWidget* widget = c->Widget()) widget->setGeometry(c->left_, c->top_, c->width_, c->height_);
  };
  // Edges first, in child order, then the client-aligned controls over the rest.
  for (TControl* c : controls_) {
    if (!c->Visible()) continue;
    switch (c->Align()) {
      case alTop:
        place(c, left, top, right - left, c->Height());
        top += c->Height();
        break;
      case alBottom:
        place(c, left, bottom - c->Height(), right - left, c->Height());
        bottom -= c->Height();
        break;
      case alLeft:
        place(c, left, top, c->Width(), bottom - top);
        left += c->Width();
        break;
      case alRight:
        place(c, right - c->Width(), top, c->Width(), bottom - top);
        right -= c->Width();
        break;
      default:
        break;
    }
  }
  for (TControl* c : controls_)
    if (c->Visible() && c->Align() == alClient) place(c, left, top, right - left, bottom - top);
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* child : controls_)
    if (child->ParentFont()) child->FollowParentFont();
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
    tabList_.push_back(windowed);
  }
}

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), control), tabList_.end());
}
