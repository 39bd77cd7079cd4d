// A main window created as the tool creates it, on a private host whose user hive names the
// data folder, with the desktop font fixed. MainWindowProbe opens the window's log operations
// to the tests.
#pragma once

#include <dirent.h>

#include <QCoreApplication>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "environment/VistaReady.h"
#include "tests/environment/support/installation_fixture.h"
#include "tests/runtime/ui_test_application.h"

namespace apptest {

class MainWindowProbe : public TfmReindex {
 public:
  using TfmReindex::Log;
  using TfmReindex::LogAppend;
  using TfmReindex::TfmReindex;

  QStringList PaneLines() const {
    QStringList lines;
    for (int i = 0; i < Memo1->Lines()->Count(); ++i) lines << Memo1->Lines()->Strings(i);
    return lines;
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    SetDesktopFontOverride("Segoe UI", 9);
    CaptureDesktopFont();
    app.SetTitle("Database Quenlor");
  }
  ~MainWindowTest() override {
    window.reset();
    fmReindex = nullptr;
    DatabaseList.reset();
    ClearDesktopFontOverride();
  }

  // The data folder as the user hive gives it (a Windows-form path), resolved by the settings.
  void UseDataFolder(const QString& folder) {
    install.WriteUserHive(installtest::UserKey(
        "Software\\Pellmar", {{"DataFolder", installtest::RegSz(folder.toStdString())}}));
    FinalizeSettings();
    LoadBranding();  // the settings are read under the brand's registry key
    InitializeSettings();
  }

  // The host folder "data" of the fixture as the data folder, "DB" inside it not yet made.
  std::filesystem::path UseHostDataFolder() {
    const std::filesystem::path data = install.root() / "data";
    std::filesystem::create_directories(data);
    UseDataFolder(install.Win("data"));
    return data;
  }

  // Creates the window as the application does: the definition, then the creation handler.
  MainWindowProbe& CreateWindow() {
    window = std::make_unique<MainWindowProbe>(nullptr);
    fmReindex = window.get();
    window->AfterConstruction();
    return *window;
  }

  // Names in the folder in the order the host's readdir returns them, "." and ".." included.
  static std::vector<std::string> ReaddirOrder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
      while (dirent* e = readdir(dir)) names.emplace_back(e->d_name);
      closedir(dir);
    }
    return names;
  }

  TApplication& app = uitest::App();
  installtest::Installation install;
  std::unique_ptr<MainWindowProbe> window;
};

// The introduction before the list of databases, for a given data folder.
inline QStringList IntroductionHead(const QString& dataFolder) {
  return {"This tool performs a re-indexing of all Pellmar database tables.",
          "",
          "IMPORTANT:",
          "  1. Before executing this tool, make a backup of the database.",
          "  2. Make sure that nobody else is using the Pellmar system.",
          "",
          "Database folder: " + dataFolder,
          "The following databases will be checked:",
          "db.add"};
}

inline QStringList IntroductionTail() { return {"", "Click on \"Start\" to begin the reindexing."}; }

}  // namespace apptest
