#include "runtime/inifile.h"

#include <gtest/gtest.h>

#include "support/host_fixture.h"

namespace {

using hosttest::HostFixture;

// A file with the usual damage of hand-edited INI files.
const char kMessyIni[] =
    "orphan=before any section\r\n"
    "; comment=ignored\r\n"
    "[Config]\r\n"
    "   DataFolder   =   D:\\Pellmar Data\\   \r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Mismatched=\"x'\r\n"
    "Empty=\r\n"
    "garbage line without equals\r\n"
    "[broken section\r\n"
    "\x01\x02\x03\r\n"
    "=no key\r\n"
    "StandAlone=1\n"
    "standalone=2\r"
    "Last=tail"
    "\r\n[ other ]\r\n"
    "DataFolder=wrong section\r\n"
    "[CONFIG]\r\n"
    "Second=never read\r\n";

struct Lookup {
  const char* section;
  const char* key;
  std::optional<QString> value;
};

TEST(IniFile, ReadsValuesTheWayThePlatformDoes) {
  HostFixture host;
  host.WriteText("a.ini", kMessyIni);
  const QString file = host.Win("a.ini");
  const Lookup cases[] = {
      {"Config", "DataFolder", QStringLiteral("D:\\Pellmar Data\\")},
      {"config", "DATAFOLDER", QStringLiteral("D:\\Pellmar Data\\")},
      {" Config ", "DataFolder", QStringLiteral("D:\\Pellmar Data\\")},
      {"Config", "Quoted", QStringLiteral("  spaced  ")},
      {"Config", "Single", QStringLiteral("x")},
      {"Config", "Mismatched", QStringLiteral("\"x'")},
      {"Config", "Empty", QString()},
      {"Config", "StandAlone", QStringLiteral("1")},
      {"Config", "Last", QStringLiteral("tail")},
      {"other", "DataFolder", QStringLiteral("wrong section")},
      {"Config", "orphan", std::nullopt},
      {"Config", "; comment", std::nullopt},
      {"Config", "garbage line without equals", std::nullopt},
      {"Config", "Second", std::nullopt},
      {"Config", "Missing", std::nullopt},
      {"Nowhere", "DataFolder", std::nullopt},
  };
  for (const Lookup& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    const std::optional<QString> v = ReadPrivateProfileValue(c.section, c.key, file, 400);
    ASSERT_EQ(v.has_value(), c.value.has_value());
    if (v) {
      EXPECT_EQ(*v, *c.value);
    }
  }
}

TEST(IniFile, PresentButEmptyDiffersFromAbsent) {
  HostFixture host;
  host.WriteText("b.ini", "[OEM]\r\nOEMROOTKEY=\r\n");
  const TIniFile ini(host.Win("b.ini"));
  EXPECT_EQ(ini.ReadString("OEM", "OEMROOTKEY", "Pellmar"), QString());
  EXPECT_TRUE(ini.ValueExists("OEM", "OEMROOTKEY"));
  EXPECT_EQ(ini.ReadString("OEM", "OEMCOMPANY", "kept"), QStringLiteral("kept"));
  EXPECT_FALSE(ini.ValueExists("OEM", "OEMCOMPANY"));
  const TIniFile missing(host.Win("none.ini"));
  EXPECT_EQ(missing.ReadString("OEM", "OEMROOTKEY", "Pellmar"), QStringLiteral("Pellmar"));
}

TEST(IniFile, TheCallersCapacityCutsValueAndDefault) {
  HostFixture host;
  host.WriteText("c.ini", "[S]\r\nK=" + std::string(3000, 'v') + "\r\n");
  const QString file = host.Win("c.ini");
  EXPECT_EQ(ReadPrivateProfileValue("S", "K", file, 400)->size(), 399);
  EXPECT_EQ(ReadPrivateProfileValue("S", "K", file, 2048)->size(), 2047);
  EXPECT_EQ(ReadPrivateProfileValue("S", "K", file, 1)->size(), 0);
  EXPECT_EQ(TIniFile(file).ReadString("S", "K", ""), QString(2047, u'v'));
  EXPECT_EQ(GetPrivateProfileString("S", "none", "abcdef", 4, file), QStringLiteral("abc"));
}

TEST(IniFile, TextIsReadInTheAnsiCodePageUnlessMarkedAsUnicode) {
  HostFixture host;
  host.WriteText("ansi.ini", "[S]\r\nName=M\xfcller \x80\r\n");
  EXPECT_EQ(*ReadPrivateProfileValue("S", "Name", host.Win("ansi.ini"), 400), QString::fromUtf8("Müller €"));
  host.WriteText("utf8.ini", "\xEF\xBB\xBF[S]\r\nName=M\xc3\xbcller\r\n");
  EXPECT_EQ(*ReadPrivateProfileValue("S", "Name", host.Win("utf8.ini"), 400), QString::fromUtf8("Müller"));
  const std::u16string wide = u"\uFEFF[S]\r\nName=\u0141\u00f3d\u017a\r\n";
  host.WriteText("utf16.ini", std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  EXPECT_EQ(*ReadPrivateProfileValue("S", "Name", host.Win("utf16.ini"), 400), QString::fromUtf8("Łódź"));
}

}  // namespace
