#include "runtime/ui/label.h"

#include <QLabel>

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner, new QLabel()) {
  static_cast<QLabel*>(Widget())->setTextFormat(Qt::PlainText);
  SetBounds(0, 0, 65, 17);
  FontChanged();
}

QString TLabel::Caption() const {
  auto* label = static_cast<QLabel*>(Widget());
  return label != nullptr ? label->text() : QString();
}

void TLabel::SetCaption(const QString& caption) {
  if (auto* label = static_cast<QLabel*>(Widget())) label->setText(caption);
}
