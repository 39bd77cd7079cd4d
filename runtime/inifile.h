// Reading INI files with the original platform's private-profile behaviour.
//
// A file is a sequence of lines ending in CR LF, LF or CR. "[name]" starts a section; inside a
// section "key=value" defines a key. Section names and keys are matched ignoring the case of
// a-z; blanks around names and values are trimmed, and a value enclosed in a pair of equal
// quote characters (" or ') loses them. Lines before the first section, lines without "=",
// comment lines (starting with ";") and any other garbage are ignored. The first definition of
// a section or key wins. The file is read in the ANSI code page, or as UTF-16LE/UTF-8 when it
// starts with the byte-order mark of one.
//
// A value is cut to capacity-1 characters, as when the platform copies it into the caller's
// buffer of capacity characters.
//
// Threading: the functions may be called from any thread; a TIniFile object is used by one
// thread at a time.
#pragma once

#include <QString>
#include <optional>

// The value of key in section of file cut to capacity-1 characters, or nothing when the file,
// the section or the key is absent (or the file cannot be read). A key that is present with an
// empty value gives an empty text.
std::optional<QString> ReadPrivateProfileValue(const QString& section, const QString& key, const QString& file,
                                               int capacity);

// The platform call: the value when the key is present, else def, cut to capacity-1 characters.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def, int capacity,
                                const QString& file);

// An INI file opened by name, read with a buffer of 2048 characters (values of at most 2047).
class TIniFile {
 public:
  explicit TIniFile(const QString& fileName) : fileName_(fileName) {}

  QString FileName() const { return fileName_; }
  // The value when the key is present (even when empty), else def.
  QString ReadString(const QString& section, const QString& ident, const QString& def) const;
  bool ValueExists(const QString& section, const QString& ident) const;

  static constexpr int kBufferSize = 2048;

 private:
  QString fileName_;
};
