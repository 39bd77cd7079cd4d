// Another user of an installation, for tests that need two processes: a child process that
// opens a table file through the engine (an open of its own, shared, as another program would),
// runs some work on it, reports the result, and keeps the table open until it is released.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <functional>
#include <stdexcept>
#include <string>

#include "ads/ace.h"

namespace adsdata_test {

class OtherUser {
 public:
  // Runs in the child: opens tablePath, then `work` on the handle when the open succeeded. The
  // result is the open's failure or work's result.
  OtherUser(const std::string& tablePath, const std::function<UNSIGNED32(ADSHANDLE)>& work) {
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      close(up[0]);
      close(down[1]);
      QByteArray path(tablePath.c_str());
      ADSHANDLE h = 0;
      UNSIGNED32 rc = AdsOpenTable90(0, reinterpret_cast<UNSIGNED8*>(path.data()), nullptr, 3, 1, 1, 1, 0, nullptr, &h);
      if (rc == 0) rc = work(h);
      if (write(up[1], &rc, sizeof rc) != sizeof rc) _exit(2);
      char c;
      while (read(down[0], &c, 1) > 0) {
      }
      _exit(0);
    }
    close(up[1]);
    close(down[0]);
    release_ = down[1];
    if (read(up[0], &result_, sizeof result_) != sizeof result_) result_ = 0xFFFFFFFFu;
    close(up[0]);
  }
  // Only holds the table open.
  explicit OtherUser(const std::string& tablePath) : OtherUser(tablePath, [](ADSHANDLE) { return UNSIGNED32(0); }) {}
  ~OtherUser() { Release(); }
  OtherUser(const OtherUser&) = delete;
  OtherUser& operator=(const OtherUser&) = delete;

  // Lets the child close the table and end, and waits for it.
  void Release() {
    if (pid_ < 0) return;
    close(release_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  UNSIGNED32 result() const { return result_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  UNSIGNED32 result_ = 0xFFFFFFFFu;
};

}  // namespace adsdata_test
