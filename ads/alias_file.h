// The alias file "ads.ini": section "Databases" maps an alias to a path, optionally followed by
// ";" and a table-type letter (N NTX, C CDX, A ADT, V VFP).
//
// The file is found in this order: the folder named by the environment variable "adsini_path"
// followed by "\ads.ini", when that file exists; else "ads.ini" found by the standard file
// search (the executable's folder, the current folder, the folders of PATH) with a full path of
// at most 260 characters; else "ads.ini" relative to the current folder.
//
// Threading: safe from any thread; the file is read anew on every lookup.
#pragma once

#include <QChar>
#include <QString>

struct AdsAliasEntry {
  // The part of the value before the first ";" (the whole value when there is none).
  QString path;
  // The first character after the first ";", or a null QChar when there is none.
  QChar typeLetter;
  // The alias counts as found when its path is not empty.
  bool found() const { return !path.isEmpty(); }
};

// The path of the alias file to read.
QString AdsAliasFileName();

// The entry of alias in section "Databases" of the alias file (missing file or key: not found).
AdsAliasEntry LookupAdsAlias(const QString& alias);
