#include "runtime/classes.h"

#include <algorithm>

#include "runtime/exception.h"
#include "runtime/text.h"

namespace {

bool isBlank(QChar c) { return c.unicode() >= 1 && c.unicode() <= 32; }

QString quoted(const QString& s, QChar quote) {
  QString r;
  r.reserve(s.size() + 2);
  r += quote;
  for (QChar c : s) {
    r += c;
    if (c == quote) r += quote;
  }
  r += quote;
  return r;
}

}  // namespace

int TStringList::compare(const QString& a, const QString& b) const {
  return caseSensitive_ ? QString::compare(a, b, Qt::CaseSensitive) : CompareTextAZ(a, b);
}

void TStringList::checkIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

QString TStringList::Strings(int index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

void TStringList::SetStrings(int index, const QString& s) {
  if (sorted_) throw EStringListError(QStringLiteral("Operation not allowed on sorted list"));
  checkIndex(index);
  items_[static_cast<size_t>(index)].text = s;
  changed();
}

void* TStringList::Objects(int index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::SetObjects(int index, void* object) {
  checkIndex(index);
  items_[static_cast<size_t>(index)].object = object;
}

int TStringList::Add(const QString& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const QString& s, void* object) {
  int index = Count();
  if (sorted_) {
    if (Find(s, index)) {
      switch (duplicates_) {
        case dupIgnore:
          return index;
        case dupError:
          throw EStringListError(QStringLiteral("Duplicates not allowed"));
        case dupAccept:
          while (index < Count() && compare(items_[static_cast<size_t>(index)].text, s) == 0) ++index;
          break;
      }
    }
  }
  insertItem(index, s, object);
  return index;
}

void TStringList::AddStrings(const QStringList& strings) {
  inUpdate([&] {
    for (const QString& s : strings) Add(s);
  });
}

void TStringList::inUpdate(const std::function<void()>& change) {
  BeginUpdate();
  try {
    change();
  } catch (...) {
    // The bracket is closed before the failure goes on, so that a change made before it is
    // still reported; a failure of that report replaces the first one.
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStringList::insertItem(int index, const QString& s, void* object) {
  items_.insert(items_.begin() + index, Item{s, object});
  changed();
}

void TStringList::changed() {
  if (updateCount_ > 0) {
    changedInUpdate_ = true;
    return;
  }
  if (OnChange) OnChange();
}

void TStringList::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0 && changedInUpdate_) {
    changedInUpdate_ = false;
    if (OnChange) OnChange();
  }
}

void TStringList::Insert(int index, const QString& s) {
  if (sorted_) throw EStringListError(QStringLiteral("Operation not allowed on sorted list"));
  if (index < 0 || index > Count()) throw EStringListError(QStringLiteral("List index out of bounds (%1)").arg(index));
  insertItem(index, s, nullptr);
}

void TStringList::Delete(int index) {
  checkIndex(index);
  items_.erase(items_.begin() + index);
  changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  items_.clear();
  changed();
}

void TStringList::Exchange(int a, int b) {
  checkIndex(a);
  checkIndex(b);
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
  changed();
}

bool TStringList::Find(const QString& s, int& index) const {
  // Binary search for the first entry not less than s.
  int lo = 0, hi = Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (compare(items_[static_cast<size_t>(mid)].text, s) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = lo;
  return lo < Count() && compare(items_[static_cast<size_t>(lo)].text, s) == 0;
}

int TStringList::IndexOf(const QString& s) const {
  if (sorted_) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i) {
    if (compare(items_[static_cast<size_t>(i)].text, s) == 0) return i;
  }
  return -1;
}

void TStringList::Sort() {
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return compare(a.text, b.text) < 0; });
  changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool cs) {
  if (cs == caseSensitive_) return;
  caseSensitive_ = cs;
  if (sorted_) Sort();
}

QString TStringList::DelimitedText() const {
  if (Count() == 1 && items_[0].text.isEmpty()) return QString(2, quoteChar_);
  QString r;
  for (int i = 0; i < Count(); ++i) {
    const QString& s = items_[static_cast<size_t>(i)].text;
    bool needsQuotes = s.contains(quoteChar_) || s.contains(delimiter_);
    if (!strictDelimiter_ && !needsQuotes) needsQuotes = std::any_of(s.begin(), s.end(), isBlank);
    if (i > 0) r += delimiter_;
    r += needsQuotes ? quoted(s, quoteChar_) : s;
  }
  return r;
}

void TStringList::SetDelimitedText(const QString& text) {
  inUpdate([&] { setDelimitedText(text); });
}

void TStringList::setDelimitedText(const QString& text) {
  Clear();
  const qsizetype n = text.size();
  qsizetype p = 0;
  auto skipBlanks = [&] {
    if (!strictDelimiter_)
      while (p < n && isBlank(text[p])) ++p;
  };
  skipBlanks();
  while (p < n) {
    QString field;
    if (text[p] == quoteChar_) {
      // Quoted field: up to the matching quote; a doubled quote stands for one. An unclosed
      // quote runs to the end of the text.
      ++p;
      while (p < n) {
        if (text[p] == quoteChar_) {
          if (p + 1 < n && text[p + 1] == quoteChar_) {
            field += quoteChar_;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        field += text[p++];
      }
    } else {
      const qsizetype start = p;
      while (p < n && text[p] != delimiter_ && (strictDelimiter_ || !isBlank(text[p]))) ++p;
      field = text.mid(start, p - start);
    }
    Add(field);
    skipBlanks();
    if (p < n && text[p] == delimiter_) {
      if (p + 1 == n) Add(QString());
      ++p;
      skipBlanks();
    }
  }
}

QString TStringList::Text() const {
  QString r;
  for (const Item& item : items_) {
    r += item.text;
    r += QStringLiteral("\r\n");
  }
  return r;
}

void TStringList::SetText(const QString& text) {
  inUpdate([&] { setText(text); });
}

void TStringList::setText(const QString& text) {
  Clear();
  const qsizetype n = text.size();
  qsizetype p = 0;
  while (p < n) {
    const qsizetype start = p;
    while (p < n && text[p] != u'\r' && text[p] != u'\n') ++p;
    Add(text.mid(start, p - start));
    if (p < n && text[p] == u'\r') ++p;
    if (p < n && text[p] == u'\n') ++p;
  }
}

QString TStringList::Names(int index) const {
  const QString s = Strings(index);
  const qsizetype eq = s.indexOf(u'=');
  return eq < 0 ? QString() : s.left(eq);
}

int TStringList::IndexOfName(const QString& name) const {
  for (int i = 0; i < Count(); ++i) {
    const QString& s = items_[static_cast<size_t>(i)].text;
    const qsizetype eq = s.indexOf(u'=');
    if (eq >= 0 && compare(s.left(eq), name) == 0) return i;
  }
  return -1;
}

QString TStringList::Values(const QString& name) const {
  const int i = IndexOfName(name);
  if (i < 0) return QString();
  const QString& s = items_[static_cast<size_t>(i)].text;
  return s.mid(s.indexOf(u'=') + 1);
}

void TStringList::SetValues(const QString& name, const QString& value) {
  inUpdate([&] { setValues(name, value); });
}

void TStringList::setValues(const QString& name, const QString& value) {
  const int i = IndexOfName(name);
  if (value.isEmpty()) {
    if (i >= 0) Delete(i);
    return;
  }
  const QString entry = name + u'=' + value;
  if (i < 0) {
    Add(entry);
  } else if (sorted_) {
    Delete(i);
    Add(entry);
  } else {
    items_[static_cast<size_t>(i)].text = entry;
    changed();
  }
}

QStringList TStringList::ToQStringList() const {
  QStringList r;
  r.reserve(Count());
  for (const Item& item : items_) r << item.text;
  return r;
}
