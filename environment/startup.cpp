#include "environment/startup.h"

#include <QtGlobal>
#include <exception>
#include <iterator>

#include "environment/OEMDEFS.h"
#include "environment/VistaReady.h"
#include "environment/toolbookprocs.h"

namespace {

struct Step {
  const char* name;
  void (*initialize)();
  void (*finalize)();  // must be safe after an initialisation that raised half-way
};

// The one place that fixes the order. The data-access layer keeps its list of implicit
// connections itself (created on first use, released at exit), so it needs no step here.
const Step kSteps[] = {
    {"window appearance", CaptureDesktopFont, ReleaseDesktopFont},
    {"branding", LoadBranding, FinalizeBranding},
    {"installation settings", InitializeSettings, FinalizeSettings},
};

// Runs one finalisation; a failure is logged and exit goes on with the remaining steps.
void finalizeStep(const Step& step) noexcept {
  try {
    step.finalize();
  } catch (const std::exception& e) {
    qWarning("finalisation of %s failed: %s", step.name, e.what());
  }
}

}  // namespace

Startup::Startup() {
  for (const Step& step : kSteps) {
    try {
      step.initialize();
    } catch (...) {
      // The failing step may have done part of its work (a work folder already created).
      finalizeStep(step);
      finalizeFrom(completed_);
      throw;
    }
    ++completed_;
  }
}

Startup::~Startup() { finalizeFrom(completed_); }

void Startup::finalizeFrom(std::size_t count) noexcept {
  for (std::size_t i = count; i > 0; --i) finalizeStep(kSteps[i - 1]);
  completed_ = 0;
}
