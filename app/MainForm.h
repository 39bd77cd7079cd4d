// TfmReindex: the tool's main window. A strip along the top holds the "Start" button; below it
// the read-only log pane fills the window. Creating the window adjusts it to the desktop font,
// lists the data dictionaries a run will process (DatabaseList) and writes the introduction
// into the log pane; the "Start" button runs the reindex. The window instance is `fmReindex`.
// User-interface thread only.
#pragma once

#include <QString>
#include <exception>
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
  // Closing: releases DatabaseList; the close action stays as the framework set it. While the
  // window is being created or a run is in progress it stays open instead, because discovery
  // still fills DatabaseList and the run still reads it: creation finishes and then closes the
  // window; a run stops after the table it is working on, writes its end lines and the log
  // file, and then closes the window.
  void FormClose(TComponent* sender, TCloseAction& action);
  // The "Start" button: reindexes every dictionary of DatabaseList, logging each step, then
  // saves the log pane as DataFolder() + "Logs\quenlor.txt". A run that is stopped before
  // every dictionary was processed to its end (by a close request, or by an exception that is
  // not one of the runtime's) ends its log with " Stopped." and the dictionaries it did not
  // reindex instead of " Finished.", and still saves the log.
  void cmStartClick(TComponent* sender);

  // Whether the Start handler is running.
  bool Running() const { return running_; }
  // Whether the last run ended before it had processed every dictionary of DatabaseList.
  bool Stopped() const { return stopped_; }
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
  // The end of a run that did not process every dictionary: the " Stopped." line and one
  // warning per dictionary from entry `next` of DatabaseList on; `begun` tells whether the run
  // had started on that entry.
  void LogStopped(int next, bool begun);
  // Closes the window as requested while it was busy, after handing `failure` (when there is
  // one) to the default handler, so that its message is seen before the window goes.
  void CloseAsRequested(const std::exception_ptr& failure);

  bool creating_ = false;  // FormCreate is running
  bool running_ = false;   // the Start handler is running
  bool closeRequested_ = false;
  bool dictionaryCut_ = false;  // ReindexDatabase left the dictionary with tables to do
  bool stopped_ = false;
};

// The main window (nullptr until it is created).
extern TfmReindex* fmReindex;

// The data dictionaries a run processes, as paths relative to DataFolder() + "DB\": first
// "DB.add", then one "<seven-character number>\sitedb.add" per site in the order the file
// system lists the folders. Exists from FormCreate until FormClose.
extern std::unique_ptr<TStringList> DatabaseList;
