#include "app/MainForm.h"

#include "environment/VistaReady.h"
#include "runtime/messages.h"
#include "runtime/ui/application.h"

TfmReindex* fmReindex = nullptr;
std::unique_ptr<TStringList> DatabaseList;

TfmReindex::TfmReindex(TComponent* owner) : TForm(owner) {
  BeginLoading();
  SetName("fmReindex");
  SetPixelsPerInch(96);
  SetCaption("fmReindex");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetClientWidth(585);
  SetClientHeight(471);
  SetColor(clBtnFace);
  Font()->SetName("Tahoma");
  Font()->SetSize(8);
  Font()->SetStyle(0);
  Font()->SetColor(clWindowText);
  SetPosition(poScreenCenter);

  Panel1 = new TPanel(this);
  Panel1->SetName("Panel1");
  Panel1->SetParent(this);
  Panel1->SetBounds(0, 0, 585, 33);
  Panel1->SetAlign(alTop);
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetTabOrder(0);

  cmStart = new TButton(this);
  cmStart->SetName("cmStart");
  cmStart->SetParent(Panel1);
  cmStart->SetBounds(8, 4, 75, 25);
  cmStart->SetCaption("Start");
  cmStart->SetTabOrder(0);
  cmStart->OnClick = [this](TComponent* sender) { cmStartClick(sender); };

  Memo1 = new TMemo(this);
  Memo1->SetName("Memo1");
  Memo1->SetParent(this);
  Memo1->SetBounds(16, 52, 541, 237);
  Memo1->Lines()->SetText("Memo1");
  Memo1->SetReadOnly(true);
  Memo1->SetScrollBars(ssVertical);
  Memo1->SetWordWrap(true);
  Memo1->SetTabOrder(1);

  con = new TAdsConnection(this);
  con->SetName("con");
  con->SetAdsServerTypes(AdsServerTypeBit(stADS_REMOTE) | AdsServerTypeBit(stADS_LOCAL));
  con->SetLoginPrompt(false);
  con->SetUsername("adssys");
  con->SetStoreConnected(false);

  tb = new TAdsTable(this);
  tb->SetName("tb");
  tb->SetAdsConnection(con);
  tb->SetStoreActive(false);

  q = new TAdsQuery(this);
  q->SetName("q");
  q->SetAdsConnection(con);
  q->SetStoreActive(false);

  SetActiveControl(cmStart);
  OnCreate = [this](TComponent* sender) { FormCreate(sender); };
  OnClose = [this](TComponent* sender, TCloseAction& action) { FormClose(sender, action); };
  EndLoading();
}

void TfmReindex::FormCreate(TComponent*) {
  // Every Log of discovery processes messages, so a close request (a termination signal) can
  // arrive while DatabaseList is being filled: it is held until creation is complete.
  std::exception_ptr failure;
  creating_ = true;
  try {
    AdjustWindow(this);
    SetCaption(Application != nullptr ? Application->Title() : QString());
    Memo1->SetAlign(alClient);
    Memo1->Clear();
    ListDatabases();
  } catch (const std::exception&) {
    failure = std::current_exception();
  }
  creating_ = false;
  if (closeRequested_)
    CloseAsRequested(failure);
  else if (failure)
    std::rethrow_exception(failure);
}

void TfmReindex::FormClose(TComponent*, TCloseAction& action) {
  if (creating_ || running_) {
    // Discovery still fills DatabaseList, or the run still reads it and the data components:
    // whichever it is finishes its step and closes the window itself.
    closeRequested_ = true;
    action = caNone;
    return;
  }
  DatabaseList.reset();
}

void TfmReindex::CloseAsRequested(const std::exception_ptr& failure) {
  closeRequested_ = false;
  // Shown before the close: once the main window has closed, the message loop is over and a
  // message box would no longer appear.
  if (failure) RunHandler(this, [&failure] { std::rethrow_exception(failure); });
  Close();
}

void TfmReindex::Log(const QString& text) {
  Memo1->Lines()->Add(text);
  if (OnLogLine) OnLogLine(text, false);
  ProcessMessages();
}

void TfmReindex::LogAppend(const QString& text) {
  TMemoLines* lines = Memo1->Lines();
  if (lines->Count() == 0) return;
  const int last = lines->Count() - 1;
  lines->SetStrings(last, lines->Strings(last) + ", " + text);
  if (OnLogLine) OnLogLine(", " + text, true);
}
