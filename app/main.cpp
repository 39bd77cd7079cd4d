// quenlor: rebuilds the indexes of every table of every data dictionary of a Pellmar
// installation. One window, no command line: the installation environment is prepared, the
// main window lists what a run will process, and "Start" runs it.
#include "app/MainForm.h"
#include "environment/startup.h"
#include "runtime/ui/application.h"

int main(int argc, char* argv[]) {
  // The application object first: the start-up steps need Qt (the desktop font, the icon).
  TApplication application(argc, argv);
  {
    // The initialisation sections in their fixed order; finalised in reverse when this scope
    // ends, after the windows are gone.
    Startup startup;
    Application->Initialize();
    Application->SetMainFormOnTaskBar(true);
    Application->SetTitle("Database Quenlor");
    Application->CreateForm(fmReindex);
    Application->Run();
    application.DestroyComponents();  // the main window and its components
    fmReindex = nullptr;
  }
  return 0;
}
