// TForm: a top-level window. It carries the window's caption, its client size, border and
// title-bar buttons, its start position, the control that receives the focus when it shows,
// and the creation and close handlers. Sizes are given at the design resolution
// (PixelsPerInch, 96 unless the definition says otherwise) and scaled to the screen's
// resolution when the definition has been read (Loaded). Handlers run behind the application's
// default exception handler. User-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "runtime/ui/win_control.h"

class FormWidget;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  QString Caption() const;
  void SetCaption(const QString& caption);

  // Size of the client area in pixels; with a single fixed border the window has exactly
  // this size and cannot be resized.
  void SetClientWidth(int width);
  void SetClientHeight(int height);

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons icons);

  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }

  // The control that has the focus when the window is shown.
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control);

  // The resolution the window's sizes are expressed in. Before Loaded it is the design
  // resolution; Loaded scales every size to the screen and then reports the screen's value
  // (unless Scaled is off, in which case nothing is scaled and the design value stays).
  int PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int value) { pixelsPerInch_ = value; }
  bool Scaled() const { return scaled_; }
  void SetScaled(bool value) { scaled_ = value; }

  // End of the window definition: scales positions and sizes from the design resolution to
  // the screen's.
  void Loaded() override;

  // Runs OnCreate. The application's CreateForm calls it once the derived window's
  // constructor has built the controls.
  void AfterConstruction();

  // Shows the window (centred the first time when Position is poScreenCenter) and gives the
  // focus to ActiveControl.
  void Show();
  void Hide();
  // Asks the window to close, exactly as the close box does: OnClose decides what happens;
  // closing the application's main form ends the message loop.
  void Close();

  // Moves the focus to the next control in tab order (or the previous one), wrapping around,
  // as the Tab and Shift+Tab keys do.
  bool SelectNext(bool forward);

  std::function<void(TComponent* sender)> OnCreate;
  std::function<void(TComponent* sender, TCloseAction& action)> OnClose;

 private:
  FormWidget* formWidget() const;
  void ApplyWindowFlags();
  void ApplyClientSize();
  bool CloseQuery();
  void ScaleControls(TWinControl* container, int multiplier, int divider);

  int clientWidth_ = 0;
  int clientHeight_ = 0;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TPosition position_ = poDesigned;
  TWinControl* activeControl_ = nullptr;  // borrowed: one of the window's own controls
  int pixelsPerInch_ = 96;
  bool scaled_ = true;
  bool shownOnce_ = false;
};
