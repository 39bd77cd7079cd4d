// Window appearance: the desktop font is captured once, and AdjustWindow gives a window and
// its controls that font, except the sizes of headings, which turn bold in the second heading
// colour unless the desktop font is "Segoe UI".
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QPlainTextEdit>

#include "environment/VistaReady.h"
#include "runtime/ui/button.h"
#include "runtime/ui/form.h"
#include "runtime/ui/label.h"
#include "runtime/ui/memo.h"
#include "runtime/ui/panel.h"
#include "runtime/ui/screen.h"
#include "tests/runtime/ui_test_application.h"

namespace {

class DesktopFont : public ::testing::Test {
 protected:
  void TearDown() override {
    ClearDesktopFontOverride();
    CaptureDesktopFont();
  }
  TApplication& app = uitest::App();
};

TEST_F(DesktopFont, CaptureTakesTheThemeFontOrTheOverride) {
  ClearDesktopFontOverride();
  CaptureDesktopFont();
  const QFont theme = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  EXPECT_FALSE(DesktopFontName().isEmpty());
  EXPECT_EQ(DesktopFontName(), QFontInfo(theme).family());
  EXPECT_GT(DesktopFontSize(), 0);
  EXPECT_TRUE(NewPlatform());
  EXPECT_FALSE(ScaledWindow());

  SetDesktopFontOverride("Segoe UI", 9);
  CaptureDesktopFont();
  EXPECT_EQ(DesktopFontName(), "Segoe UI");
  EXPECT_EQ(DesktopFontSize(), 9);

  ReleaseDesktopFont();
  EXPECT_EQ(DesktopFontName(), "");
}

// The main window's shape: a window, a top panel with a button, a log pane without scroll
// bars in the design, and labels in ordinary and in heading colours.
struct Window {
  explicit Window() {
    form.Font()->SetName("Tahoma");
    form.Font()->SetSize(8);
    panel = Add<TPanel>(&form);
    button = Add<TButton>(panel);
    memo = Add<TMemo>(&form);
    plain = Add<TLabel>(&form);
    heading = Add<TLabel>(&form);
    heading->Font()->SetSize(14);
    heading->Font()->SetColor(kHeadingColor);
    headingBold = Add<TLabel>(panel);
    headingBold->Font()->SetSize(12);
    headingBold->Font()->SetColor(kHeadingColorBold);
    ownPanel = Add<TPanel>(&form);
    ownPanel->Font()->SetName("DejaVu Serif");
    ownPanel->Font()->SetSize(20);
    inOwnPanel = Add<TButton>(ownPanel);
    ownHeadingPanel = Add<TPanel>(&form);
    ownHeadingPanel->Font()->SetSize(16);
    ownHeadingPanel->Font()->SetColor(kHeadingColor);
  }
  template <class C>
  C* Add(TWinControl* parent) {
    auto* c = new C(&form);  // owned by the form
    c->SetParent(parent);
    return c;
  }
  TForm form{nullptr};
  TPanel* panel;
  TButton* button;
  TMemo* memo;
  TLabel* plain;
  TLabel* heading;
  TLabel* headingBold;
  TPanel* ownPanel;
  TButton* inOwnPanel;
  TPanel* ownHeadingPanel;
};

struct Desktop {
  const char* name;
  int size;
  bool headingsTurnBold;
};

class AdjustWindowTest : public ::testing::TestWithParam<Desktop> {
 protected:
  void SetUp() override {
    SetDesktopFontOverride(GetParam().name, GetParam().size);
    CaptureDesktopFont();
  }
  void TearDown() override {
    ClearDesktopFontOverride();
    CaptureDesktopFont();
  }
  TApplication& app = uitest::App();
};

TEST_P(AdjustWindowTest, EveryControlFollowsTheDesktopFont) {
  const Desktop& d = GetParam();
  Window w;
  AdjustWindow(&w.form);

  // The window and everything that takes its font, plus the log pane, which gets it directly.
  for (TControl* c : std::initializer_list<TControl*>{&w.form, w.panel, w.button, w.memo, w.plain}) {
    SCOPED_TRACE(c->Widget()->metaObject()->className());
    EXPECT_EQ(c->Font()->Name(), d.name);
    EXPECT_EQ(c->Font()->Size(), d.size);
    EXPECT_EQ(c->Widget()->font().family(), d.name);
    EXPECT_EQ(c->Widget()->font().pointSize(), d.size);
  }
  EXPECT_TRUE(w.panel->ParentFont());
  EXPECT_TRUE(w.button->ParentFont());
  EXPECT_EQ(w.memo->ScrollBars(), ssVertical);
  EXPECT_EQ(static_cast<QPlainTextEdit*>(w.memo->Widget())->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  // Headings keep their size; outside "Segoe UI" they turn bold in the second heading colour.
  for (TLabel* label : {w.heading, w.headingBold}) {
    EXPECT_EQ(label->Font()->Name(), d.name);
    EXPECT_EQ((label->Font()->Style() & fsBold) != 0, d.headingsTurnBold);
  }
  EXPECT_EQ(w.heading->Font()->Size(), 14);
  EXPECT_EQ(w.headingBold->Font()->Size(), 12);
  EXPECT_EQ(w.heading->Font()->Color(), d.headingsTurnBold ? kHeadingColorBold : kHeadingColor);
  EXPECT_EQ(w.headingBold->Font()->Color(), kHeadingColorBold);

  // A windowed control with a font of its own gets the desktop font; its children that follow
  // it are not changed directly but follow.
  EXPECT_EQ(w.ownPanel->Font()->Name(), d.name);
  EXPECT_EQ(w.ownPanel->Font()->Size(), d.size);
  EXPECT_TRUE(w.inOwnPanel->ParentFont());
  EXPECT_EQ(w.inOwnPanel->Font()->Name(), d.name);
  EXPECT_EQ(w.inOwnPanel->Font()->Size(), d.size);
  // A windowed control in a heading colour keeps its size and style.
  EXPECT_EQ(w.ownHeadingPanel->Font()->Name(), d.name);
  EXPECT_EQ(w.ownHeadingPanel->Font()->Size(), 16);
  EXPECT_EQ(w.ownHeadingPanel->Font()->Style(), 0u);
  EXPECT_EQ(w.ownHeadingPanel->Font()->Color(), kHeadingColor);
  EXPECT_FALSE(ScaledWindow());
}

INSTANTIATE_TEST_SUITE_P(Desktops, AdjustWindowTest,
                         ::testing::Values(Desktop{"Segoe UI", 9, false}, Desktop{"DejaVu Sans", 11, true},
                                           Desktop{"Segoe UI Semibold", 10, true}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

TEST_F(DesktopFont, MemoDesignedWithScrollBarsKeepsThem) {
  Window w;
  w.memo->SetScrollBars(ssBoth);
  AdjustControl(w.memo);
  EXPECT_EQ(w.memo->ScrollBars(), ssBoth);
}

TEST_F(DesktopFont, WindowOfAnotherResolutionIsReportedAsScaled) {
  SetDesktopFontOverride("DejaVu Sans", 9);
  CaptureDesktopFont();
  for (bool scaled : {true, false}) {
    SCOPED_TRACE(scaled);
    TForm form(nullptr);
    form.BeginLoading();
    form.SetPixelsPerInch(Screen->PixelsPerInch() * 2);
    form.SetScaled(scaled);
    form.EndLoading();
    AdjustWindow(&form);
    EXPECT_EQ(ScaledWindow(), !scaled);
  }
  CaptureDesktopFont();
  EXPECT_FALSE(ScaledWindow());
}

}  // namespace
