#include "runtime/text.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"

namespace {

TEST(CaseFolding, TouchesOnlyTheLettersAToZ) {
  const QString mixed = QString::fromUtf8("abz ÄÖü é ß ı ABZ 09_");
  EXPECT_EQ(UpperCaseAZ(mixed), QString::fromUtf8("ABZ ÄÖü é ß ı ABZ 09_"));
  EXPECT_EQ(LowerCaseAZ(mixed), QString::fromUtf8("abz ÄÖü é ß ı abz 09_"));
  EXPECT_TRUE(SameTextAZ("Table1.ADT", "tABLE1.adt"));
  EXPECT_FALSE(SameTextAZ(QString::fromUtf8("ä"), QString::fromUtf8("Ä")));
  EXPECT_FALSE(SameTextAZ("abc", "abcd"));
  EXPECT_LT(CompareTextAZ("abc", "ABD"), 0);
  EXPECT_GT(CompareTextAZ("abd", "ABC"), 0);
  EXPECT_LT(CompareTextAZ("ab", "AB_"), 0);
  EXPECT_EQ(CompareTextAZ("", ""), 0);
  // "_" (95) lies between "Z" (90) and "a" (97): folding to upper case puts it after letters.
  EXPECT_LT(CompareTextAZ("a", "_"), 0);
}

TEST(CodePages, AnsiAndOemRoundTripTheirRepertoire) {
  const QString text = QString::fromUtf8("Grüße € – Œuvre ½ ÿ");
  const QByteArray ansi = ToAnsi(text);
  EXPECT_EQ(ansi, QByteArray("Gr\xfc\xdf\x65 \x80 \x96 \x8cuvre \xbd \xff"));
  EXPECT_EQ(FromAnsi(ansi), text);
  EXPECT_EQ(FromAnsi(ansi.constData()), text);
  EXPECT_EQ(FromAnsi(ansi.constData(), 2), QStringLiteral("Gr"));

  const QString box = QString::fromUtf8("Ä┌─┐ü½");
  const QByteArray oem = ToOem(box);
  EXPECT_EQ(oem, QByteArray("\x8e\xda\xc4\xbf\x81\xab"));
  EXPECT_EQ(FromOem(oem), box);
}

TEST(CodePages, UnmappableCharactersAndBytesBecomeQuestionMarks) {
  EXPECT_EQ(ToAnsi(QString::fromUtf8("a\u4e2db\u0416")), QByteArray("a?b?"));
  EXPECT_EQ(ToOem(QString::fromUtf8("€")), QByteArray("?"));
  // A lone surrogate is not a character at all.
  QString lone = QStringLiteral("x");
  lone += QChar(0xD800);
  EXPECT_EQ(ToAnsi(lone), QByteArray("x?"));
  // A Shift-JIS lead byte followed by a byte that cannot trail it is no character.
  SetAnsiCodePage("windows-932");
  EXPECT_EQ(FromAnsi(QByteArray("a\x81\x1fz\x82\xa0")), QString::fromUtf8("a?\x1fzあ"));
  SetAnsiCodePage("windows-1252");
  EXPECT_TRUE(ToAnsi(QString()).isEmpty());
  EXPECT_TRUE(FromAnsi(QByteArray()).isEmpty());
}

TEST(CodePages, SelectingAnotherCodePageChangesEveryLaterConversion) {
  SetAnsiCodePage("windows-1250");
  EXPECT_EQ(ToAnsi(QString::fromUtf8("Łódź")), QByteArray("\xa3\xf3\x64\x9f"));
  EXPECT_EQ(FromAnsi(QByteArray("\x8a")), QString::fromUtf8("Š"));
  EXPECT_THROW(SetAnsiCodePage("no-such-code-page"), EConvertError);
  EXPECT_EQ(AnsiCodePage(), QStringLiteral("windows-1250")) << "a refused name keeps the current page";
  SetAnsiCodePage("windows-1252");
  EXPECT_EQ(ToAnsi(QString::fromUtf8("Łódź")), QByteArray("?\xf3\x64?"));

  SetOemCodePage("ibm-850");
  EXPECT_EQ(ToOem(QString::fromUtf8("Ø")), QByteArray("\x9d"));
  SetOemCodePage("ibm-437");
  EXPECT_EQ(ToOem(QString::fromUtf8("Ø")), QByteArray("?"));
}

// Texts of ASCII characters go through every page alike, whether the page writes them as their
// own bytes (most) or as others (EBCDIC).
TEST(CodePages, AsciiTextsTakeEachPagesOwnBytes) {
  struct Case {
    const char* page;
    const char* text;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"windows-1252", "Vessel 42 ~{}\\", QByteArray("Vessel 42 ~{}\\")},
      {"windows-932", "C:\\DATA", QByteArray("C:\\DATA")},
      {"ibm-037", "AZ az 09", QByteArray("\xc1\xe9\x40\x81\xa9\x40\xf0\xf9")},
      {"windows-1252", "AZ az 09", QByteArray("AZ az 09")},  // back from EBCDIC: no stale verdict
  };
  for (const Case& c : cases) {
    SetAnsiCodePage(c.page);
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(ToAnsi(text), c.bytes) << c.page << " " << c.text;
    EXPECT_EQ(FromAnsi(c.bytes), text) << c.page << " " << c.text;
    EXPECT_EQ(FromAnsi(c.bytes.constData(), c.bytes.size()), text) << c.page << " " << c.text;
  }
  SetAnsiCodePage("windows-1252");
}

TEST(ExceptionText, MessageAndWhatAgreeInUtf8) {
  Exception e(QString::fromUtf8("Datei „x“ fehlt"));
  EXPECT_STREQ(e.what(), "Datei „x“ fehlt");
  e.SetMessage("tb: gone");
  EXPECT_EQ(e.Message(), QStringLiteral("tb: gone"));
  EXPECT_STREQ(e.what(), "tb: gone");
  EInOutError io("Access is denied", 5);
  const Exception& base = io;
  EXPECT_EQ(base.Message(), QStringLiteral("Access is denied"));
  EXPECT_EQ(io.ErrorCode, 5);
}

}  // namespace
