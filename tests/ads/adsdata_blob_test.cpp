// Memo, binary, image and national memo fields of real native tables through the table
// component: contents of every size and byte value written, posted, read back by the engine and
// by a new open; cancelled changes discarded; the blob stream's rules, and the engine calls a
// stream makes, read from the engine call trace.
#include <gtest/gtest.h>

#include <filesystem>

#include "ads/adstable.h"
#include "editing_support.h"

using namespace adsdata_test;

namespace {

QByteArray EveryByteValue(int repeats) {
  QByteArray bytes;
  for (int r = 0; r < repeats; ++r)
    for (int b = 0; b < 256; ++b) bytes.append(static_cast<char>(b));
  return bytes;
}

QByteArray Utf16Bytes(const QString& text) {
  return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

class AdsBlobs : public ::testing::Test {
 protected:
  void SetUp() override {
    raw_ = ConnectFolder(dir_.str());
    ADSHANDLE t = CreateTable(raw_, "docs", "ID,Integer;M,Memo;B,Binary;G,Image;W,NMemo;");
    ASSERT_EQ(AdsCloseTable(t), 0u);
    con_.SetConnectPath(QString::fromStdString(dir_.str()));
    con_.SetLoginPrompt(false);
  }
  void TearDown() override {
    AdsDisconnect(raw_);
    ExpectIndexesAgree(dir_.str(), "docs");
  }

  void Attach(TAdsTable& tb) {
    tb.SetName("tb");
    tb.SetAdsConnection(&con_);
    tb.SetTableName("docs");
  }

  // Appends a record with ID id and one blob field set to content.
  void AppendWith(TAdsTable& tb, int id, const char* field, const QByteArray& content) {
    tb.Append();
    tb.FieldByName("ID")->SetAsInteger(id);
    tb.FieldByName(field)->SetAsBytes(content);
    tb.Post();
  }

  testenv::TempDir dir_;
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
  ADSHANDLE raw_ = 0;
  TAdsConnection con_{nullptr};
};

}  // namespace

TEST_F(AdsBlobs, ContentsOfEverySizeSurviveThePostAndAReopen) {
  const QByteArray megabyte = QByteArray("0123456789abcdef").repeated(64 * 1024);
  const struct {
    const char* field;
    QByteArray content;
  } cases[] = {
      {"M", QByteArray()},
      {"M", QByteArray("x")},
      {"M", megabyte},
      {"B", EveryByteValue(4)},
      {"B", QByteArray(1, '\0')},
      {"G", megabyte + EveryByteValue(1)},
      {"W", Utf16Bytes(QStringLiteral("\u03a9mega \u4e2d\u6587 \U0001F600 \u017c\u00f3\u0142w"))},
      {"W", QByteArray()},
  };
  {
    TAdsTable tb(nullptr);
    Attach(tb);
    tb.Open();
    int id = 0;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.field) + " of " + std::to_string(c.content.size()) + " bytes");
      AppendWith(tb, ++id, c.field, c.content);
      EXPECT_EQ(tb.FieldByName(c.field)->AsBytes(), c.content);
      EXPECT_EQ(tb.FieldByName(c.field)->IsNull(), c.content.isEmpty());
      // The other blobs of the record stay empty.
      for (const char* other : {"M", "B", "G", "W"})
        if (std::string(other) != c.field) {
          EXPECT_TRUE(tb.FieldByName(other)->IsNull()) << other;
        }
    }
  }
  ADSHANDLE h = OpenShared(raw_, "docs");
  TAdsTable reopened(nullptr);
  Attach(reopened);
  reopened.Open();
  int id = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " of " + std::to_string(c.content.size()) + " bytes");
    ++id;
    ASSERT_EQ(AdsGotoRecord(h, static_cast<UNSIGNED32>(id)), 0u);
    EXPECT_EQ(EngineField(h, c.field).Blob(), c.content);
    ASSERT_EQ(reopened.FieldByName("ID")->AsInteger(), id);
    EXPECT_EQ(reopened.FieldByName(c.field)->AsBytes(), c.content);
    EXPECT_EQ(reopened.FieldByName(c.field)->IsNull(), c.content.isEmpty());
    reopened.Next();
  }
  AdsCloseTable(h);
}

TEST_F(AdsBlobs, TextOfMemosAndNationalMemosReadsAsWritten) {
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  tb.Append();
  tb.FieldByName("M")->SetAsString(QStringLiteral("caf\u00e9 au lait"));
  tb.FieldByName("W")->SetAsString(QStringLiteral("\u0436\u0443\u0440\u043d\u0430\u043b \U0001F4D6"));
  tb.Post();
  TAdsTable reopened(nullptr);
  Attach(reopened);
  reopened.Open();
  EXPECT_EQ(reopened.FieldByName("M")->AsString(), QStringLiteral("caf\u00e9 au lait"));
  EXPECT_EQ(reopened.FieldByName("W")->AsString(), QStringLiteral("\u0436\u0443\u0440\u043d\u0430\u043b \U0001F4D6"));
  EXPECT_EQ(reopened.FieldByName("W")->AsVariant().toString(),
            QStringLiteral("\u0436\u0443\u0440\u043d\u0430\u043b \U0001F4D6"));
  // A national memo of 5 characters is 10 bytes in its stream.
  tb.Edit();
  tb.FieldByName("W")->SetAsString(QStringLiteral("\u00e9t\u00e9s!"));
  std::unique_ptr<TStream> stream = tb.CreateBlobStream(tb.FieldByName("W"), bmRead);
  EXPECT_EQ(stream->Size(), 10);
  stream.reset();
  tb.Post();
}

TEST_F(AdsBlobs, CancelDiscardsBlobChangesAndPostWritesOnlyTheChangedBlob) {
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  tb.Append();
  tb.FieldByName("M")->SetAsString("keep");
  tb.FieldByName("B")->SetAsBytes(QByteArray("\x01\x02", 2));
  tb.Post();

  tb.Edit();
  tb.FieldByName("M")->SetAsString("drop");
  tb.FieldByName("B")->Clear();
  EXPECT_EQ(tb.FieldByName("M")->AsString(), "drop");
  EXPECT_TRUE(tb.FieldByName("B")->IsNull());
  tb.Cancel();
  EXPECT_EQ(tb.FieldByName("M")->AsString(), "keep");
  EXPECT_EQ(tb.FieldByName("B")->AsBytes(), QByteArray("\x01\x02", 2));

  tb.Edit();
  tb.FieldByName("M")->SetAsString("changed");
  tb.Post();
  ADSHANDLE h = OpenShared(raw_, "docs");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_EQ(EngineField(h, "M").Blob(), QByteArray("changed"));
  EXPECT_EQ(EngineField(h, "B").Blob(), QByteArray("\x01\x02", 2));

  // Clearing a blob field empties the stored blob.
  tb.Edit();
  tb.FieldByName("B")->Clear();
  tb.Post();
  ASSERT_EQ(AdsRefreshRecord(h), 0u);
  EXPECT_TRUE(EngineField(h, "B").Empty());
  EXPECT_TRUE(tb.FieldByName("B")->IsNull());
  AdsCloseTable(h);
}

TEST_F(AdsBlobs, FieldsLoadFromAndSaveToStreams) {
  const QByteArray content = EveryByteValue(300);
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  tb.Append();
  TBytesStream in(content);
  in.Seek(100, soBeginning);  // the whole stream is loaded, wherever it stands
  static_cast<TBlobField*>(tb.FieldByName("B"))->LoadFromStream(&in);
  tb.Post();
  TBytesStream out(QByteArray("head"));
  out.Seek(0, soEnd);
  static_cast<TBlobField*>(tb.FieldByName("B"))->SaveToStream(&out);
  EXPECT_EQ(out.Bytes(), QByteArray("head") + content);
}

TEST_F(AdsBlobs, StreamsRefuseWritingOutsideAnEditAndOnReadOnlyStreams) {
  // A closed dataset gives a stream without a cache: it reads nothing and refuses writing.
  {
    TAdsTable closedTable(nullptr);
    Attach(closedTable);
    TMemoField memo(nullptr);
    memo.SetFieldName("M");
    memo.SetDataSet(&closedTable);
    TAdsBlobStream closed(&memo, bmReadWrite);
    char c = 0;
    EXPECT_EQ(closed.Read(&c, 1), 0);
    EXPECT_EQ(closed.Size(), 0);
    try {
      closed.Write("x", 1);
      FAIL() << "wrote without a cache";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Cannot write to blob in current state.");
      EXPECT_EQ(e.ACEErrorCode(), 5121u);
    }
    memo.SetDataSet(nullptr);
  }
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  AppendWith(tb, 1, "M", "text");
  for (TBlobStreamMode mode : {bmWrite, bmReadWrite}) {
    try {
      tb.CreateBlobStream(tb.FieldByName("M"), mode);
      FAIL() << "a writing stream in dsBrowse";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.Message(), "tb: Table must be in Edit or Insert state to open blob stream in Write Mode.");
      EXPECT_EQ(e.ACEErrorCode(), 5121u);
    }
  }
  tb.Edit();
  std::unique_ptr<TStream> reading = tb.CreateBlobStream(tb.FieldByName("M"), bmRead);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      if (attempt == 0)
        reading->Write("x", 1);
      else
        static_cast<TAdsBlobStream*>(reading.get())->Truncate();
      FAIL() << "changed a read-only stream";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Error modifying read only blob.");
    }
  }
  reading.reset();
  tb.Cancel();
}

TEST_F(AdsBlobs, AWriteStreamStartsEmptyAndCountsAsAChange) {
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  AppendWith(tb, 1, "M", "old text");
  tb.Edit();
  EXPECT_FALSE(tb.Modified());
  tb.CreateBlobStream(tb.FieldByName("M"), bmWrite).reset();
  EXPECT_TRUE(tb.Modified());
  EXPECT_TRUE(tb.FieldByName("M")->IsNull());
  // A read-write stream starts with the stored content.
  tb.Cancel();
  tb.Edit();
  {
    std::unique_ptr<TStream> s = tb.CreateBlobStream(tb.FieldByName("M"), bmReadWrite);
    EXPECT_EQ(s->ReadAll(), QByteArray("old text"));
    s->Seek(0, soEnd);
    s->Write(" and more", 9);
  }
  tb.Post();
  EXPECT_EQ(tb.FieldByName("M")->AsString(), "old text and more");
  tb.Edit();
  tb.CreateBlobStream(tb.FieldByName("M"), bmWrite).reset();
  tb.Post();
  ADSHANDLE h = OpenShared(raw_, "docs");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_TRUE(EngineField(h, "M").Empty());
  AdsCloseTable(h);
}

TEST_F(AdsBlobs, StreamsAskTheEngineOnlyWhenTheyMust) {
  TAdsTable tb(nullptr);
  Attach(tb);
  tb.Open();
  AppendWith(tb, 1, "M", "stored");
  // A new record has no blob yet: only the field's type is asked.
  tb.Append();
  size_t mark = trace_.Mark();
  tb.CreateBlobStream(tb.FieldByName("M"), bmRead).reset();
  EXPECT_EQ(EngineTrace::Names(trace_.Since(mark)), std::vector<std::string>({"AdsGetFieldType"}));
  tb.Cancel();
  // A second stream on the same blob only rewinds the cache the first one filled.
  auto reads = [&](size_t from) {
    int n = 0;
    for (const std::string& name : EngineTrace::Names(trace_.Since(from))) n += name == "AdsGetField" ? 1 : 0;
    return n;
  };
  mark = trace_.Mark();
  EXPECT_EQ(tb.FieldByName("M")->AsString(), "stored");
  EXPECT_EQ(tb.FieldByName("M")->AsString(), "stored");
  EXPECT_EQ(reads(mark), 1);
}

TEST_F(AdsBlobs, AFieldCanBeMarkedBinary) {
  TAdsTable tb(nullptr);
  Attach(tb);
  const struct {
    bool open;
    const char* field;
    const char* message;
  } refused[] = {
      {false, "M", "tb: Table must be Active."},
      {true, "NOPE", "tb: Invalid field name for the given table"},
      {true, "ID", "tb: Invalid field type to begin with to change to binary"},
  };
  for (const auto& r : refused) {
    tb.SetActive(r.open);
    try {
      tb.ADSSetFieldToBinary(r.field);
      FAIL() << r.field;
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.Message(), r.message);
      EXPECT_EQ(e.ACEErrorCode(), 5121u);
    }
  }
  tb.ADSSetFieldToBinary("m");
  EXPECT_EQ(tb.FieldDefs().Find("M")->DataType(), ftBlob);
  tb.Append();
  tb.FieldByName("M")->SetAsBytes(EveryByteValue(1));
  EXPECT_EQ(tb.FieldByName("M")->DataType(), ftBlob);
  tb.Post();
  EXPECT_EQ(tb.FieldByName("M")->AsBytes(), EveryByteValue(1));
}
