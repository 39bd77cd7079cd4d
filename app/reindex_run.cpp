// The reindex run: for every dictionary discovery listed, connect to it, list its tables with
// "select name from system.tables", open each table exclusively and rebuild its indexes.
// Every step is a log line; a failure of one table is logged and the run goes on with the next
// row, a failure of a dictionary outside its table steps ends that dictionary. Only the
// runtime's exceptions are caught. At the end the log pane is saved as "Logs\quenlor.txt" in
// the data folder; a failure to save reaches the application's default handler.
#include "app/MainForm.h"
#include "app/log_file.h"
#include "environment/toolbookprocs.h"
#include "runtime/datetime.h"
#include "runtime/exception.h"
#include "runtime/sysutils.h"
#include "runtime/ui/screen.h"

namespace {
const QString Q = QStringLiteral("\"");

QString T() { return DateTimeToStr(Now()); }
}  // namespace

void TfmReindex::cmStartClick(TComponent*) {
  Screen->SetCursor(crHourGlass);
  cmStart->SetEnabled(false);
  running_ = true;
  Log("");
  Log("Starting");
  const int count = DatabaseList->Count();
  for (int i = 0; i < count && !closeRequested_; ++i)
    ReindexDatabase(DataFolder() + "DB\\" + DatabaseList->Strings(i));
  Log("");
  Log(T() + " Finished.");
  running_ = false;  // from here on a close request closes the window at once

  const QString logFile = DataFolder() + "Logs\\quenlor.txt";
  EnsureDirectory(ExtractFilePath(logFile));
  QStringList lines;
  for (int i = 0; i < Memo1->Lines()->Count(); ++i) lines << Memo1->Lines()->Strings(i);
  SaveLogFile(logFile, lines);
  Log("A log file has been saved to " + Q + logFile + Q + ".");
  Screen->SetCursor(crDefault);
  if (closeRequested_) Close();
}

void TfmReindex::ReindexDatabase(const QString& path) {
  Log("");
  Log(T() + " Reindexing DB " + Q + path + Q);
  if (!FileExists(path)) {
    Log("ERROR: file not found (" + path + ")");
    return;
  }
  try {
    if (con->IsConnected()) con->Disconnect();
    con->SetConnectPath(path);
    con->Connect();
    q->SQL()->SetText("select name from system.tables");
    q->Open();
    q->First();
    const QString folder = ExtractFilePath(path);
    while (!q->Eof() && !closeRequested_) {
      ReindexTable(folder);
      q->Next();
    }
  } catch (const Exception& e) {
    Log("ERROR (dict): " + e.Message());
  }
}

void TfmReindex::ReindexTable(const QString& folder) {
  try {
    const QString name = q->FieldByName("Name")->AsString();
    Log("- table " + Q + name);
    if (FileExists(folder + name + ".adt")) {
      tb->SetExclusive(true);
      tb->SetTableName(name);
      LogAppend("open");
      tb->Open();
      LogAppend("reindex");
      tb->AdsReindex();
      LogAppend("finished");
      tb->Close();
    } else {
      Log("WARNING: table " + Q + name + " not found.");
    }
  } catch (const Exception& e) {
    Log("ERROR (table): " + e.Message());
  }
}
