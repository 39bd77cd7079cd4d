#include "runtime/ui/panel.h"

#include "runtime/ui/widgets.h"

TPanel::TPanel(TComponent* owner) : TWinControl(owner, new ContainerWidget()) {
  Widget()->setAutoFillBackground(true);
  SetBounds(0, 0, 185, 41);
  SetBevelOuter(bvRaised);
  FontChanged();
}

void TPanel::SetBevelOuter(TPanelBevel bevel) {
  bevelOuter_ = bevel;
  auto* frame = static_cast<ContainerWidget*>(Widget());
  if (frame == nullptr) return;
  switch (bevel) {
    case bvNone:
      frame->setFrameStyle(QFrame::NoFrame);
      break;
    case bvLowered:
      frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      break;
    case bvRaised:
      frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
      break;
  }
}
