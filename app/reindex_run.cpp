// The reindex run: for every dictionary discovery listed, connect to it, list its tables with
// "select name from system.tables", open each table exclusively and rebuild its indexes.
// Every step is a log line; a failure of one table is logged and the run goes on with the next
// row, a failure of a dictionary outside its table steps ends that dictionary. Only the
// runtime's exceptions are caught. At the end the log pane is saved as "Logs\quenlor.txt" in
// the data folder; a failure to save reaches the application's default handler.
//
// A close request (the close box, a termination signal) stops the run after the table it is
// working on. Such a run, like one ended by an exception that is not the runtime's, must not
// read as a finished one: its log ends with " Stopped." and names every dictionary that was not
// reindexed, or not to its end, so the next run can be planned from the log alone.
#include "app/MainForm.h"
#include "app/log_file.h"

#include <exception>

#include "environment/toolbookprocs.h"
#include "runtime/datetime.h"
#include "runtime/exception.h"
#include "runtime/sysutils.h"
#include "runtime/ui/application.h"
#include "runtime/ui/screen.h"

namespace {
const QString Q = QStringLiteral("\"");

QString T() { return DateTimeToStr(Now()); }
}  // namespace

void TfmReindex::cmStartClick(TComponent*) {
  Screen->SetCursor(crHourGlass);
  cmStart->SetEnabled(false);
  std::exception_ptr failure;
  running_ = true;
  try {
    Log("");
    Log("Starting");
    const int count = DatabaseList->Count();
    int done = 0;        // entries processed to their end
    bool begun = false;  // whether the run had started on entry `done`
    try {
      for (; done < count && !closeRequested_; ++done) {
        begun = true;
        ReindexDatabase(DataFolder() + "DB\\" + DatabaseList->Strings(done));
        if (dictionaryCut_) break;
        begun = false;
      }
    } catch (const std::exception& e) {
      // Not one of the runtime's exceptions (memory ran out, say), so no handler of the run
      // took it. The run ends here, says so in its log and saves it; the exception then goes
      // on to the default handler.
      failure = std::current_exception();
      Log("ERROR: " + ExceptionMessage(e));
    }
    Log("");
    stopped_ = done < count;
    if (stopped_)
      LogStopped(done, begun);
    else
      Log(T() + " Finished.");
  } catch (...) {
    running_ = false;  // the window can close again whatever ended the run
    throw;
  }
  running_ = false;  // from here on a close request closes the window at once

  try {
    const QString logFile = DataFolder() + "Logs\\quenlor.txt";
    EnsureDirectory(ExtractFilePath(logFile));
    QStringList lines;
    for (int i = 0; i < Memo1->Lines()->Count(); ++i) lines << Memo1->Lines()->Strings(i);
    SaveLogFile(logFile, lines);
    Log("A log file has been saved to " + Q + logFile + Q + ".");
    Screen->SetCursor(crDefault);
  } catch (const std::exception&) {
    // A log that cannot be saved goes to the default handler, the cursor left busy. When a
    // close was asked for meanwhile, the window still closes once the message is seen.
    if (!closeRequested_) throw;
    failure = std::current_exception();
  }
  if (closeRequested_)
    CloseAsRequested(failure);
  else if (failure)
    std::rethrow_exception(failure);
}

void TfmReindex::LogStopped(int next, bool begun) {
  Log(T() + " Stopped.");
  for (int i = next; i < DatabaseList->Count(); ++i) {
    const QString path = DataFolder() + "DB\\" + DatabaseList->Strings(i);
    const bool started = i == next && begun;
    Log("WARNING: DB " + Q + path + Q + (started ? " was not reindexed to its end." : " was not reindexed."));
  }
}

void TfmReindex::ReindexDatabase(const QString& path) {
  dictionaryCut_ = false;
  Log("");
  Log(T() + " Reindexing DB " + Q + path + Q);
  if (closeRequested_) {
    dictionaryCut_ = true;  // asked to stop before anything of this dictionary was done
    return;
  }
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
    while (!q->Eof()) {
      if (closeRequested_) {
        dictionaryCut_ = true;
        break;
      }
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
