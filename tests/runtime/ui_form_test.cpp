// The top-level window: border and title-bar buttons, fixed size, centring, scaling from the
// design resolution, the creation and close handlers, the active control, and the default
// handler for exceptions escaping handlers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <csignal>
#include <memory>

#include "runtime/dialogs.h"
#include "runtime/exception.h"
#include "runtime/ui/button.h"
#include "runtime/ui/form.h"
#include "runtime/ui/memo.h"
#include "runtime/ui/panel.h"
#include "runtime/ui/screen.h"
#include "tests/runtime/ui_test_application.h"

namespace {

struct BorderCase {
  const char* name;
  TFormBorderStyle border;
  TBorderIcons icons;
  bool resizable;
  bool maximiseBox;
  bool minimiseBox;
  bool systemMenu;
};

class FormBorder : public ::testing::TestWithParam<BorderCase> {};

TEST_P(FormBorder, TitleBarButtonsAndResizing) {
  uitest::App();
  const BorderCase& c = GetParam();
  TForm form(nullptr);
  form.SetBorderStyle(c.border);
  form.SetBorderIcons(c.icons);
  form.SetClientWidth(585);
  form.SetClientHeight(471);
  form.Show();
  QWidget* w = form.Widget();
  const Qt::WindowFlags flags = w->windowFlags();
  EXPECT_EQ(flags.testFlag(Qt::WindowMaximizeButtonHint), c.maximiseBox);
  EXPECT_EQ(flags.testFlag(Qt::WindowMinimizeButtonHint), c.minimiseBox);
  EXPECT_EQ(flags.testFlag(Qt::WindowSystemMenuHint), c.systemMenu);
  EXPECT_EQ(w->size(), QSize(585, 471));
  EXPECT_EQ(w->minimumSize() != w->maximumSize(), c.resizable);
  // A fixed window refuses another size.
  w->resize(700, 500);
  EXPECT_EQ(w->size() != QSize(585, 471), c.resizable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormBorder,
    ::testing::Values(
        BorderCase{"SingleSystemMenuMinimise", bsSingle, biSystemMenu | biMinimize, false, false, true, true},
        BorderCase{"SingleAskingForMaximise", bsSingle, biSystemMenu | biMinimize | biMaximize, false, false,
                   true, true},
        BorderCase{"SingleSystemMenuOnly", bsSingle, biSystemMenu, false, false, false, true},
        BorderCase{"Sizeable", bsSizeable, biSystemMenu | biMinimize | biMaximize, true, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Form, ScreenCentrePositionCentresTheWindowOnFirstShow) {
  uitest::App();
  TForm form(nullptr);
  form.SetBorderStyle(bsSingle);
  form.SetClientWidth(301);
  form.SetClientHeight(199);
  form.SetPosition(poScreenCenter);
  form.Show();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QRect frame = form.Widget()->frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
}

TEST(Form, DesignedPositionIsKept) {
  uitest::App();
  TForm form(nullptr);
  form.SetClientWidth(100);
  form.SetClientHeight(100);
  form.Widget()->move(12, 34);
  form.Show();
  EXPECT_EQ(form.Widget()->pos(), QPoint(12, 34));
}

TEST(Form, CaptionIsTheWindowTitle) {
  uitest::App();
  TForm form(nullptr);
  form.SetCaption("fmReindex");
  form.SetCaption("Database Quenlor");
  EXPECT_EQ(form.Caption(), "Database Quenlor");
  EXPECT_EQ(form.Widget()->windowTitle(), "Database Quenlor");
}

// A window defined at a resolution other than the screen's is scaled when its definition is
// complete; one that is not scaled keeps its sizes and its resolution.
TEST(Form, LoadedScalesFromTheDesignResolution) {
  uitest::App();
  const int screenPpi = Screen->PixelsPerInch();
  for (bool scaled : {true, false}) {
    SCOPED_TRACE(scaled ? "scaled" : "not scaled");
    TForm form(nullptr);
    form.BeginLoading();
    form.SetPixelsPerInch(screenPpi / 2);
    form.SetScaled(scaled);
    form.SetBorderStyle(bsSingle);
    form.SetClientWidth(200);
    form.SetClientHeight(100);
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    panel->SetBounds(0, 0, 200, 20);
    auto* button = new TButton(&form);
    button->SetParent(panel);
    button->SetBounds(4, 2, 50, 16);
    form.EndLoading();
    const int f = scaled ? 2 : 1;
    EXPECT_EQ(form.Widget()->size(), QSize(200 * f, 100 * f));
    EXPECT_EQ(form.PixelsPerInch(), scaled ? screenPpi : screenPpi / 2);
    EXPECT_EQ(button->Widget()->geometry(), QRect(4 * f, 2 * f, 50 * f, 16 * f));
    EXPECT_EQ(panel->Height(), 20 * f);
  }
}

TEST(Form, AfterConstructionRunsTheCreationHandlerOnce) {
  uitest::App();
  TForm form(nullptr);
  std::vector<TComponent*> senders;
  form.OnCreate = [&](TComponent* sender) { senders.push_back(sender); };
  form.AfterConstruction();
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], &form);
}

TEST(Form, ExceptionInCreationHandlerReachesTheDefaultHandlerAndTheFormLives) {
  uitest::ScopedExceptionCapture capture;
  TForm form(nullptr);
  form.OnCreate = [](TComponent*) { throw EInOutError("Cannot create file \"x\". Access denied"); };
  form.AfterConstruction();
  EXPECT_EQ(capture.messages, QStringList{"Cannot create file \"x\". Access denied"});
  ASSERT_EQ(capture.senders.size(), 1u);
  EXPECT_EQ(capture.senders[0], &form);
  form.SetCaption("still usable");
  EXPECT_EQ(form.Caption(), "still usable");
}

struct CloseCase {
  const char* name;
  TCloseAction action;
  bool throws;
  bool visibleAfter;
};

class FormClose : public ::testing::TestWithParam<CloseCase> {};

TEST_P(FormClose, CloseActionDecides) {
  uitest::ScopedExceptionCapture capture;
  const CloseCase& c = GetParam();
  TForm form(nullptr);
  form.SetClientWidth(50);
  form.SetClientHeight(50);
  int calls = 0;
  form.OnClose = [&](TComponent* sender, TCloseAction& action) {
    EXPECT_EQ(sender, &form);
    EXPECT_EQ(action, caHide);  // the default a window is closed with
    ++calls;
    action = c.action;
    if (c.throws) throw Exception("close failed");
  };
  form.Show();
  form.Close();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(form.Widget()->isVisible(), c.visibleAfter);
  EXPECT_EQ(form.Visible(), c.visibleAfter);
  EXPECT_EQ(capture.messages.size(), c.throws ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormClose,
                         ::testing::Values(CloseCase{"Hide", caHide, false, false},
                                           CloseCase{"None", caNone, false, true},
                                           CloseCase{"HandlerFails", caHide, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Form, FreeActionReleasesTheWindowAfterTheCloseEvent) {
  uitest::App();
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  form->OnClose = [](TComponent*, TCloseAction& action) { action = caFree; };
  form->Show();
  form->Close();
  EXPECT_EQ(owner.ComponentCount(), 1);  // not from inside the close event
  QCoreApplication::processEvents();
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Form, ClosingTheMainFormEndsTheMessageLoop) {
  TApplication& app = uitest::App();
  app.Initialize();
  TForm* form = nullptr;
  app.CreateForm(form);
  ASSERT_EQ(app.MainForm(), form);
  bool closed = false;
  form->OnClose = [&](TComponent*, TCloseAction&) { closed = true; };
  QTimer::singleShot(0, [form] { form->Close(); });
  app.Run();  // returns once the main form has closed
  EXPECT_TRUE(closed);
  EXPECT_TRUE(app.Terminated());
  delete form;
  EXPECT_EQ(app.MainForm(), nullptr);
}

TEST(Form, TerminationSignalClosesTheMainFormThroughItsCloseHandler) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    TApplication& app = uitest::App();
    app.Initialize();
    TForm* form = nullptr;
    app.CreateForm(form);
    ASSERT_EQ(app.MainForm(), form);
    int closes = 0;
    form->OnClose = [&](TComponent*, TCloseAction&) { ++closes; };
    QTimer::singleShot(0, [signal] { raise(signal); });
    app.Run();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(app.Terminated());
    delete form;
  }
}

TEST(Form, ActiveControlHasTheFocusWhenShown) {
  uitest::App();
  TForm form(nullptr);
  form.SetClientWidth(200);
  form.SetClientHeight(100);
  auto* memo = new TMemo(&form);
  memo->SetParent(&form);
  auto* button = new TButton(&form);
  button->SetParent(&form);
  form.SetActiveControl(button);
  form.Show();
  QCoreApplication::processEvents();
  EXPECT_EQ(form.ActiveControl(), button);
  EXPECT_EQ(form.Widget()->focusWidget(), button->Widget());
}

TEST(Application, DefaultHandlerShowsTheMessageInTheErrorBoxAndCarriesOn) {
  TApplication& app = uitest::App();
  app.SetTitle("Database Quenlor");
  ScopedErrorMessageCapture shown;
  TButton button(nullptr);
  int calls = 0;
  button.OnClick = [&](TComponent*) {
    ++calls;
    throw EDatabaseError("tb: Cannot perform this operation on an open dataset");
  };
  button.Click();
  button.Click();
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(shown.messages().size(), 2u);
  EXPECT_EQ(shown.messages()[0].text, "tb: Cannot perform this operation on an open dataset");
  EXPECT_EQ(shown.messages()[0].title, "Database Quenlor");
}

TEST(Application, TitleIconAndTaskBar) {
  TApplication& app = uitest::App();
  app.SetTitle("Database Quenlor");
  app.SetMainFormOnTaskBar(true);
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::red);
  app.SetIcon(QIcon(pixmap));
  EXPECT_EQ(app.Title(), "Database Quenlor");
  EXPECT_TRUE(app.MainFormOnTaskBar());
  EXPECT_FALSE(app.Icon().isNull());
  EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST(Screen, BusyCursorOverridesAndDefaultRestores) {
  uitest::App();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  Screen->SetCursor(crHourGlass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crHourGlass);  // setting it twice needs one restore only
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

}  // namespace
