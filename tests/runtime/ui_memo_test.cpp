// The multi-line text control: its lines (count, read, replace, append, clear), its whole text
// with CR LF after every line, and what the user sees (read-only, scroll bars, word wrap, the
// newest line in view).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include "runtime/exception.h"
#include "runtime/ui/form.h"
#include "runtime/ui/memo.h"
#include "tests/runtime/ui_test_application.h"

namespace {

class Memo : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    form.SetBorderStyle(bsSingle);
    form.SetClientWidth(300);
    form.SetClientHeight(200);
    memo = new TMemo(&form);
    memo->SetParent(&form);
    memo->SetAlign(alClient);
  }
  QPlainTextEdit* edit() { return static_cast<QPlainTextEdit*>(memo->Widget()); }
  TApplication& app = uitest::App();  // before any widget
  TForm form{nullptr};
  TMemo* memo = nullptr;
};

TEST_F(Memo, LinesFromEmptyToSeveral) {
  TMemoLines* lines = memo->Lines();
  EXPECT_EQ(lines->Count(), 0);
  EXPECT_EQ(lines->Text(), "");
  lines->Add("");
  EXPECT_EQ(lines->Count(), 1);
  EXPECT_EQ(lines->Strings(0), "");
  EXPECT_EQ(lines->Text(), "\r\n");
  lines->Add("second");
  lines->Add("");
  lines->Add("fourth, with \"quotes\" and \\ backslash");
  ASSERT_EQ(lines->Count(), 4);
  EXPECT_EQ(lines->Strings(1), "second");
  EXPECT_EQ(lines->Strings(2), "");
  EXPECT_EQ(lines->Text(), "\r\nsecond\r\n\r\nfourth, with \"quotes\" and \\ backslash\r\n");
  EXPECT_EQ(edit()->toPlainText(), "\nsecond\n\nfourth, with \"quotes\" and \\ backslash");
  lines->SetStrings(0, "first");
  lines->SetStrings(3, lines->Strings(3) + ", open");
  EXPECT_EQ(lines->Text(), "first\r\nsecond\r\n\r\nfourth, with \"quotes\" and \\ backslash, open\r\n");
  memo->Clear();
  EXPECT_EQ(lines->Count(), 0);
  EXPECT_EQ(edit()->toPlainText(), "");
  lines->Add("after clear");
  EXPECT_EQ(lines->Text(), "after clear\r\n");
}

TEST_F(Memo, IndexOutsideTheLinesIsAListError) {
  TMemoLines* lines = memo->Lines();
  EXPECT_THROW(lines->Strings(0), EStringListError);
  EXPECT_THROW(lines->SetStrings(0, "x"), EStringListError);
  lines->Add("only");
  for (int index : {-1, 1, 2}) {
    SCOPED_TRACE(index);
    EXPECT_THROW(lines->Strings(index), EStringListError);
    EXPECT_THROW(lines->SetStrings(index, "x"), EStringListError);
  }
  EXPECT_EQ(lines->Text(), "only\r\n");
}

struct SetTextCase {
  const char* text;
  std::vector<const char*> lines;
};

TEST_F(Memo, SetTextSplitsAtEveryKindOfLineBreak) {
  const SetTextCase cases[] = {
      {"", {}},
      {"Memo1", {"Memo1"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"\r\n", {""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
  };
  for (const SetTextCase& c : cases) {
    SCOPED_TRACE(c.text);
    memo->Lines()->SetText(c.text);
    ASSERT_EQ(memo->Lines()->Count(), static_cast<int>(c.lines.size()));
    for (size_t i = 0; i < c.lines.size(); ++i)
      EXPECT_EQ(memo->Lines()->Strings(static_cast<int>(i)), c.lines[i]);
  }
}

TEST_F(Memo, WrappedLineIsStillOneLine) {
  memo->SetWordWrap(true);
  form.Show();
  const QString longLine = QString("word ").repeated(200).trimmed();
  memo->Lines()->Add(longLine);
  memo->Lines()->SetStrings(0, memo->Lines()->Strings(0) + ", finished");
  QCoreApplication::processEvents();
  EXPECT_EQ(memo->Lines()->Count(), 1);
  EXPECT_EQ(memo->Lines()->Strings(0), longLine + ", finished");
  const QTextBlock block = edit()->document()->firstBlock();
  ASSERT_NE(block.layout(), nullptr);
  EXPECT_GT(block.layout()->lineCount(), 1);  // several rows on screen
  EXPECT_EQ(edit()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  memo->SetWordWrap(false);
  EXPECT_EQ(edit()->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(Memo, ReadOnlyAndScrollBars) {
  memo->SetReadOnly(true);
  EXPECT_TRUE(edit()->isReadOnly());
  struct Case {
    TScrollStyle style;
    Qt::ScrollBarPolicy vertical;
    Qt::ScrollBarPolicy horizontal;
  };
  const Case cases[] = {
      {ssNone, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOff},
      {ssVertical, Qt::ScrollBarAlwaysOn, Qt::ScrollBarAlwaysOff},
      {ssHorizontal, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOn},
      {ssBoth, Qt::ScrollBarAlwaysOn, Qt::ScrollBarAlwaysOn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    memo->SetScrollBars(c.style);
    EXPECT_EQ(memo->ScrollBars(), c.style);
    EXPECT_EQ(edit()->verticalScrollBarPolicy(), c.vertical);
    EXPECT_EQ(edit()->horizontalScrollBarPolicy(), c.horizontal);
  }
}

TEST_F(Memo, AppendingKeepsTheNewestLineInView) {
  memo->SetReadOnly(true);
  memo->SetScrollBars(ssVertical);
  form.Show();
  for (int i = 0; i < 300; ++i) memo->Lines()->Add(QString("line %1").arg(i));
  QCoreApplication::processEvents();
  QScrollBar* bar = edit()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  QTextCursor end(edit()->document());
  end.movePosition(QTextCursor::End);
  EXPECT_TRUE(edit()->viewport()->rect().contains(edit()->cursorRect(end)));
}

TEST_F(Memo, TextTypedByTheUserCountsAsLines) {
  memo->SetReadOnly(false);
  edit()->setPlainText("typed\nby hand");
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Text(), "typed\r\nby hand\r\n");
  edit()->clear();
  EXPECT_EQ(memo->Lines()->Count(), 0);
}

}  // namespace
