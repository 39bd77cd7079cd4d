#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "runtime/ui/application.h"
#include "runtime/ui/form.h"

namespace ui_detail {

namespace {
int wakeFd = -1;  // write end of the pipe; the only thing the signal handler touches

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = write(wakeFd, &byte, 1);
}
}  // namespace

struct TerminationSignals::Impl {
  int fds[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier;
  struct sigaction previous[3];
};

namespace {
constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
}

TerminationSignals::TerminationSignals() : impl_(std::make_unique<Impl>()) {
  if (pipe2(impl_->fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  wakeFd = impl_->fds[1];
  impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fds[0], QSocketNotifier::Read);
  QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [this] {
    char buffer[16];
    while (read(impl_->fds[0], buffer, sizeof buffer) > 0) {
    }
    if (Application != nullptr && Application->MainForm() != nullptr)
      Application->MainForm()->Close();
    else if (Application != nullptr)
      Application->Terminate();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &impl_->previous[i]);
}

TerminationSignals::~TerminationSignals() {
  if (impl_->fds[0] < 0) return;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &impl_->previous[i], nullptr);
  impl_->notifier.reset();
  wakeFd = -1;
  close(impl_->fds[0]);
  close(impl_->fds[1]);
}

}  // namespace ui_detail
