#include "runtime/ui/button.h"

#include <QPushButton>

#include "runtime/ui/application.h"

TButton::TButton(TComponent* owner) : TWinControl(owner, new QPushButton()) {
  SetBounds(0, 0, 75, 25);
  QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked, Widget(),
                   [this] { Click(); });
  FontChanged();
}

QString TButton::Caption() const {
  auto* button = static_cast<QPushButton*>(Widget());
  return button != nullptr ? button->text() : QString();
}

void TButton::SetCaption(const QString& caption) {
  if (auto* button = static_cast<QPushButton*>(Widget())) button->setText(caption);
}

void TButton::Click() {
  if (OnClick) RunHandler(this, [this] { OnClick(this); });
}
