#include "runtime/dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace {

TEST(ErrorMessageBox, CaptureReceivesEveryMessageWhileItLives) {
  {
    ScopedErrorMessageCapture capture;
    ShowErrorMessageBox("first", "Error");
    {
      ScopedErrorMessageCapture inner;
      ShowErrorMessageBox("second", "Other");
      ASSERT_EQ(inner.messages().size(), 1u);
      EXPECT_EQ(inner.messages()[0].text, QStringLiteral("second"));
    }
    ShowErrorMessageBox("third", "Error");
    ASSERT_EQ(capture.messages().size(), 2u);
    EXPECT_EQ(capture.messages()[0].text, QStringLiteral("first"));
    EXPECT_EQ(capture.messages()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(capture.messages()[1].text, QStringLiteral("third"));
  }
  // Without a capture and without an application the text goes to standard error.
  testing::internal::CaptureStderr();
  ShowErrorMessageBox(QString::fromUtf8("no window for “this”"), "Error");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: no window for “this”\n");
}

TEST(ErrorMessageBox, NeverBlocksWithoutADisplayOrWhenUnattended) {
  int argc = 1;
  char name[] = "tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);  // offscreen in tests: a modal box would wait forever
  testing::internal::CaptureStderr();
  ShowErrorMessageBox("offscreen", "Error");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: offscreen\n");
  SetUnattended(true);
  EXPECT_TRUE(Unattended());
  testing::internal::CaptureStderr();
  ShowErrorMessageBox("unattended", "Error");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unattended\n");
  SetUnattended(false);
}

}  // namespace
