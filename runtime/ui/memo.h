// TMemo: a multi-line text control, and TMemoLines, the list of its lines. A line is a
// paragraph of text: with word wrap on it may take several rows on screen and is still one
// line. A memo with no text has no lines; appending an empty line gives one blank line.
// Appending keeps the last line in view. User-interface thread only.
#pragma once

#include <QString>

#include "runtime/ui/win_control.h"

class QPlainTextEdit;
class TMemo;

class TMemoLines {
 public:
  // Number of lines.
  int Count() const;
  // The line at `index` (0-based). Throws EStringListError when out of range.
  QString Strings(int index) const;
  // Replaces the line at `index`. Throws EStringListError when out of range.
  void SetStrings(int index, const QString& text);
  // Appends `text` as a new last line; returns its index.
  int Add(const QString& text);
  void Clear();
  // The whole text, every line followed by a carriage return and a line feed.
  QString Text() const;
  // Replaces every line; the text is split at CR LF, LF or CR, and a line break at the very
  // end does not start another line.
  void SetText(const QString& text);

 private:
  friend class TMemo;
  explicit TMemoLines(TMemo* memo) : memo_(memo) {}
  QPlainTextEdit* edit() const;
  void CheckIndex(int index) const;

  TMemo* memo_;
  // The document of an edit control always holds at least one (empty) paragraph, so "no
  // lines" and "one empty line" look alike there; this flag tells them apart.
  bool empty_ = true;
};

class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);

  TMemoLines* Lines() { return &lines_; }
  const TMemoLines* Lines() const { return &lines_; }

  void Clear() { lines_.Clear(); }

  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);

  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle style);

  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);

 protected:
  void ApplyColors() override;

 private:
  friend class TMemoLines;
  QPlainTextEdit* edit() const;

  TMemoLines lines_;
  bool readOnly_ = false;
  TScrollStyle scrollBars_ = ssNone;
  bool wordWrap_ = true;
  bool changingText_ = false;  // true while the lines are changed through TMemoLines
};
