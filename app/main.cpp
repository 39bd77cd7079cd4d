// quenlor: rebuilds the indexes of every table of every data dictionary of a Pellmar
// installation. One window, no command line: the installation environment is prepared, the
// main window lists what a run will process, and "Start" runs it.
//
// A failure while the environment is prepared (a setting of the wrong type in the registry, a
// work folder that cannot be made) ends start-up with the error report: a message box naming
// the failure, after which the program ends with exit status 1, the steps already taken undone.
#include <exception>

#include "app/MainForm.h"
#include "app/runtime_folder.h"
#include "environment/startup.h"
#include "runtime/ui/application.h"

int main(int argc, char* argv[]) {
  PrivateRuntimeFolder runtimeFolder;  // only when started outside a desktop session
  // The application object first: the start-up steps need Qt (the desktop font, the icon).
  TApplication application(argc, argv);
  try {
    // The termination signals are caught before the work folder exists: a stop during
    // start-up then ends the program through the finalisations, which remove it.
    Application->Initialize();
    // The initialisation sections in their fixed order; finalised in reverse when this scope
    // ends, after the windows are gone.
    Startup startup;
    Application->SetMainFormOnTaskBar(true);
    Application->SetTitle("Database Quenlor");
    Application->CreateForm(fmReindex);
    Application->Run();
    application.DestroyComponents();  // the main window and its components
    fmReindex = nullptr;
  } catch (const std::exception& error) {
    // Nothing is shown yet, or the window is half made: report, take it down, end.
    application.DestroyComponents();
    fmReindex = nullptr;
    ShowExceptionMessage(QStringLiteral("Database Quenlor"), error);
    return 1;
  }
  return 0;
}
