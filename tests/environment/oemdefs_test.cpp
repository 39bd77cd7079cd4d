#include "environment/OEMDEFS.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QImage>

#include "support/installation_fixture.h"

namespace {

using installtest::Installation;

TEST(Branding, WithoutBrandingFilesEveryEntryKeepsItsDefault) {
  Installation host;
  LoadBranding();
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Pellmar"));
  EXPECT_EQ(OEMROOTKEY(), QStringLiteral("Pellmar"));
  for (int i = 0; i < kBrandingEntryCount; ++i) {
    const auto e = static_cast<BrandingEntry>(i);
    SCOPED_TRACE(i);
    EXPECT_FALSE(Branding(e).isEmpty());
    EXPECT_EQ(Branding(e), BrandingDefault(e));
    EXPECT_EQ(BrandingKey(e).isEmpty(), i >= kBrandingKeyCount);
  }
  EXPECT_EQ(BrandingKey(BrandingEntry::OEMDRILLPLAN), QStringLiteral("OEMDRILLPLAN"));
  EXPECT_EQ(Branding("oemrootkey"), QStringLiteral("Pellmar"));
  EXPECT_EQ(Branding("NOSUCHKEY"), QString());
  EXPECT_TRUE(BrandingIconFile().isEmpty());
}

TEST(Branding, PresentKeysReplaceEvenWhenEmptyAndAbsentKeysKeep) {
  Installation host;
  const std::string longValue(2100, 'w');
  host.WriteText("exe/oeminfo.dat",
                 "[Other]\r\n"
                 "OEMCOMPANY=from another section\r\n"
                 "[oem]\r\n"
                 "OEMROOTKEY=\r\n"
                 "oemcompany=Kr\xf6ger Shipping\r\n"
                 "OEMCOMPANYNAME=not a key of ours\r\n"
                 "garbage\r\n"
                 "OEMSUPPORTWEB=" + longValue + "\r\n");
  LoadBranding();
  EXPECT_EQ(OEMROOTKEY(), QString()) << "present but empty replaces";
  EXPECT_EQ(Branding(BrandingEntry::OEMCOMPANY), QString::fromUtf8("Kröger Shipping"));
  EXPECT_EQ(Branding(BrandingEntry::OEMSUPPORTWEB), QString(2047, u'w'));
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Pellmar")) << "absent keeps";
  EXPECT_EQ(Branding(BrandingEntry::OEMSUPPORTCOMPANY), BrandingDefault(BrandingEntry::OEMSUPPORTCOMPANY));
  EXPECT_EQ(Branding(BrandingEntry::Sales), BrandingDefault(BrandingEntry::Sales));
}

TEST(Branding, LoadsOnceUntilFinalisedAndFinalisationClearsEverything) {
  Installation host;
  host.WriteText("exe/oeminfo.dat", "[OEM]\r\nOEMCOMPSHORT=Acme\r\n");
  LoadBranding();
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Acme"));
  host.WriteText("exe/oeminfo.dat", "[OEM]\r\nOEMCOMPSHORT=Other\r\n");
  LoadBranding();
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Acme")) << "the second run does nothing";
  FinalizeBranding();
  for (int i = 0; i < kBrandingEntryCount; ++i) EXPECT_TRUE(Branding(static_cast<BrandingEntry>(i)).isEmpty());
  LoadBranding();
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Other"));
  EXPECT_EQ(OEMROOTKEY(), QStringLiteral("Pellmar"));
}

TEST(Branding, AnUnreadableInfoFileKeepsTheDefaults) {
  Installation host;
  std::filesystem::create_directories(host.root() / "exe/oeminfo.dat");  // a folder, not a file
  LoadBranding();
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Pellmar"));
  FinalizeBranding();
  std::filesystem::remove(host.root() / "exe/oeminfo.dat");
  host.WriteText("exe/oeminfo.dat", std::string("\x00\xff\x00[OEM\x00\r\n=\r\n", 12));
  LoadBranding();
  EXPECT_EQ(OEMCOMPSHORT(), QStringLiteral("Pellmar"));
  EXPECT_EQ(OEMROOTKEY(), QStringLiteral("Pellmar"));
}

TEST(Branding, OemIconBecomesTheApplicationIcon) {
  Installation host;
  int argc = 1;
  char name[] = "tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::red);
  const std::string icon = (host.root() / "exe/oem.ico").string();
  if (!image.save(QString::fromStdString(icon), "ICO")) {
    // Without the ICO writer a PNG under the icon's name still loads (Qt reads by content).
    ASSERT_TRUE(image.save(QString::fromStdString(icon), "PNG"));
  }
  LoadBranding();
  EXPECT_EQ(BrandingIconFile(), host.Win("exe\\oem.ico"));
  const QIcon applied = QGuiApplication::windowIcon();
  ASSERT_FALSE(applied.availableSizes().isEmpty());
  EXPECT_EQ(applied.pixmap(32, 32).toImage().pixelColor(5, 5), QColor(Qt::red));
}

}  // namespace
