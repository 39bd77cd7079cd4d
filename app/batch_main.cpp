// quenlor-batch: the unattended reindex run for scheduled maintenance. It prepares the
// installation environment as the window program does, creates the same main window without
// showing it (offscreen), runs its Start handler and copies every log line to standard output
// as it is written. Exit status: 0 when no log line starts with "ERROR", 1 when one does, 2 when
// the run could not finish (the message goes to standard error): start-up failed, the log file
// could not be saved, a failure no handler of the run takes ended it, or a termination signal
// (SIGTERM, SIGINT, SIGHUP) stopped it, which happens after the table in progress.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/MainForm.h"
#include "app/runtime_folder.h"
#include "environment/startup.h"
#include "runtime/dialogs.h"
#include "runtime/exception.h"
#include "runtime/ui/application.h"

namespace {

// Writes log lines to stdout: a new line starts on its own line, an extension continues it.
class LogEcho {
 public:
  void operator()(const QString& text, bool appended) {
    if (!appended) {
      if (started_) std::fputc('\n', stdout);
      started_ = true;
      sawError_ = sawError_ || text.startsWith(QStringLiteral("ERROR"));
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
  }
  void Finish() {
    if (started_) std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  bool SawError() const { return sawError_; }

 private:
  bool started_ = false;
  bool sawError_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  // A reader of the output that goes away (quenlor-batch | head) must not end the run halfway
  // through a dictionary: writes to the closed pipe fail and are dropped, and the run goes on
  // to its end and saves its log file.
  std::signal(SIGPIPE, SIG_IGN);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  SetUnattended(true);
  PrivateRuntimeFolder runtimeFolder;  // outlives every Qt object
  TApplication application(argc, argv);
  int status = 0;
  {
    try {
      // The termination signals are caught before the work folder exists: a stop during
      // start-up then ends the program through the finalisations, which remove it.
      Application->Initialize();
      Startup startup;
      Application->SetTitle("Database Quenlor");
      Application->CreateForm(fmReindex);
      auto echo = std::make_shared<LogEcho>();
      // The introduction written at creation is part of the log: echo the pane so far.
      for (int i = 0; i < fmReindex->Memo1->Lines()->Count(); ++i) (*echo)(fmReindex->Memo1->Lines()->Strings(i), false);
      if (Application->Terminated()) {
        // Stopped while the window was being created: nothing was reindexed, and the log file
        // of the last run stays as it was.
        echo->Finish();
        std::fprintf(stderr, "Stopped before the run started: nothing was reindexed.\n");
        status = 2;
      } else {
        fmReindex->OnLogLine = [echo](const QString& text, bool appended) { (*echo)(text, appended); };
        // A failure the run hands to the default handler itself (after a stop was requested).
        bool handled = false;
        Application->OnException = [&handled](TComponent*, const std::exception& error) {
          std::fprintf(stderr, "%s\n", ExceptionMessage(error).toLocal8Bit().constData());
          handled = true;
        };
        try {
          fmReindex->cmStartClick(fmReindex->cmStart);
          echo->Finish();
          if (fmReindex->Stopped() && !handled)
            std::fprintf(stderr, "Stopped before the end of the run: not every database was reindexed.\n");
          status = handled || fmReindex->Stopped() ? 2 : echo->SawError() ? 1 : 0;
        } catch (const std::exception& e) {
          echo->Finish();
          std::fprintf(stderr, "%s\n", ExceptionMessage(e).toLocal8Bit().constData());
          status = 2;
        }
      }
      application.DestroyComponents();
      fmReindex = nullptr;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", ExceptionMessage(e).toLocal8Bit().constData());
      status = 2;
    }
  }
  return status;
}
