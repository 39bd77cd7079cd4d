// The fixture of the reindex run's end-to-end tests: a main window on a private host whose
// data folder is the host folder "data", the engine library installed beside the tool's
// executable, and readers for what a run leaves behind (the saved log file, the records of
// every table).
#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <string>

#include "ads/ace.h"
#include "runtime/text.h"
#include "test_env.h"
#include "tests/app/main_window_fixture.h"

namespace apptest {

// A text or byte argument for the engine's C interface.
inline UNSIGNED8* AnsiArg(QByteArray& b) { return reinterpret_cast<UNSIGNED8*>(b.data()); }

// Creates the data dictionary `path` (a path the engine takes; its folder must exist) with the
// given native tables of one row each.
inline void MakeOneRowDictionary(const QString& path, std::initializer_list<const char*> tables) {
  QByteArray p = ToAnsi(path);
  ADSHANDLE dict = 0;
  ASSERT_EQ(AdsDDCreate(AnsiArg(p), 0, nullptr, &dict), 0u);
  for (const char* t : tables) {
    QByteArray name(t);
    QByteArray fields("NAME,Char,10;");
    ADSHANDLE table = 0;
    ASSERT_EQ(AdsCreateTable90(dict, AnsiArg(name), nullptr, 3, 1, 1, 1, 512, AnsiArg(fields), 0, nullptr, &table), 0u);
    ASSERT_EQ(AdsAppendRecord(table), 0u);
    ASSERT_EQ(AdsWriteRecord(table), 0u);
    ASSERT_EQ(AdsCloseTable(table), 0u);
  }
  ASSERT_EQ(AdsDisconnect(dict), 0u);
}

class ReindexRunFixture : public MainWindowTest {
 protected:
  // The saved log file, split at CR LF; the file must end with CR LF.
  QStringList SavedLog() {
    std::ifstream in(data_ / "Logs" / "quenlor.txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n");
    QStringList lines = FromAnsi(QByteArray::fromStdString(bytes)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
  }
  // The lines after the introduction ("Starting" onwards), time stamps replaced by "T".
  static QStringList RunPart(const QStringList& lines) {
    const int start = static_cast<int>(lines.indexOf(QStringLiteral("Starting")));
    EXPECT_GE(start, 1);
    QStringList out;
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}:\\d{2})? "));
    for (int i = start - 1; i < lines.size(); ++i) out << QString(lines[i]).replace(stamp, QStringLiteral("T "));
    return out;
  }
  QString Db(const QString& relative) { return DataFolder() + "DB\\" + relative; }


  // Every table file under the data folder with its records as the engine reads them: for
  // each record its deletion flag and its whole record image, and the bytes of its memo file.
  std::map<std::string, QByteArray> RecordImages() {
    std::map<std::string, QByteArray> images;
    AdsShowDeleted(1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data_)) {
      if (entry.path().extension() != ".adt") continue;
      QByteArray path = ToAnsi(QString::fromStdString(entry.path().string()));
      ADSHANDLE h = 0;
      QByteArray& image = images[entry.path().string()];
      if (AdsOpenTable90(0, AnsiArg(path), nullptr, 3, 1, 1, 1, ADS_READONLY, nullptr, &h) != 0) {
        image = "cannot open";
        continue;
      }
      UNSIGNED32 count = 0;
      EXPECT_EQ(AdsGetRecordCount(h, 2, &count), 0u);
      for (UNSIGNED32 n = 1; n <= count; ++n) {
        EXPECT_EQ(AdsGotoRecord(h, n), 0u);
        UNSIGNED16 deleted = 0;
        EXPECT_EQ(AdsIsRecordDeleted(h, &deleted), 0u);
        QByteArray record(4096, '\0');
        UNSIGNED32 length = record.size();
        EXPECT_EQ(AdsGetRecord(h, AnsiArg(record), &length), 0u);
        image += (deleted ? 'D' : ' ') + record.left(length);
      }
      EXPECT_EQ(AdsCloseTable(h), 0u);
      std::filesystem::path memo = entry.path();
      memo.replace_extension(".adm");
      std::ifstream in(memo, std::ios::binary);
      image += "memo:" + QByteArray::fromStdString(std::string((std::istreambuf_iterator<char>(in)), {}));
    }
    AdsShowDeleted(0);
    return images;
  }

  // The engine library beside the tool's executable, where the components look first.
  bool engineInstalled_ = [this] {
    std::filesystem::create_directories(install.root() / "exe");
    std::filesystem::create_symlink(testenv::BinDir() / "libace32.so", install.root() / "exe" / "libace32.so");
    ace_binding::ResetForTesting();
    return true;
  }();
  std::filesystem::path data_ = UseHostDataFolder();
};

}  // namespace apptest
