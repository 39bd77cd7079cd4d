// The start-up sequence of a tool: the installation environment is prepared in one fixed order
// before the main window exists, and taken down in the reverse order at exit.
//
// Order (each step may rely on the ones before it):
//   1. window appearance   (captures the desktop's icon font)
//   2. data-access layer   (the list of implicit connections)
//   3. branding            (LoadBranding: application icon and branding texts)
//   4. installation settings (InitializeSettings: folders, time format, work folder,
//                            environment variables)
// The destructor runs the finalisations in reverse: settings (removes the work folder), then
// branding (clears the texts), and so on.
//
// Usage: create the QApplication first (the icon and the font need it), then one Startup object
// that lives until the main window is gone:
//   QApplication app(argc, argv);
//   Startup startup;
//   ... create and run the main window ...
//
// If a step raises, the constructor finalises that step and every step before it, in reverse,
// and lets the exception through, which ends start-up.
//
// Threading: user-interface thread; one Startup per process at a time.
#pragma once

#include <cstddef>

class Startup {
 public:
  Startup();
  ~Startup();
  Startup(const Startup&) = delete;
  Startup& operator=(const Startup&) = delete;

  // Number of steps that completed their initialisation.
  std::size_t CompletedSteps() const { return completed_; }

 private:
  void finalizeFrom(std::size_t count) noexcept;
  std::size_t completed_ = 0;
};
