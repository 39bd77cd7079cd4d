// The Qt widget classes behind the container controls. ContainerWidget tells its control when
// its size changed so that aligned children are re-arranged; FormWidget is the top-level
// window of a form and hands the close request and the first show to the form.
// Internal to runtime/ui. User-interface thread only.
#pragma once

#include <QCloseEvent>
#include <QFrame>
#include <QResizeEvent>
#include <QShowEvent>
#include <functional>

class ContainerWidget : public QFrame {
 public:
  using QFrame::QFrame;
  std::function<void()> onResize;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    if (onResize) onResize();
  }
};

class FormWidget : public ContainerWidget {
 public:
  using ContainerWidget::ContainerWidget;
  // Returns whether the window may close; runs the form's close handling.
  std::function<bool()> onCloseQuery;
  // Moves the focus to the next (or previous) control in tab order; returns whether it did.
  std::function<bool(bool forward)> onFocusNext;

 protected:
  bool focusNextPrevChild(bool next) override {
    if (onFocusNext) return onFocusNext(next);
    return ContainerWidget::focusNextPrevChild(next);
  }
  void closeEvent(QCloseEvent* event) override {
    if (!onCloseQuery || onCloseQuery())
      event->accept();
    else
      event->ignore();
  }
};
