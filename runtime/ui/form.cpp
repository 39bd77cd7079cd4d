#include "runtime/ui/form.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

#include "runtime/ui/application.h"
#include "runtime/ui/screen.h"
#include "runtime/ui/widgets.h"

TForm::TForm(TComponent* owner) : TWinControl(owner, new FormWidget()) {
  SetVisible(false);
  formWidget()->setAutoFillBackground(true);
  formWidget()->onCloseQuery = [this] { return CloseQuery(); };
  formWidget()->onFocusNext = [this](bool forward) { return SelectNext(forward); };
  ApplyWindowFlags();
  FontChanged();
}

TForm::~TForm() {
  // The controls go first, while the window they sit in still exists.
  DestroyComponents();
  if (Application != nullptr) Application->FormDestroyed(this);
}

FormWidget* TForm::formWidget() const { return static_cast<FormWidget*>(Widget()); }

QString TForm::Caption() const { return Widget() != nullptr ? Widget()->windowTitle() : QString(); }

void TForm::SetCaption(const QString& caption) {
  if (QWidget* w = Widget()) w->setWindowTitle(caption);
}

void TForm::SetClientWidth(int width) {
  clientWidth_ = width;
  ApplyClientSize();
}

void TForm::SetClientHeight(int height) {
  clientHeight_ = height;
  ApplyClientSize();
}

void TForm::ApplyClientSize() {
  QWidget* w = Widget();
  if (w == nullptr) return;
  if (borderStyle_ == bsSizeable) {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w->resize(clientWidth_, clientHeight_);
  } else {
    w->setFixedSize(clientWidth_, clientHeight_);
  }
  AlignControls();
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  borderStyle_ = style;
  ApplyWindowFlags();
  ApplyClientSize();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  borderIcons_ = icons;
  ApplyWindowFlags();
}

void TForm::ApplyWindowFlags() {
  QWidget* w = Widget();
  if (w == nullptr) return;
  Qt::WindowFlags flags = Qt::Window;
  if (borderStyle_ == bsNone) {
    flags |= Qt::FramelessWindowHint;
  } else {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (borderIcons_ & biSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (borderIcons_ & biMinimize) flags |= Qt::WindowMinimizeButtonHint;
    // A window with a fixed border cannot be maximised, whatever its icons say.
    if ((borderIcons_ & biMaximize) && borderStyle_ == bsSizeable)
      flags |= Qt::WindowMaximizeButtonHint;
  }
  const bool wasVisible = w->isVisible();
  w->setWindowFlags(flags);
  if (wasVisible) w->show();
}

void TForm::SetActiveControl(TWinControl* control) {
  activeControl_ = control;
  if (control != nullptr && control->Widget() != nullptr && Widget() != nullptr &&
      Widget()->isVisible())
    control->Widget()->setFocus(Qt::OtherFocusReason);
}

void TForm::Loaded() {
  TWinControl::Loaded();
  const int screenPpi = Screen->PixelsPerInch();
  if (!scaled_ || pixelsPerInch_ == screenPpi || pixelsPerInch_ <= 0) return;
  const int designPpi = pixelsPerInch_;
  clientWidth_ = clientWidth_ * screenPpi / designPpi;
  clientHeight_ = clientHeight_ * screenPpi / designPpi;
  ScaleControls(this, screenPpi, designPpi);
  pixelsPerInch_ = screenPpi;
  ApplyClientSize();
}

void TForm::ScaleControls(TWinControl* container, int multiplier, int divider) {
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* c = container->Controls(i);
    c->SetBounds(c->Left() * multiplier / divider, c->Top() * multiplier / divider,
                 c->Width() * multiplier / divider, c->Height() * multiplier / divider);
    if (auto* inner = dynamic_cast<TWinControl*>(c)) ScaleControls(inner, multiplier, divider);
  }
}

void TForm::AfterConstruction() {
  if (OnCreate) RunHandler(this, [this] { OnCreate(this); });
}

void TForm::Show() {
  QWidget* w = Widget();
  if (w == nullptr) return;
  if (!shownOnce_ && position_ == poScreenCenter) {
    QScreen* screen = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      w->winId();  // the native window knows its frame, which is centred with the client area
      const QRect area = screen->geometry();
      const QSize size = w->frameGeometry().size();
      w->move(area.x() + (area.width() - size.width()) / 2,
              area.y() + (area.height() - size.height()) / 2);
    }
  }
  shownOnce_ = true;
  TControl::SetVisible(true);
  w->show();
  w->activateWindow();
  if (activeControl_ != nullptr && activeControl_->Widget() != nullptr)
    activeControl_->Widget()->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm::Hide() {
  TControl::SetVisible(false);
  if (QWidget* w = Widget()) w->hide();
}

void TForm::Close() {
  if (QWidget* w = Widget()) w->close();
}

bool TForm::SelectNext(bool forward) {
  std::vector<TWinControl*> stops;
  CollectTabStops(stops);
  if (stops.empty()) return false;
  QWidget* focus = Widget() != nullptr ? Widget()->focusWidget() : nullptr;
  int current = -1;
  for (int i = 0; i < static_cast<int>(stops.size()); ++i) {
    QWidget* w = stops[static_cast<size_t>(i)]->Widget();
    if (focus != nullptr && (focus == w || w->isAncestorOf(focus))) current = i;
  }
  const int count = static_cast<int>(stops.size());
  const int next = current < 0 ? (forward ? 0 : count - 1) : (current + (forward ? 1 : count - 1)) % count;
  stops[static_cast<size_t>(next)]->Widget()->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

bool TForm::CloseQuery() {
  TCloseAction action = caHide;
  // A close handler that failed has not done its work: the window stays open.
  if (OnClose && !RunHandler(this, [this, &action] { OnClose(this, action); })) return false;
  if (action == caNone) return false;
  TControl::SetVisible(false);
  if (Application != nullptr && Application->MainForm() == this) {
    Application->Terminate();
    return true;
  }
  switch (action) {
    case caMinimize:
      if (QWidget* w = Widget()) w->showMinimized();
      TControl::SetVisible(true);
      return false;
    case caFree: {
      // Released once the close event has been handled, never from inside it.
      QPointer<QWidget> alive = Widget();
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [this, alive] {
            if (alive) delete this;
          },
          Qt::QueuedConnection);
      return true;
    }
    default:
      return true;
  }
}
