// TStringList: an ordered list of texts, optionally kept sorted, with a duplicates policy for
// sorted lists, case-sensitive or a-z-insensitive comparison, and two text forms: Text (every
// line followed by CR LF) and DelimitedText (fields separated by Delimiter, quoted with
// QuoteChar where needed).
//
// DelimitedText parsing. With StrictDelimiter only the delimiter separates and blanks belong to
// the fields; without it, blanks and control characters also separate and are skipped around
// fields. A field that starts with QuoteChar runs to the matching closing quote, two quote
// characters inside standing for one. A text that ends with the delimiter has an empty last
// field; the empty text has no field.
//
// Threading: a list is used by one thread at a time.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
 public:
  TStringList() = default;

  int Count() const { return static_cast<int>(items_.size()); }
  // EStringListError "List index out of bounds (<index>)" outside 0..Count()-1.
  QString Strings(int index) const;
  // Replaces an entry; a sorted list raises EStringListError "Operation not allowed on sorted list".
  void SetStrings(int index, const QString& s);
  // The object pointer kept beside each entry (borrowed, never owned).
  void* Objects(int index) const;
  void SetObjects(int index, void* object);

  // Appends s, or inserts it at its sorted position. In a sorted list an existing equal entry
  // makes dupIgnore return that entry's index without adding, dupError raise EStringListError
  // "Duplicates not allowed", and dupAccept add it after the equal entries. Returns the index.
  int Add(const QString& s);
  int AddObject(const QString& s, void* object);
  void AddStrings(const QStringList& strings);
  // Inserts at index (0..Count()); a sorted list raises "Operation not allowed on sorted list".
  void Insert(int index, const QString& s);
  void Delete(int index);
  void Clear();
  void Exchange(int a, int b);

  // Index of the first entry equal to s under the list's comparison, -1 when none.
  int IndexOf(const QString& s) const;
  // Sorted lists only: true when s is present; index is its position or where it would go.
  bool Find(const QString& s, int& index) const;
  void Sort();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  // Default false: comparison ignores the case of a-z only.
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool cs);

  QChar Delimiter() const { return delimiter_; }
  void SetDelimiter(QChar c) { delimiter_ = c; }
  QChar QuoteChar() const { return quoteChar_; }
  void SetQuoteChar(QChar c) { quoteChar_ = c; }
  bool StrictDelimiter() const { return strictDelimiter_; }
  void SetStrictDelimiter(bool strict) { strictDelimiter_ = strict; }
  QString DelimitedText() const;
  void SetDelimitedText(const QString& text);
  // Every entry followed by CR LF.
  QString Text() const;
  // Splits at CR LF, CR or LF; a final line break does not add an empty entry.
  void SetText(const QString& text);

  // Entries of the form name=value.
  QString Names(int index) const;
  QString Values(const QString& name) const;
  void SetValues(const QString& name, const QString& value);
  int IndexOfName(const QString& name) const;

  QStringList ToQStringList() const;

  // Change notification: OnChange runs after every change of the entries, except inside a
  // BeginUpdate / EndUpdate bracket, whose outermost EndUpdate runs it once when anything
  // changed inside. SetText, SetDelimitedText, AddStrings and SetValues are one change each.
  std::function<void()> OnChange;
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

 private:
  struct Item {
    QString text;
    void* object = nullptr;
  };
  int compare(const QString& a, const QString& b) const;
  void checkIndex(int index) const;
  void insertItem(int index, const QString& s, void* object);
  void changed();
  // Runs change inside a BeginUpdate / EndUpdate bracket, closing it on failure too.
  void inUpdate(const std::function<void()>& change);
  void setText(const QString& text);
  void setDelimitedText(const QString& text);
  void setValues(const QString& name, const QString& value);

  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  bool caseSensitive_ = false;
  QChar delimiter_ = u',';
  QChar quoteChar_ = u'"';
  bool strictDelimiter_ = false;
  int updateCount_ = 0;
  bool changedInUpdate_ = false;
};
