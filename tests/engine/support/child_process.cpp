#include "support/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace acetest {

int RunInChild(const std::function<int()>& work) {
  pid_t pid = fork();
  if (pid == 0) _exit(work());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

ChildHolder::ChildHolder(const std::function<Report()>& work) {
  int up[2];
  if (pipe(up) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    close(up[0]);
    Report report = work();
    if (write(up[1], report.data(), sizeof report) != sizeof report) _exit(2);
    for (;;) pause();
  }
  close(up[1]);
  if (read(up[0], report_.data(), sizeof report_) != sizeof report_) report_ = {0xFFFFFFFF, 0xFFFFFFFF};
  close(up[0]);
}

void ChildHolder::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

}  // namespace acetest
