#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "environment/toolbookprocs.h"
#include "platform/file_system.h"
#include "runtime/dialogs.h"
#include "runtime/filesys.h"
#include "support/installation_fixture.h"

namespace {

// Refuses deletes silently (an error callers do not stop at) a given number of times, then
// lets them through.
class StubbornDelete : public platform::FileSystemWrapper {
 public:
  explicit StubbornDelete(int refusals) : FileSystemWrapper(platform::DefaultFileSystem()), refusals_(refusals) {}
  platform::Status DeleteFile(const std::string& path) override {
    ++calls;
    if (refusals_ < 0 || calls <= refusals_)
      return platform::Status::Error(platform::StatusCode::kIOError, platform::SystemErrorMessage(31), 31);
    return target()->DeleteFile(path);
  }
  int calls = 0;

 private:
  int refusals_;  // -1: refuse for ever
};

TEST(KillFileRetry, RetriesSilentRefusalsUntilTheFileIsGone) {
  installtest::Installation host;
  host.WriteText("busy.adi", "x");
  StubbornDelete fs(3);
  ScopedFileSystem scoped(&fs);
  ScopedErrorMessageCapture capture;
  KillFile(host.Win("busy.adi"));
  EXPECT_FALSE(host.Exists("busy.adi"));
  EXPECT_EQ(fs.calls, 4);
  EXPECT_TRUE(capture.messages().empty());
}

TEST(KillFileRetry, GivesUpAfterFourSecondsWithAMessage) {
  installtest::Installation host;
  host.WriteText("stuck.adi", "x");
  const QString file = host.Win("stuck.adi");
  StubbornDelete fs(-1);
  ScopedFileSystem scoped(&fs);
  ScopedErrorMessageCapture capture;
  QElapsedTimer timer;
  timer.start();
  KillFile(file);
  EXPECT_GE(timer.elapsed(), 4000);
  EXPECT_TRUE(host.Exists("stuck.adi"));
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0].text, QStringLiteral("Couldn't delete file \"") + file + QStringLiteral("\"!"));
}

}  // namespace
