// TfmReindex: the tool's main window. A strip along the top holds the "Start" button; below it
// the read-only log pane fills the window. Creating the window adjusts it to the desktop font,
// lists the data dictionaries a run will process (DatabaseList) and writes the introduction
// into the log pane; the "Start" button runs the reindex. The window instance is `fmReindex`.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
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
  // The data components of the run, owned by the window: the connection to one dictionary at
  // a time, the table being reindexed and the query listing the dictionary's tables.
  TAdsConnection* con;
  TAdsTable* tb;
  TAdsQuery* q;

  // Creation: appearance, caption, log pane, then the discovery of the data dictionaries.
  void FormCreate(TComponent* sender);
  // Closing: releases DatabaseList; the close action stays as the framework set it. While a
  // run is in progress the window stays open instead: the run stops after the table it is
  // working on, writes its end lines and the log file, and then closes the window.
  void FormClose(TComponent* sender, TCloseAction& action);
  // The "Start" button: reindexes every dictionary of DatabaseList, logging each step, then
  // saves the log pane as DataFolder() + "Logs\quenlor.txt".
  void cmStartClick(TComponent* sender);

  // Whether the Start handler is running.
  bool Running() const { return running_; }
  // Called with every line the log pane gets and every extension of its last line (the
  // unattended run copies them to standard output). Null: nothing.
  std::function<void(const QString& line, bool appended)> OnLogLine;

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
  // Processes one data dictionary (path P); reports every failure it can.
  void ReindexDatabase(const QString& path);
  // The table steps for the query's current row.
  void ReindexTable(const QString& folder);

  bool running_ = false;
  bool closeRequested_ = false;
};

// The main window (nullptr until it is created).
extern TfmReindex* fmReindex;

// The data dictionaries a run processes, as paths relative to DataFolder() + "DB\": first
// "DB.add", then one "<seven-character number>\sitedb.add" per site in the order the file
// system lists the folders. Exists from FormCreate until FormClose.
extern std::unique_ptr<TStringList> DatabaseList;
