#include "runtime/sysutils.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"

namespace {

struct IntCase {
  const char* text;
  bool ok;
  int value;
};

TEST(StrToInt, FollowsTheRuntimeRulesForSignsBlanksAndHexPrefixes) {
  const IntCase cases[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"   42", true, 42},
      {"+7", true, 7},
      {"-000001", true, -1},
      {"$1F", true, 31},
      {"x1f", true, 31},
      {"X10", true, 16},
      {"0x10", true, 16},
      {"0XfF", true, 255},
      {"-$10", true, -16},
      {"  -0x7FFFFFFF", true, -2147483647},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"-$80000000", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"$80000000", false, 0},
      {"99999999999999999999", false, 0},
      {"", false, 0},
      {"   ", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"0x", false, 0},
      {"42 ", false, 0},
      {"4 2", false, 0},
      {"12a", false, 0},
      {"$1G", false, 0},
      {"--1", false, 0},
      {"\t1", false, 0},
      {"1.0", false, 0},
      {"00x1", false, 0},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.text);
    int v = 12345;
    EXPECT_EQ(TryStrToInt(QString::fromUtf8(c.text), v), c.ok);
    EXPECT_EQ(v, c.ok ? c.value : 12345) << "a failed conversion must leave the target alone";
    EXPECT_EQ(StrToIntDef(QString::fromUtf8(c.text), -99), c.ok ? c.value : -99);
  }
}

TEST(StrToInt, RaisesConvertErrorNamingTheText) {
  EXPECT_EQ(StrToInt(" $ff"), 255);
  try {
    StrToInt("12x");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("'12x' is not a valid integer value"));
    EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
  }
  EXPECT_EQ(IntToStr(-2147483647 - 1), QStringLiteral("-2147483648"));
}

struct PathCase {
  const char* path;
  const char* filePath;
  const char* fileName;
  const char* fileDir;
  const char* ext;
};

TEST(PathText, SplitsWindowsFormPathsAtEitherSeparatorAndTheDriveColon) {
  const PathCase cases[] = {
      {"C:\\Data\\DB\\DB.add", "C:\\Data\\DB\\", "DB.add", "C:\\Data\\DB", ".add"},
      {"C:\\DB.add", "C:\\", "DB.add", "C:\\", ".add"},
      {"C:DB.add", "C:", "DB.add", "C:", ".add"},
      {"C:/Data/x.tar.gz", "C:/Data/", "x.tar.gz", "C:/Data", ".gz"},
      {"\\\\server\\share\\f.txt", "\\\\server\\share\\", "f.txt", "\\\\server\\share", ".txt"},
      {"relative\\name", "relative\\", "name", "relative", ""},
      {"name.", "", "name.", "", "."},
      {"C:\\dir.d\\file", "C:\\dir.d\\", "file", "C:\\dir.d", ""},
      {"", "", "", "", ""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.path);
    const QString p = QString::fromUtf8(c.path);
    EXPECT_EQ(ExtractFilePath(p), QString::fromUtf8(c.filePath));
    EXPECT_EQ(ExtractFileName(p), QString::fromUtf8(c.fileName));
    EXPECT_EQ(ExtractFileDir(p), QString::fromUtf8(c.fileDir));
    EXPECT_EQ(ExtractFileExt(p), QString::fromUtf8(c.ext));
  }
}

TEST(PathText, TrailingDelimitersAndExtensionChanges) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:/a/"), "C:/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\a\\"), "C:\\a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\a"), "C:\\a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "");
  EXPECT_EQ(ChangeFileExt("C:\\d.x\\t.adt", ".adi"), "C:\\d.x\\t.adi");
  EXPECT_EQ(ChangeFileExt("C:\\d.x\\t", ".adi"), "C:\\d.x\\t.adi");
  EXPECT_EQ(ChangeFileExt("t.adt", ""), "t");
}

}  // namespace
