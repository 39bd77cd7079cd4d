// The main window as the user sees it when it opens: caption, size and border, the controls of
// its definition, the desktop font, the introduction in the log pane, the two log operations,
// and closing, also while the window is still being created.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "environment/toolbookprocs.h"
#include "runtime/ui/screen.h"
#include "tests/app/main_window_fixture.h"

namespace apptest {
namespace {

TEST_F(MainWindowTest, OpensCentredWithTheApplicationTitleAndAFixedBorder) {
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  w.Show();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.Caption(), "Database Quenlor");
  EXPECT_EQ(w.Widget()->windowTitle(), "Database Quenlor");
  EXPECT_EQ(w.Name(), "fmReindex");

  const double scale = Screen->PixelsPerInch() / 96.0;
  const QSize client(static_cast<int>(585 * scale), static_cast<int>(471 * scale));
  EXPECT_EQ(w.Widget()->size(), client);
  EXPECT_EQ(w.Widget()->minimumSize(), client);
  EXPECT_EQ(w.Widget()->maximumSize(), client);
  const Qt::WindowFlags flags = w.Widget()->windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  w.Widget()->resize(800, 600);
  EXPECT_EQ(w.Widget()->size(), client);

  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QRect frame = w.Widget()->frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
  EXPECT_EQ(w.Widget()->palette().color(QPalette::Window),
            QGuiApplication::palette().color(QPalette::Button));
}

TEST_F(MainWindowTest, ControlsOfTheDefinition) {
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  w.Show();
  QCoreApplication::processEvents();
  ASSERT_EQ(w.ControlCount(), 2);
  EXPECT_EQ(w.Controls(0), w.Panel1);
  EXPECT_EQ(w.Controls(1), w.Memo1);
  EXPECT_EQ(w.Panel1->Controls(0), w.cmStart);
  EXPECT_EQ(w.FindComponent("Panel1"), w.Panel1);
  EXPECT_EQ(w.FindComponent("cmStart"), w.cmStart);
  EXPECT_EQ(w.FindComponent("Memo1"), w.Memo1);

  EXPECT_EQ(w.Panel1->Align(), alTop);
  EXPECT_EQ(w.Panel1->BevelOuter(), bvNone);
  EXPECT_EQ(w.Panel1->Widget()->geometry(), QRect(0, 0, w.ClientWidth(), w.Panel1->Height()));
  EXPECT_EQ(w.Panel1->Height(), 33 * Screen->PixelsPerInch() / 96);
  EXPECT_EQ(w.cmStart->Caption(), "Start");
  EXPECT_TRUE(w.cmStart->Enabled());
  EXPECT_TRUE(w.cmStart->Widget()->isEnabled());
  const int ppi = Screen->PixelsPerInch();
  EXPECT_EQ(w.cmStart->Widget()->geometry(), QRect(8 * ppi / 96, 4 * ppi / 96, 75 * ppi / 96, 25 * ppi / 96));
  EXPECT_EQ(w.ActiveControl(), w.cmStart);
  EXPECT_EQ(w.Widget()->focusWidget(), w.cmStart->Widget());

  // The log pane fills everything below the strip.
  EXPECT_EQ(w.Memo1->Align(), alClient);
  EXPECT_EQ(w.Memo1->Widget()->geometry(),
            QRect(0, w.Panel1->Height(), w.ClientWidth(), w.ClientHeight() - w.Panel1->Height()));
  auto* edit = static_cast<QPlainTextEdit*>(w.Memo1->Widget());
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(w.cmStart->TabOrder(), 0);
  EXPECT_EQ(w.Panel1->TabOrder(), 0);
  EXPECT_EQ(w.Memo1->TabOrder(), 1);
}

struct DesktopCase {
  const char* name;
  int size;
};

class MainWindowFont : public MainWindowTest, public ::testing::WithParamInterface<DesktopCase> {};

TEST_P(MainWindowFont, WindowPanelButtonAndPaneShowTheDesktopFont) {
  SetDesktopFontOverride(GetParam().name, GetParam().size);
  CaptureDesktopFont();
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  for (TControl* c : std::initializer_list<TControl*>{&w, w.Panel1, w.cmStart, w.Memo1}) {
    SCOPED_TRACE(c->Name().toStdString());
    EXPECT_EQ(c->Font()->Name(), GetParam().name);
    EXPECT_EQ(c->Font()->Size(), GetParam().size);
    EXPECT_EQ(c->Widget()->font().family(), GetParam().name);
    EXPECT_EQ(c->Widget()->font().pointSize(), GetParam().size);
  }
  EXPECT_TRUE(w.Panel1->ParentFont());
  EXPECT_TRUE(w.cmStart->ParentFont());
}

INSTANTIATE_TEST_SUITE_P(Desktops, MainWindowFont,
                         ::testing::Values(DesktopCase{"Segoe UI", 9}, DesktopCase{"DejaVu Sans", 11},
                                           DesktopCase{"Noto Sans Mono", 7}),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           std::replace(n.begin(), n.end(), ' ', '_');
                           return n;
                         });

TEST_F(MainWindowTest, IntroductionReplacesTheDesignTextOfThePane) {
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  const QStringList lines = w.PaneLines();
  EXPECT_FALSE(lines.contains("Memo1"));
  EXPECT_FALSE(w.Memo1->Lines()->Text().contains("Memo1"));
  EXPECT_EQ(lines, IntroductionHead(DataFolder()) + IntroductionTail());
  ASSERT_TRUE(DataFolder().endsWith('\\'));
  EXPECT_EQ(lines[6], "Database folder: " + install.Win("data") + "\\");
  ASSERT_NE(DatabaseList, nullptr);
  EXPECT_EQ(DatabaseList->Count(), 1);
  EXPECT_EQ(DatabaseList->Strings(0), "DB.add");
  // The pane's text as the run will save it: CR LF after every line.
  EXPECT_TRUE(w.Memo1->Lines()->Text().startsWith(
      "This tool performs a re-indexing of all Pellmar database tables.\r\n\r\nIMPORTANT:\r\n"));
  EXPECT_TRUE(w.Memo1->Lines()->Text().endsWith("db.add\r\n\r\nClick on \"Start\" to begin the reindexing.\r\n"));
}

TEST_F(MainWindowTest, DataFolderGivenWithATrailingBackslashIsShownWithOne) {
  std::filesystem::create_directories(install.root() / "data");
  UseDataFolder(install.Win("data") + "\\");
  MainWindowProbe& w = CreateWindow();
  EXPECT_EQ(w.PaneLines()[6], "Database folder: " + install.Win("data") + "\\");
}

TEST_F(MainWindowTest, LogAndLogAppendEdgeCases) {
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  TMemoLines* lines = w.Memo1->Lines();

  w.Memo1->Clear();
  w.LogAppend("open");  // nothing to extend
  EXPECT_EQ(lines->Count(), 0);
  EXPECT_EQ(lines->Text(), "");

  w.Log("");
  EXPECT_EQ(lines->Count(), 1);
  EXPECT_EQ(lines->Text(), "\r\n");
  w.LogAppend("open");
  EXPECT_EQ(lines->Text(), ", open\r\n");

  w.Log("- table \"Customers");
  w.LogAppend("open");
  w.LogAppend("reindex");
  w.LogAppend("finished");
  w.Log("- table \"Orders");
  EXPECT_EQ(lines->Text(), ", open\r\n- table \"Customers, open, reindex, finished\r\n- table \"Orders\r\n");

  // A line long enough to wrap on screen is still extended at its end.
  const QString longName = QString("x").repeated(400);
  w.Log("- table \"" + longName);
  w.LogAppend("open");
  EXPECT_EQ(lines->Strings(lines->Count() - 1), "- table \"" + longName + ", open");
  EXPECT_EQ(lines->Count(), 4);
}

TEST_F(MainWindowTest, LogProcessesPendingMessagesAndLogAppendDoesNot) {
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  bool delivered = false;
  QTimer::singleShot(0, [&] { delivered = true; });
  w.LogAppend("no pumping");
  EXPECT_FALSE(delivered);
  w.Log("pumping");
  EXPECT_TRUE(delivered);
}

TEST_F(MainWindowTest, FormCloseReleasesTheListAndKeepsTheCloseAction) {
  UseHostDataFolder();
  MainWindowProbe& w = CreateWindow();
  ASSERT_NE(DatabaseList, nullptr);
  TCloseAction action = caHide;
  w.FormClose(&w, action);
  EXPECT_EQ(action, caHide);
  EXPECT_EQ(DatabaseList, nullptr);

  // Through the close box: the list goes and the window hides.
  MainWindowProbe& again = CreateWindow();
  ASSERT_NE(DatabaseList, nullptr);
  again.Show();
  again.Close();
  EXPECT_EQ(DatabaseList, nullptr);
  EXPECT_FALSE(again.Widget()->isVisible());
}

// A close request (a termination signal, which the message loop turns into one) that arrives
// while discovery writes the introduction: before the list exists, while sites are added to
// it, or at the last line. Creation completes with the whole introduction and then closes the
// window, which releases the list.
TEST_F(MainWindowTest, ACloseDuringCreationIsHeldUntilDiscoveryEndsAndThenClosesTheWindow) {
  const std::filesystem::path data = UseHostDataFolder();
  for (const char* site : {"1000001", "1000002"}) {
    std::filesystem::create_directories(data / "DB" / site);
    std::ofstream(data / "DB" / site / "sitedb.add") << "dictionary";
  }
  for (const char* closeAt : {"This tool performs", "db.add", "\\sitedb.add", "Click on"}) {
    SCOPED_TRACE(closeAt);
    window = std::make_unique<MainWindowProbe>(nullptr);
    fmReindex = window.get();
    bool asked = false;
    window->OnLogLine = [&](const QString& line, bool) {
      if (line.contains(QString::fromUtf8(closeAt)) && !asked) {
        asked = true;
        window->Close();
      }
    };
    window->AfterConstruction();
    ASSERT_TRUE(asked);
    const QStringList pane = window->PaneLines();
    QStringList sites = pane.mid(9, 2);
    sites.sort();
    EXPECT_EQ(pane.mid(0, 9) + sites + pane.mid(11),
              IntroductionHead(DataFolder()) + QStringList({"1000001\\sitedb.add", "1000002\\sitedb.add"}) +
                  IntroductionTail())
        << pane.join('\n').toStdString();
    EXPECT_EQ(DatabaseList, nullptr) << "the window closed once it was created";
    EXPECT_FALSE(window->Widget()->isVisible());
    window.reset();
    fmReindex = nullptr;
  }
}

}  // namespace
}  // namespace apptest
