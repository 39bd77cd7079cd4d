// General helpers of the runtime: integer conversion with the original runtime's rules, and the
// text operations on Windows-form paths ("C:\Data\x.adt", "\\server\share\", both "\" and "/"
// separate, ":" ends a drive).
//
// Threading: all functions are pure and may be called from any thread.
#pragma once

#include <QString>

// Converts s to a 32-bit signed integer. Leading blanks are skipped, then an optional "+" or
// "-", then either decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X".
// Any other character (trailing blanks included), no digits at all, or a value outside the
// 32-bit signed range fails: returns false and leaves value unchanged.
bool TryStrToInt(const QString& s, int& value);

// TryStrToInt, or def when the conversion fails.
int StrToIntDef(const QString& s, int def);

// TryStrToInt, or EConvertError "'<s>' is not a valid integer value".
int StrToInt(const QString& s);

// Decimal text, "-" for negative values.
QString IntToStr(int value);

// True when a file (not a folder) of that name exists; links are followed. Through the file
// system in use (runtime/filesys.h).
bool FileExists(const QString& fileName);
// True when a folder (not a file) of that name exists; links are followed.
bool DirectoryExists(const QString& dir);

// True for "\" and "/".
bool IsPathSeparator(QChar c);

// The part up to and including the last separator or drive colon ("C:\a\b.txt" -> "C:\a\").
QString ExtractFilePath(const QString& fileName);
// The part after the last separator or drive colon ("C:\a\b.txt" -> "b.txt").
QString ExtractFileName(const QString& fileName);
// ExtractFilePath without its trailing separator, except where the separator is the root of a
// drive ("C:\a\b.txt" -> "C:\a", "C:\b.txt" -> "C:\").
QString ExtractFileDir(const QString& fileName);
// The extension with its dot ("b.txt" -> ".txt"); empty when the file name has no dot.
QString ExtractFileExt(const QString& fileName);
// The path with a backslash appended unless it ends with a separator already ("" -> "\").
QString IncludeTrailingPathDelimiter(const QString& path);
// The path without one trailing separator.
QString ExcludeTrailingPathDelimiter(const QString& path);
// The file name with its extension replaced by ext (which carries its dot, or is empty to drop
// the extension); a name without extension gets ext appended.
QString ChangeFileExt(const QString& fileName, const QString& ext);
