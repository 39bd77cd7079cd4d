// The SQL parameter scanner. A parameter is a colon followed by a name: either a run of
// letters, digits and "_", or a text enclosed in double quotes, single quotes or backquotes
// (a doubled quote inside stands for one). Text inside single quotes, double quotes and
// backquotes, "--" line comments and "/* */" comments is skipped; a doubled colon ("::") is not
// a parameter and stays in the text. A colon followed by anything else is plain text.
//
// Threading: pure function.
#pragma once

#include <QString>
#include <QStringList>

struct SqlParamScan {
  QString text;       // the SQL with every parameter replaced by "?"
  QStringList names;  // the parameter names, one per occurrence, in order
};

SqlParamScan ScanSqlParams(const QString& sql);
