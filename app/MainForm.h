// TfmReindex: the tool's main window. A strip along the top holds the "Start" button; below it
// the read-only log pane fills the window. Creating the window adjusts it to the desktop font,
// lists the data dictionaries a run will process (DatabaseList) and writes the introduction
// into the log pane; the "Start" button runs the reindex. The window instance is `fmReindex`.
// User-interface thread only.
#pragma once

#include <QString>
#include <memory>

#include "runtime/classes.h"
#include "runtime/ui/button.h"
#include "runtime/ui/form.h"
#include "runtime/ui/memo.h"
#include "runtime/ui/panel.h"

class TfmReindex : public TForm {
 public:
  // Builds the window from its definition (sizes at 96 pixels per inch, scaled to the screen).
  // The application's CreateForm then runs FormCreate.
  explicit TfmReindex(TComponent* owner);

  TPanel* Panel1;   // owned by the window
  TButton* cmStart;
  TMemo* Memo1;

  // Creation: appearance, caption, log pane, then the discovery of the data dictionaries.
  void FormCreate(TComponent* sender);
  // Closing: releases DatabaseList; the close action stays as the framework set it.
  void FormClose(TComponent* sender, TCloseAction& action);
  // The "Start" button.
  void cmStartClick(TComponent* sender);

 protected:
  // Private to the window in spirit; protected so that tests can reach them through a
  // subclass. Nothing else derives from this class.

  // Appends text as a new last line of the log pane, then processes every pending message so
  // the pane repaints and the window stays responsive during long work.
  void Log(const QString& text);
  // Extends the last line of the log pane with ", " and text; nothing when the pane holds no
  // line. Processes no messages.
  void LogAppend(const QString& text);

 private:
  // Fills DatabaseList with the main dictionary and every site dictionary under the data
  // folder and writes the introduction.
  void ListDatabases();
};

// The main window (nullptr until it is created).
extern TfmReindex* fmReindex;

// The data dictionaries a run processes, as paths relative to DataFolder() + "DB\": first
// "DB.add", then one "<seven-character number>\sitedb.add" per site in the order the file
// system lists the folders. Exists from FormCreate until FormClose.
extern std::unique_ptr<TStringList> DatabaseList;
