#include "runtime/classes.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"

namespace {

QStringList strictFields(const QString& text, QChar delimiter) {
  TStringList list;
  list.SetStrictDelimiter(true);
  list.SetDelimiter(delimiter);
  list.SetDelimitedText(text);
  return list.ToQStringList();
}

struct DelimitedCase {
  const char* text;
  char delimiter;
  QStringList fields;
};

TEST(StringListDelimited, StrictModeSplitsOnlyAtTheDelimiter) {
  const DelimitedCase cases[] = {
      {"", ',', {}},
      {"a", ',', {"a"}},
      {"a,", ',', {"a", ""}},
      {",", ',', {"", ""}},
      {",a", ',', {"", "a"}},
      {"a,,b", ',', {"a", "", "b"}},
      {" a , b ", ',', {" a ", " b "}},
      {"host:3306", ':', {"host", "3306"}},
      {":3306", ':', {"", "3306"}},
      {"host:", ':', {"host", ""}},
      {"\"a,b\",c", ',', {"a,b", "c"}},
      {"\"say \"\"hi\"\"\",x", ',', {"say \"hi\"", "x"}},
      {"\"\",x", ',', {"", "x"}},
      {"\"open,end", ',', {"open,end"}},
      {"x\"y,z", ',', {"x\"y", "z"}},
      {"\"a\"b,c", ',', {"a", "b", "c"}},
      {"a;b,c", ';', {"a", "b,c"}},
  };
  for (const DelimitedCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(strictFields(QString::fromUtf8(c.text), QChar(c.delimiter)), c.fields);
  }
}

TEST(StringListDelimited, NonStrictModeAlsoSplitsAtBlanks) {
  TStringList list;
  list.SetDelimitedText("  a b,\"c d\" ,e,");
  EXPECT_EQ(list.ToQStringList(), (QStringList{"a", "b", "c d", "e", ""}));
}

TEST(StringListDelimited, WritingQuotesWhatReadingWouldSplit) {
  TStringList list;
  list.Add("plain");
  list.Add("with,comma");
  list.Add("say \"x\"");
  list.Add("two words");
  EXPECT_EQ(list.DelimitedText(), QStringLiteral("plain,\"with,comma\",\"say \"\"x\"\"\",\"two words\""));
  list.SetStrictDelimiter(true);
  EXPECT_EQ(list.DelimitedText(), QStringLiteral("plain,\"with,comma\",\"say \"\"x\"\"\",two words"));
  TStringList back;
  back.SetStrictDelimiter(true);
  back.SetDelimitedText(list.DelimitedText());
  EXPECT_EQ(back.ToQStringList(), list.ToQStringList());
  TStringList single;
  single.Add("");
  EXPECT_EQ(single.DelimitedText(), QStringLiteral("\"\""));
}

TEST(StringList, SortedListsApplyTheDuplicatesPolicy) {
  TStringList list;
  list.SetSorted(true);
  list.Add("b");
  list.Add("C");
  list.Add("a");
  EXPECT_EQ(list.ToQStringList(), (QStringList{"a", "b", "C"}));
  EXPECT_EQ(list.Add("B"), 1) << "dupIgnore returns the existing entry";
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf("c"), 2);

  list.SetDuplicates(dupError);
  try {
    list.Add("A");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Duplicates not allowed"));
  }
  list.SetDuplicates(dupAccept);
  EXPECT_EQ(list.Add("A"), 1);
  EXPECT_EQ(list.ToQStringList(), (QStringList{"a", "A", "b", "C"}));

  EXPECT_THROW(list.Insert(0, "z"), EStringListError);
  EXPECT_THROW(list.SetStrings(0, "z"), EStringListError);

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.ToQStringList(), (QStringList{"A", "C", "a", "b"}));
  EXPECT_EQ(list.IndexOf("c"), -1);
}

TEST(StringList, UnsortedListKeepsOrderAndChecksIndexes) {
  TStringList list;
  list.Add("z");
  list.Add("Z");
  list.Insert(0, "m");
  list.Add("z");
  EXPECT_EQ(list.ToQStringList(), (QStringList{"m", "z", "Z", "z"}));
  EXPECT_EQ(list.IndexOf("Z"), 1);
  list.Delete(1);
  EXPECT_EQ(list.Strings(1), QStringLiteral("Z"));
  for (int bad : {-1, 3}) {
    try {
      list.Strings(bad);
      FAIL();
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("List index out of bounds (%1)").arg(bad));
    }
  }
  EXPECT_THROW(list.Delete(3), EStringListError);
  EXPECT_THROW(list.Insert(4, "x"), EStringListError);
  list.Insert(3, "end");
  EXPECT_EQ(list.Strings(3), QStringLiteral("end"));
}

TEST(StringList, TextEndsEveryLineWithCrLf) {
  TStringList list;
  EXPECT_EQ(list.Text(), QString());
  list.SetText("one\r\ntwo\nthree\r\rfive\r\n");
  EXPECT_EQ(list.ToQStringList(), (QStringList{"one", "two", "three", "", "five"}));
  EXPECT_EQ(list.Text(), QStringLiteral("one\r\ntwo\r\nthree\r\n\r\nfive\r\n"));
}

TEST(StringList, NameValuePairs) {
  TStringList list;
  list.Add("Path=C:\\Data");
  list.Add("Empty=");
  list.SetValues("path", "D:\\");
  list.SetValues("New", "1");
  EXPECT_EQ(list.Values("PATH"), QStringLiteral("D:\\"));
  EXPECT_EQ(list.Names(0), QStringLiteral("path")) << "a replaced entry takes the name as given";
  EXPECT_EQ(list.Values("missing"), QString());
  list.SetValues("Empty", "");
  EXPECT_EQ(list.ToQStringList(), (QStringList{"path=D:\\", "New=1"}));
}

}  // namespace

// Change notification: every change runs OnChange once, a bracket runs it once at its end
// (and not at all when nothing changed), and the text setters count as one change.
TEST(StringListChanges, OnChangeRunsOncePerChangeOrBracket) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&] { ++changes; };
  struct Case {
    const char* what;
    std::function<void()> change;
    int expected;
  };
  const Case cases[] = {
      {"Add", [&] { list.Add("a"); }, 1},
      {"Insert", [&] { list.Insert(0, "b"); }, 1},
      {"SetStrings", [&] { list.SetStrings(0, "c"); }, 1},
      {"Exchange", [&] { list.Exchange(0, 1); }, 1},
      {"Delete", [&] { list.Delete(0); }, 1},
      {"SetText of three lines", [&] { list.SetText("x\r\ny\r\nz"); }, 1},
      {"SetDelimitedText", [&] { list.SetDelimitedText("p,q"); }, 1},
      {"AddStrings", [&] { list.AddStrings({"r", "s"}); }, 1},
      {"SetValues", [&] { list.SetValues("k", "v"); }, 1},
      {"Clear", [&] { list.Clear(); }, 1},
      {"Clear of an empty list", [&] { list.Clear(); }, 0},
      {"a bracket of three changes", [&] {
         list.BeginUpdate();
         list.Add("1");
         list.Add("2");
         list.Delete(0);
         EXPECT_EQ(changes, 0);
         list.EndUpdate();
       }, 1},
      {"an empty bracket", [&] {
         list.BeginUpdate();
         list.EndUpdate();
       }, 0},
  };
  for (const Case& c : cases) {
    changes = 0;
    c.change();
    EXPECT_EQ(changes, c.expected) << c.what;
  }
  EXPECT_EQ(list.UpdateCount(), 0);
}

TEST(StringListChanges, AFailingHandlerInsideSetTextLeavesNoOpenBracket) {
  TStringList list;
  bool fail = true;
  list.OnChange = [&] {
    if (fail) throw Exception(QStringLiteral("refused"));
  };
  EXPECT_THROW(list.SetText("a\r\nb"), Exception);
  EXPECT_EQ(list.UpdateCount(), 0);
  EXPECT_EQ(list.Count(), 2);
  fail = false;
  int seen = 0;
  list.OnChange = [&] { ++seen; };
  list.Add("c");
  EXPECT_EQ(seen, 1);
}
