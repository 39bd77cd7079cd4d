// The discovery of the data dictionaries, the second half of the main window's creation.
//
// An installation keeps its main dictionary in DataFolder() + "DB\DB.add" and one dictionary
// "sitedb.add" per site in a folder of "DB" whose name is seven characters long and converts to
// an integer other than -1 (with the runtime's conversion, so "-000002" and "$00001F" qualify).
// The main dictionary is always listed; site folders are listed in the order the file system
// enumerates them, never sorted, because the run processes them in list order.
#include "app/MainForm.h"
#include "environment/toolbookprocs.h"
#include "runtime/filesys.h"
#include "runtime/sysutils.h"

void TfmReindex::ListDatabases() {
  Log("This tool performs a re-indexing of all Pellmar database tables.");
  Log("");
  Log("IMPORTANT:");
  Log("  1. Before executing this tool, make a backup of the database.");
  Log("  2. Make sure that nobody else is using the Pellmar system.");
  Log("");
  Log("Database folder: " + DataFolder());
  Log("The following databases will be checked:");

  DatabaseList = std::make_unique<TStringList>();
  DatabaseList->Add("DB.add");
  Log("db.add");

  const QString dbFolder = DataFolder() + "DB\\";
  TSearchRec entry;
  // A missing or unreadable "DB" folder lists no sites; the main dictionary stays listed.
  if (FindFirst(dbFolder + "*.*", faAnyFile, entry) == 0) {
    do {
      const QString name = entry.Name;
      if (StrToIntDef(name, -1) == -1) continue;
      if (name.length() != 7) continue;
      if (!FileExists(dbFolder + name + "\\sitedb.add")) continue;
      const QString database = name + "\\sitedb.add";
      DatabaseList->Add(database);
      Log(database);
    } while (FindNext(entry) == 0);
  }
  FindClose(entry);

  Log("");
  Log("Click on \"Start\" to begin the reindexing.");
}
