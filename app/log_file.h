// The run's log file: the complete text of the log pane, each line followed by CR LF, in the
// system's ANSI code page without a byte-order mark. The file is replaced as a whole: the new
// text is written beside it and renamed over it, so a failed save leaves the previous log.
// User-interface thread.
#pragma once

#include <QString>
#include <QStringList>

// Writes lines to path (a Windows-form path). Raises EFCreateError
// "Cannot create file "<path>". <reason>" when the file cannot be written.
void SaveLogFile(const QString& path, const QStringList& lines);
