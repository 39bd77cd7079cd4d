// Saving the log pane as the run's log file.
#include "app/log_file.h"

#include "platform/file_system.h"
#include "platform/paths.h"
#include "runtime/exception.h"
#include "runtime/filesys.h"
#include "runtime/text.h"

void SaveLogFile(const QString& path, const QStringList& lines) {
  QByteArray data;
  for (const QString& line : lines) data += ToAnsi(line) + "\r\n";
  std::string host;
  platform::Status status = platform::ToHostPath(ToPlatform(path), &host);
  if (status.ok())
    status = platform::WriteFileAtomically(FileSystemInUse(), host, std::string(data.constData(), data.size()));
  if (!status.ok())
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, FromPlatform(status.message())));
}
