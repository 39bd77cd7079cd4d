// Controls inside a window: the child list, alignment, fonts and their inheritance from the
// parent, colours, and the push button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "runtime/exception.h"
#include "runtime/ui/button.h"
#include "runtime/ui/form.h"
#include "runtime/ui/label.h"
#include "runtime/ui/memo.h"
#include "runtime/ui/panel.h"
#include "tests/runtime/ui_test_application.h"

namespace {

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    form.SetBorderStyle(bsSingle);
    form.SetClientWidth(585);
    form.SetClientHeight(471);
  }
  template <class C>
  C* Add(TWinControl* parent) {
    auto* c = new C(&form);  // owned by the form
    c->SetParent(parent);
    return c;
  }
  TApplication& app = uitest::App();  // before any widget
  TForm form{nullptr};
};

TEST_F(Controls, ChildListKeepsPlacementOrderOfWindowedAndNonWindowedChildren) {
  TPanel* panel = Add<TPanel>(&form);
  TLabel* label = Add<TLabel>(&form);
  TMemo* memo = Add<TMemo>(&form);
  TButton* button = Add<TButton>(panel);
  ASSERT_EQ(form.ControlCount(), 3);
  EXPECT_EQ(form.Controls(0), panel);
  EXPECT_EQ(form.Controls(1), label);
  EXPECT_EQ(form.Controls(2), memo);
  EXPECT_EQ(form.Controls(3), nullptr);
  ASSERT_EQ(panel->ControlCount(), 1);
  EXPECT_EQ(panel->Controls(0), button);
  EXPECT_TRUE(panel->IsWindowed());
  EXPECT_TRUE(button->IsWindowed());
  EXPECT_FALSE(label->IsWindowed());
  EXPECT_EQ(button->Widget()->parentWidget(), panel->Widget());

  // Moving a control appends it to its new parent; destroying one removes it.
  label->SetParent(panel);
  EXPECT_EQ(form.ControlCount(), 2);
  EXPECT_EQ(form.Controls(1), memo);
  EXPECT_EQ(panel->Controls(1), label);
  delete button;
  ASSERT_EQ(panel->ControlCount(), 1);
  EXPECT_EQ(panel->Controls(0), label);
}

TEST_F(Controls, TopPanelAndClientMemoShareTheClientArea) {
  TPanel* panel = Add<TPanel>(&form);
  panel->SetBounds(0, 0, 585, 33);
  panel->SetAlign(alTop);
  TMemo* memo = Add<TMemo>(&form);
  memo->SetBounds(16, 52, 541, 237);
  EXPECT_EQ(memo->Widget()->geometry(), QRect(16, 52, 541, 237));
  memo->SetAlign(alClient);
  EXPECT_EQ(panel->Widget()->geometry(), QRect(0, 0, 585, 33));
  EXPECT_EQ(memo->Widget()->geometry(), QRect(0, 33, 585, 438));
  EXPECT_EQ(memo->Left(), 0);
  EXPECT_EQ(memo->Top(), 33);
  EXPECT_EQ(memo->Width(), 585);
  EXPECT_EQ(memo->Height(), 438);
}

TEST_F(Controls, EdgesStackInChildOrderAndHiddenControlsTakeNoSpace) {
  TPanel* top1 = Add<TPanel>(&form);
  top1->SetHeight(30);
  top1->SetAlign(alTop);
  TPanel* top2 = Add<TPanel>(&form);
  top2->SetHeight(20);
  top2->SetAlign(alTop);
  TPanel* bottom = Add<TPanel>(&form);
  bottom->SetHeight(40);
  bottom->SetAlign(alBottom);
  TPanel* left = Add<TPanel>(&form);
  left->SetWidth(100);
  left->SetAlign(alLeft);
  TPanel* client = Add<TPanel>(&form);
  client->SetAlign(alClient);
  EXPECT_EQ(top1->Widget()->geometry(), QRect(0, 0, 585, 30));
  EXPECT_EQ(top2->Widget()->geometry(), QRect(0, 30, 585, 20));
  EXPECT_EQ(bottom->Widget()->geometry(), QRect(0, 431, 585, 40));
  EXPECT_EQ(left->Widget()->geometry(), QRect(0, 50, 100, 381));
  EXPECT_EQ(client->Widget()->geometry(), QRect(100, 50, 485, 381));
  top2->SetVisible(false);
  EXPECT_EQ(left->Widget()->geometry(), QRect(0, 30, 100, 401));
  EXPECT_EQ(client->Widget()->geometry(), QRect(100, 30, 485, 401));
}

TEST_F(Controls, ChildrenWithParentFontFollowEveryChangeOfTheParentsFont) {
  TPanel* panel = Add<TPanel>(&form);
  TButton* button = Add<TButton>(panel);
  TMemo* own = Add<TMemo>(&form);
  own->Font()->SetName("DejaVu Sans Mono");  // a direct change: ParentFont goes off
  EXPECT_FALSE(own->ParentFont());
  EXPECT_TRUE(panel->ParentFont());
  EXPECT_TRUE(button->ParentFont());

  form.Font()->SetName("DejaVu Serif");
  form.Font()->SetSize(13);
  for (TControl* c : {static_cast<TControl*>(panel), static_cast<TControl*>(button)}) {
    EXPECT_EQ(c->Font()->Name(), "DejaVu Serif");
    EXPECT_EQ(c->Font()->Size(), 13);
    EXPECT_EQ(c->Widget()->font().family(), "DejaVu Serif");
    EXPECT_EQ(c->Widget()->font().pointSize(), 13);
    EXPECT_TRUE(c->ParentFont());  // following the parent does not turn the setting off
  }
  EXPECT_EQ(own->Font()->Name(), "DejaVu Sans Mono");
  EXPECT_EQ(own->Font()->Size(), 8);

  // Turning the setting back on takes the parent's font at once.
  own->SetParentFont(true);
  EXPECT_EQ(own->Font()->Name(), "DejaVu Serif");
  EXPECT_EQ(own->Font()->Size(), 13);

  // A control placed later starts with its parent's font.
  TLabel* label = Add<TLabel>(panel);
  EXPECT_EQ(label->Font()->Name(), "DejaVu Serif");
}

struct ColorCase {
  TColor color;
  QColor expected;
};

TEST_F(Controls, FontColourAndStyleReachTheWidget) {
  const ColorCase cases[] = {
      {10040064, QColor(0, 51, 153)},
      {9527094, QColor(54, 95, 145)},
      {RGBToColor(255, 0, 0), QColor(255, 0, 0)},
      {clWindowText, QGuiApplication::palette().color(QPalette::WindowText)},
  };
  TLabel* label = Add<TLabel>(&form);
  for (const ColorCase& c : cases) {
    SCOPED_TRACE(c.color);
    label->Font()->SetColor(c.color);
    EXPECT_EQ(label->Widget()->palette().color(QPalette::WindowText), c.expected);
  }
  EXPECT_EQ(RGBToColor(0, 51, 153), 10040064);
  label->Font()->SetStyle(fsBold | fsItalic);
  EXPECT_TRUE(label->Widget()->font().bold());
  EXPECT_TRUE(label->Widget()->font().italic());
  EXPECT_FALSE(label->Widget()->font().underline());
  label->SetCaption("<b>plain</b>");
  EXPECT_EQ(static_cast<QLabel*>(label->Widget())->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->Caption(), "<b>plain</b>");
}

TEST_F(Controls, DisabledControlsShowTheDesktopsDisabledText) {
  const QPalette desktop = QGuiApplication::palette();
  const QPalette::ColorRole roles[] = {QPalette::WindowText, QPalette::Text, QPalette::ButtonText};
  TWinControl* button = Add<TButton>(&form);
  TWinControl* memo = Add<TMemo>(&form);
  for (TWinControl* control : {button, memo}) {
    for (const TColor colour : {clWindowText, RGBToColor(255, 0, 0)}) {
      SCOPED_TRACE(colour);
      control->Font()->SetColor(colour);
      control->SetEnabled(false);
      const QPalette shown = control->Widget()->palette();
      for (QPalette::ColorRole role : roles) {
        EXPECT_EQ(shown.color(QPalette::Disabled, role), desktop.color(QPalette::Disabled, role)) << role;
        EXPECT_NE(shown.color(QPalette::Disabled, role), shown.color(QPalette::Active, role)) << role;
        EXPECT_EQ(shown.color(QPalette::Active, role), ColorToQColor(colour)) << role;
      }
      control->SetEnabled(true);
    }
  }
}

TEST_F(Controls, FormAndPanelUseTheButtonFaceColour) {
  TPanel* panel = Add<TPanel>(&form);
  const QColor face = QGuiApplication::palette().color(QPalette::Button);
  EXPECT_EQ(form.Color(), clBtnFace);
  EXPECT_EQ(form.Widget()->palette().color(QPalette::Window), face);
  EXPECT_EQ(panel->Widget()->palette().color(QPalette::Window), face);
  EXPECT_TRUE(form.Widget()->autoFillBackground());
}

TEST_F(Controls, PanelBevel) {
  TPanel* panel = Add<TPanel>(&form);
  EXPECT_EQ(static_cast<QFrame*>(panel->Widget())->frameShadow(), QFrame::Raised);
  panel->SetBevelOuter(bvNone);
  EXPECT_EQ(static_cast<QFrame*>(panel->Widget())->frameShape(), QFrame::NoFrame);
}

TEST_F(Controls, ButtonClickRunsTheHandlerOnlyWhileEnabled) {
  TButton* button = Add<TButton>(&form);
  button->SetCaption("Start");
  auto* push = static_cast<QPushButton*>(button->Widget());
  EXPECT_EQ(push->text(), "Start");
  std::vector<TComponent*> senders;
  button->OnClick = [&](TComponent* sender) { senders.push_back(sender); };
  form.Show();
  push->click();
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], button);
  button->SetEnabled(false);
  EXPECT_FALSE(push->isEnabled());
  push->click();  // the user cannot press a disabled button
  EXPECT_EQ(senders.size(), 1u);
}

TEST_F(Controls, ExceptionFromClickHandlerIsReportedAndTheButtonStillWorks) {
  uitest::ScopedExceptionCapture capture;
  TButton* button = Add<TButton>(&form);
  int calls = 0;
  button->OnClick = [&](TComponent*) {
    if (++calls == 1) throw EInOutError("Cannot create file \"C:\\Logs\\quenlor.txt\". Access is denied");
  };
  form.Show();
  static_cast<QPushButton*>(button->Widget())->click();
  static_cast<QPushButton*>(button->Widget())->click();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(capture.messages, QStringList{"Cannot create file \"C:\\Logs\\quenlor.txt\". Access is denied"});
  ASSERT_EQ(capture.senders.size(), 1u);
  EXPECT_EQ(capture.senders[0], button);
}

TEST_F(Controls, StandardExceptionsAreReportedWithTheirText) {
  uitest::ScopedExceptionCapture capture;
  TButton* button = Add<TButton>(&form);
  button->OnClick = [](TComponent*) { throw std::runtime_error("out of r\xC3\xA4um"); };
  button->Click();
  EXPECT_EQ(capture.messages, QStringList{QString::fromUtf8("out of r\xC3\xA4um")});
}

TEST_F(Controls, TabKeyMovesTheFocusInTabOrder) {
  TPanel* panel = Add<TPanel>(&form);
  TButton* inPanel = Add<TButton>(panel);
  TMemo* memo = Add<TMemo>(&form);
  memo->SetReadOnly(true);
  TButton* last = Add<TButton>(&form);
  EXPECT_EQ(panel->TabOrder(), 0);
  EXPECT_EQ(memo->TabOrder(), 1);
  EXPECT_EQ(last->TabOrder(), 2);
  last->SetTabOrder(0);
  EXPECT_EQ(last->TabOrder(), 0);
  EXPECT_EQ(panel->TabOrder(), 1);
  EXPECT_EQ(memo->TabOrder(), 2);
  form.SetActiveControl(last);
  form.Show();
  QCoreApplication::processEvents();
  auto pressTab = [&](bool shift) {
    QKeyEvent press(QEvent::KeyPress, shift ? Qt::Key_Backtab : Qt::Key_Tab,
                    shift ? Qt::ShiftModifier : Qt::NoModifier);
    QApplication::sendEvent(form.Widget()->focusWidget(), &press);
    return form.Widget()->focusWidget();
  };
  ASSERT_EQ(form.Widget()->focusWidget(), last->Widget());
  EXPECT_EQ(pressTab(false), inPanel->Widget());  // the panel itself takes no focus
  EXPECT_EQ(pressTab(false), memo->Widget());
  EXPECT_EQ(pressTab(false), last->Widget());  // the read-only log pane lets Tab move on
  EXPECT_EQ(pressTab(true), memo->Widget());
  inPanel->SetEnabled(false);
  EXPECT_EQ(pressTab(false), last->Widget());
  EXPECT_EQ(pressTab(false), memo->Widget());
}

TEST_F(Controls, ControlsDieWithTheirOwnerWhateverTheOrderOfWidgets) {
  // The owner is not the parent: the parent goes first and takes the widgets with it.
  TComponent owner(nullptr);
  auto* outer = new TPanel(&form);
  outer->SetParent(&form);
  auto* inner = new TButton(&owner);
  inner->SetParent(outer);
  delete outer;
  EXPECT_EQ(inner->Parent(), nullptr);
  EXPECT_EQ(inner->Widget(), nullptr);
  inner->SetCaption("no widget left");  // must not touch released widgets
  inner->SetBounds(1, 2, 3, 4);
  EXPECT_EQ(inner->Caption(), "");
}

}  // namespace
