#include "runtime/ui/memo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "runtime/exception.h"

namespace {

// Marks a change made through the lines, so the user-edit watcher leaves the flag alone.
class ChangeScope {
 public:
  explicit ChangeScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ~ChangeScope() { flag_ = saved_; }

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

QPlainTextEdit* TMemoLines::edit() const { return memo_->edit(); }

int TMemoLines::Count() const {
  QPlainTextEdit* e = edit();
  if (e == nullptr || empty_) return 0;
  return e->document()->blockCount();
}

void TMemoLines::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError(QString("List index out of bounds (%1)").arg(index));
}

QString TMemoLines::Strings(int index) const {
  CheckIndex(index);
  return edit()->document()->findBlockByNumber(index).text();
}

void TMemoLines::SetStrings(int index, const QString& text) {
  CheckIndex(index);
  ChangeScope scope(memo_->changingText_);
  QTextCursor cursor(edit()->document()->findBlockByNumber(index));
  cursor.movePosition(QTextCursor::StartOfBlock);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(text);
}

int TMemoLines::Add(const QString& text) {
  QPlainTextEdit* e = edit();
  if (e == nullptr) return -1;
  ChangeScope scope(memo_->changingText_);
  QTextCursor cursor(e->document());
  cursor.movePosition(QTextCursor::End);
  if (!empty_) cursor.insertBlock();
  cursor.insertText(text);
  empty_ = false;
  // Keep the newest line in view, as an edit control does when text is added at its end.
  e->setTextCursor(cursor);
  e->ensureCursorVisible();
  e->verticalScrollBar()->setValue(e->verticalScrollBar()->maximum());
  return Count() - 1;
}

void TMemoLines::Clear() {
  QPlainTextEdit* e = edit();
  if (e == nullptr) return;
  ChangeScope scope(memo_->changingText_);
  e->clear();
  empty_ = true;
}

QString TMemoLines::Text() const {
  QString result;
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    result += Strings(i);
    result += QStringLiteral("\r\n");
  }
  return result;
}

void TMemoLines::SetText(const QString& text) {
  Clear();
  QString normal = text;
  normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  normal.replace(QChar('\r'), QChar('\n'));
  if (normal.isEmpty()) return;
  if (normal.endsWith(QChar('\n'))) normal.chop(1);
  for (const QString& line : normal.split(QChar('\n'))) Add(line);
}

TMemo::TMemo(TComponent* owner) : TWinControl(owner, new QPlainTextEdit()), lines_(this) {
  SetColor(clWindow);
  SetBounds(0, 0, 185, 89);
  SetScrollBars(ssNone);
  SetWordWrap(true);
  QPlainTextEdit* e = edit();
  e->setUndoRedoEnabled(false);
  e->setTabChangesFocus(true);  // the Tab key moves on to the next control
  // Text typed by the user (when not read-only) makes the memo hold lines.
  QObject::connect(e, &QPlainTextEdit::textChanged, e, [this] {
    if (!changingText_) lines_.empty_ = edit()->document()->isEmpty();
  });
  FontChanged();
}

QPlainTextEdit* TMemo::edit() const { return static_cast<QPlainTextEdit*>(Widget()); }

void TMemo::SetReadOnly(bool value) {
  readOnly_ = value;
  if (QPlainTextEdit* e = edit()) e->setReadOnly(value);
}

void TMemo::SetScrollBars(TScrollStyle style) {
  scrollBars_ = style;
  QPlainTextEdit* e = edit();
  if (e == nullptr) return;
  const bool vertical = style == ssVertical || style == ssBoth;
  const bool horizontal = style == ssHorizontal || style == ssBoth;
  e->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  e->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TMemo::SetWordWrap(bool value) {
  wordWrap_ = value;
  if (QPlainTextEdit* e = edit())
    e->setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::ApplyColors() {
  TControl::ApplyColors();
  QWidget* w = Widget();
  if (w == nullptr) return;
  QPalette palette = w->palette();
  palette.setColor(QPalette::Base, ColorToQColor(Color()));
  w->setPalette(palette);
}
