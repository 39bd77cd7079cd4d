// DBF tables shared with programs no one here wrote: python3-dbf writes dBase III tables with
// .dbt memos and FoxPro tables with .fpt memos, and the engine reads every value; the engine
// writes NTX and CDX tables with every DBF field type, memos, empty values and a deleted
// record, and python3-dbf and python3-dbfread read every value back. The same both ways for
// Visual FoxPro tables with nullable, integer, currency, datetime, double and memo fields: NULL
// or not, every value arrives. (python3-dbf has no VarChar or VarBinary fields; the table tests
// check those against the published layout.)
//
// Both Python packages come from Debian (scripts/setup installs them); the scripts run with
// /usr/bin/python3, whatever python3 comes first on the path.
#include <gtest/gtest.h>

#include <stdio.h>

#include <fstream>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "test_env.h"

namespace {

UNSIGNED8* U(const std::string& s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str())); }

std::string LastText() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, buf, &len);
  return std::to_string(code) + " " + std::string(reinterpret_cast<char*>(buf), len);
}

// Runs `script` with /usr/bin/python3 and `args`; answers its exit status and output lines.
int RunPython(const testenv::TempDir& dir, const std::string& script, const std::string& args,
              std::vector<std::string>* lines) {
  const std::string file = dir.str() + "/script.py";
  std::ofstream(file) << script;
  FILE* p = popen(("/usr/bin/python3 " + file + " " + args + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  int status = pclose(p);
  lines->clear();
  for (size_t at = 0; at < out.size();) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    lines->push_back(out.substr(at, end - at));
    at = end + 1;
  }
  return status;
}

// The packages are there, or the test says which to install.
void RequirePackages(const testenv::TempDir& dir) {
  std::vector<std::string> lines;
  if (RunPython(dir, "import dbf, dbfread\n", "", &lines) != 0) {
    FAIL() << "the DBF interoperability tests need Debian's python3-dbf and python3-dbfread "
              "(apt-get install python3-dbf python3-dbfread); /usr/bin/python3 says:\n"
           << (lines.empty() ? "" : lines.back());
  }
}

const char* kWriteWithPythonDbf = R"(
import sys, datetime, warnings
warnings.simplefilter('ignore')
import dbf
path, kind = sys.argv[1], sys.argv[2]
t = dbf.Table(path, 'name C(10); qty N(8,2); born D; ok L; notes M; amount F(10,3)', dbf_type=kind)
t.open(mode=dbf.READ_WRITE)
t.append(('Widget', 12.5, datetime.date(2024, 2, 29), True, 'hello memo', 1.125))
t.append(('Gadget', -3.25, None, False, 'x' * 700, -7.5))
t.append(('Gone', 1, datetime.date(1999, 12, 31), None, 'a deleted record keeps its memo', 0))
t.append(())
dbf.delete(t[2])
t.close()
)";

const char* kDump = R"(
import sys, datetime, warnings
warnings.simplefilter('ignore')
lib, path = sys.argv[1], sys.argv[2]
def fmt(v):
    if v is None: return 'None'
    if type(v).__name__ == 'NullType': return 'Null'
    if v is True: return 'T'
    if v is False: return 'F'
    if isinstance(v, (bytes, bytearray)): return 'b:' + bytes(v).hex()
    if isinstance(v, float): return '%.3f' % v
    if isinstance(v, int): return str(v)
    if hasattr(v, 'isoformat'): return v.isoformat()
    return str(v).rstrip()
if lib == 'dbfread':
    import dbfread
    t = dbfread.DBF(path, load=True)
    print('fields', ','.join(t.field_names))
    for r in t.records: print(' ' + '|'.join(fmt(v) for v in r.values()))
    for r in t.deleted: print('*' + '|'.join(fmt(v) for v in r.values()))
else:
    import dbf
    t = dbf.Table(path)
    t.open()
    # python3-dbf cannot read the FoxPro general and picture fields it meets: leave them out.
    names = [n for n in t.field_names if t.field_info(n)[0] not in (b'G', b'P', 'G', 'P', ord('G'), ord('P'))]
    print('fields', ','.join(n.upper() for n in names))
    for r in t:
        print(('*' if dbf.is_deleted(r) else ' ') + '|'.join(fmt(r[n]) for n in names))
    t.close()
)";

// python3-dbf departs from the published FoxPro layout: it numbers null bits by field position,
// writes currency with 0 decimals and leaves the memo flag out of the header. With every field
// nullable the two numberings agree, so its files read without ambiguity.
const char* kWriteFoxProWithPythonDbf = R"(
import sys, datetime, decimal, warnings
warnings.simplefilter('ignore')
import dbf
t = dbf.Table(sys.argv[1], 'name C(10) NULL; qty I NULL; price Y NULL; at T NULL; notes M NULL; amount B NULL',
              dbf_type='vfp')
t.open(mode=dbf.READ_WRITE)
t.append(('Widget', 12, decimal.Decimal('1.2345'), datetime.datetime(2001, 2, 3, 4, 5, 6), 'hello memo', 1.125))
t.append((dbf.Null,) * 6)
t.append(('', 0, decimal.Decimal('0'), None, '', 0.0))
t.append(('Gone', -2147483647, decimal.Decimal('-922337203685.4775'), datetime.datetime(1999, 12, 31, 23, 59, 59),
          'x' * 700, -7.5))
dbf.delete(t[3])
t.close()
)";

class DbfInterop : public ::testing::Test {
 protected:
  void SetUp() override { AdsShowDeleted(1); }
  void TearDown() override { AdsShowDeleted(0); }

  std::string Text(ADSHANDLE t, const char* field) {
    std::vector<UNSIGNED8> buf(4096);
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    if (AdsGetString(t, U(field), buf.data(), &len, 3) != 0) return "<error " + LastText() + ">";
    return std::string(reinterpret_cast<char*>(buf.data()), len);
  }
  std::string Number(ADSHANDLE t, const char* field) {
    UNSIGNED16 empty = 0;
    AdsIsEmpty(t, U(field), &empty);
    if (empty) return "empty";
    DOUBLE d = 0;
    if (AdsGetDouble(t, U(field), &d) != 0) return "<error " + LastText() + ">";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", d);
    return buf;
  }
  std::string Logical(ADSHANDLE t, const char* field) {
    UNSIGNED16 empty = 0;
    AdsIsEmpty(t, U(field), &empty);
    if (empty) return "empty";
    UNSIGNED16 v = 0;
    if (AdsGetLogical(t, U(field), &v) != 0) return "<error " + LastText() + ">";
    return v ? "T" : "F";
  }

  // A field's value as text, "Null" for NULL.
  std::string Fox(ADSHANDLE t, const char* field, bool number = false) {
    UNSIGNED16 null = 0;
    if (AdsIsNull(t, U(field), &null) != 0) return "<error " + LastText() + ">";
    if (null) return "Null";
    if (!number) return Text(t, field);
    DOUBLE d = 0;
    if (AdsGetDouble(t, U(field), &d) != 0) return "<error " + LastText() + ">";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", d);
    return buf;
  }
  std::string FoxRow(ADSHANDLE t) {
    UNSIGNED16 deleted = 0;
    AdsIsRecordDeleted(t, &deleted);
    return std::string(deleted ? "*" : " ") + Fox(t, "NAME") + "|" + Fox(t, "QTY") + "|" + Fox(t, "PRICE") + "|" +
           Fox(t, "AT") + "|" + Fox(t, "NOTES").substr(0, 20) + "|" + Fox(t, "AMOUNT", true);
  }

  testenv::TempDir dir_;
};

TEST_F(DbfInterop, TablesThatPythonDbfWritesReadThroughTheEngine) {
  RequirePackages(dir_);
  struct Case {
    const char* kind;  // python3-dbf's table kind
    UNSIGNED16 type;   // the engine's table type it opens as
    const char* memo;
  } cases[] = {{"db3", 1, "py.dbt"}, {"fp", 2, "py.fpt"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::string path = dir_.str() + "/py.dbf";
    std::vector<std::string> out;
    ASSERT_EQ(RunPython(dir_, kWriteWithPythonDbf, path + " " + c.kind, &out), 0) << testing::PrintToString(out);
    ASSERT_TRUE(std::ifstream(dir_.str() + "/" + c.memo).good());
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsOpenTable90(0, U(path), nullptr, c.type, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), 0u);
    ASSERT_EQ(count, 4u);
    std::vector<std::string> rows;
    for (UNSIGNED32 n = 1; n <= count; ++n) {
      ASSERT_EQ(AdsGotoRecord(t, n), 0u);
      UNSIGNED16 deleted = 0;
      AdsIsRecordDeleted(t, &deleted);
      rows.push_back(std::string(deleted ? "*" : " ") + Text(t, "NAME") + "|" + Number(t, "QTY") + "|" + Text(t, "BORN") +
                     "|" + Logical(t, "OK") + "|" + Text(t, "NOTES") + "|" + Number(t, "AMOUNT"));
    }
    const std::vector<std::string> expected = {
        " Widget|12.500|02/29/2024|T|hello memo|1.125",
        " Gadget|-3.250||F|" + std::string(700, 'x') + "|-7.500",
        "*Gone|1.000|12/31/1999|empty|a deleted record keeps its memo|0.000",
        " |empty||empty||empty",
    };
    EXPECT_EQ(rows, expected);
    // The engine writes into the file the other program made, and it reads the change back.
    ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
    ASSERT_EQ(AdsSetString(t, U("NOTES"), U("changed by the engine"), 21), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    ASSERT_EQ(RunPython(dir_, kDump, std::string("dbf ") + path, &out), 0) << testing::PrintToString(out);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[2], " Gadget|-3.250|None|F|changed by the engine|-7.500");
    std::remove(path.c_str());
    std::remove((dir_.str() + "/" + c.memo).c_str());
  }
}

TEST_F(DbfInterop, TablesTheEngineWritesReadBackInPythonDbfAndDbfread) {
  RequirePackages(dir_);
  for (UNSIGNED16 type : {UNSIGNED16{1}, UNSIGNED16{2}}) {
    SCOPED_TRACE(type);
    const bool cdx = type == 2;
    const std::string path = dir_.str() + (cdx ? "/cdx.dbf" : "/ntx.dbf");
    std::string fields = "NAME,Char,10;QTY,Num,8,2;CNT,Num,5,0;BORN,Date;OK,Logical;NOTES,Memo;";
    if (cdx) fields += "PIC,Binary;IMG,Image;";
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsCreateTable90(0, U(path), nullptr, type, 1, 1, 1, 0, U(fields), 0, nullptr, &t), 0u) << LastText();
    auto set = [&](const char* field, const std::string& v) {
      ASSERT_EQ(AdsSetString(t, U(field), U(v), static_cast<UNSIGNED32>(v.size())), 0u) << field << LastText();
    };
    const std::string bytes("\x00\x1A\xFF\x0D", 4);
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    set("NAME", "Widget");
    set("QTY", "12.5");
    set("CNT", "42");
    ASSERT_EQ(AdsSetDate(t, U("BORN"), U("02/29/2024"), 10), 0u);
    ASSERT_EQ(AdsSetLogical(t, U("OK"), 1), 0u);
    set("NOTES", "hello memo");
    if (cdx) {
      ASSERT_EQ(AdsSetBinary(t, U("PIC"), ADS_BINARY, 4, 0, U(bytes), 4), 0u) << LastText();
      ASSERT_EQ(AdsSetBinary(t, U("IMG"), ADS_IMAGE, 6, 0, U("GIF89a"), 6), 0u) << LastText();
    }
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    set("NAME", "Gadget");
    set("QTY", "-3.25");
    set("CNT", "-7");
    ASSERT_EQ(AdsSetLogical(t, U("OK"), 0), 0u);
    set("NOTES", std::string(700, 'x'));
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    set("NAME", "Gone");
    set("NOTES", "a deleted record keeps its memo");
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsDeleteRecord(t), 0u);
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);

    const std::string extra = cdx ? "|b:001aff0d|b:474946383961" : "";
    const std::string noBlobsRead = cdx ? "|None|None" : "";
    std::vector<std::string> out;
    ASSERT_EQ(RunPython(dir_, kDump, "dbf " + path, &out), 0) << testing::PrintToString(out);
    std::vector<std::string> expected = {
        "fields NAME,QTY,CNT,BORN,OK,NOTES",
        " Widget|12.500|42|2024-02-29|T|hello memo",
        " Gadget|-3.250|-7|None|F|" + std::string(700, 'x'),
        "*Gone|None|None|None|None|a deleted record keeps its memo",
        " |None|None|None|None|",
    };
    EXPECT_EQ(out, expected) << "python3-dbf";
    ASSERT_EQ(RunPython(dir_, kDump, "dbfread " + path, &out), 0) << testing::PrintToString(out);
    expected = {
        std::string("fields NAME,QTY,CNT,BORN,OK,NOTES") + (cdx ? ",PIC,IMG" : ""),
        " Widget|12.500|42|2024-02-29|T|hello memo" + extra,
        " Gadget|-3.250|-7|None|F|" + std::string(700, 'x') + noBlobsRead,
        " |None|None|None|None|None" + noBlobsRead,
        "*Gone|None|None|None|None|a deleted record keeps its memo" + noBlobsRead,
    };
    EXPECT_EQ(out, expected) << "python3-dbfread";
  }
}

TEST_F(DbfInterop, FoxProTablesThatPythonDbfWritesReadThroughTheEngineNullsIncluded) {
  RequirePackages(dir_);
  const std::string path = dir_.str() + "/fox.dbf";
  std::vector<std::string> out;
  ASSERT_EQ(RunPython(dir_, kWriteFoxProWithPythonDbf, path, &out), 0) << testing::PrintToString(out);
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(0, U(path), nullptr, 4, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  std::vector<std::string> rows;
  for (UNSIGNED32 n = 1; n <= 4; ++n) {
    ASSERT_EQ(AdsGotoRecord(t, n), 0u);
    rows.push_back(FoxRow(t));
  }
  const std::vector<std::string> expected = {
      " Widget|12|1.2345|02/03/2001 04:05:06|hello memo|1.1250",
      " Null|Null|Null|Null|Null|Null",
      " |0|0.0000|||0.0000",  // empty values, not NULL
      "*Gone|-2147483647|-922337203685.4775|12/31/1999 23:59:59|xxxxxxxxxxxxxxxxxxxx|-7.5000",
  };
  EXPECT_EQ(rows, expected);
  // The engine sets one field NULL and gives a NULL one a value; python3-dbf reads both.
  ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
  ASSERT_EQ(AdsSetNull(t, U("PRICE")), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  ASSERT_EQ(AdsSetLong(t, U("QTY"), 77), 0u);
  ASSERT_EQ(AdsSetString(t, U("NOTES"), U("now a memo"), 10), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(RunPython(dir_, kDump, "dbf " + path, &out), 0) << testing::PrintToString(out);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[1], " Widget|12|Null|2001-02-03T04:05:06|hello memo|1.125");
  EXPECT_EQ(out[2], " Null|77|Null|Null|now a memo|Null");
}

TEST_F(DbfInterop, FoxProTablesTheEngineWritesReadBackInPythonDbfAndDbfread) {
  RequirePackages(dir_);
  const std::string path = dir_.str() + "/engine.dbf";
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsCreateTable90(0, U(path), nullptr, 4, 1, 1, 1, 0,
                             U("NAME,Char,10,NULL;QTY,Integer,NULL;PRICE,Currency,NULL;AT,DateTime,NULL;"
                               "NOTES,Memo,NULL;AMOUNT,Double,3,NULL;OK,Logical,NULL;"),
                             0, nullptr, &t),
            0u)
      << LastText();
  auto set = [&](const char* field, const std::string& v) {
    ASSERT_EQ(AdsSetString(t, U(field), U(v), static_cast<UNSIGNED32>(v.size())), 0u) << field << LastText();
  };
  ASSERT_EQ(AdsAppendRecord(t), 0u);
  set("NAME", "Widget");
  ASSERT_EQ(AdsSetLong(t, U("QTY"), -2147483647), 0u);
  ASSERT_EQ(AdsSetDouble(t, U("PRICE"), 1.2345), 0u);
  set("AT", "02/03/2001 04:05:06");
  set("NOTES", std::string(700, 'x'));
  ASSERT_EQ(AdsSetDouble(t, U("AMOUNT"), -7.125), 0u);
  ASSERT_EQ(AdsSetLogical(t, U("OK"), 1), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsAppendRecord(t), 0u);  // every field NULL
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsAppendRecord(t), 0u);  // empty values that are not NULL
  ASSERT_EQ(AdsSetEmpty(t, U("NAME")), 0u);
  ASSERT_EQ(AdsSetLong(t, U("QTY"), 0), 0u);
  ASSERT_EQ(AdsSetDouble(t, U("PRICE"), 0), 0u);
  ASSERT_EQ(AdsSetDouble(t, U("AMOUNT"), 0), 0u);
  ASSERT_EQ(AdsSetLogical(t, U("OK"), 0), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);

  std::vector<std::string> out;
  ASSERT_EQ(RunPython(dir_, kDump, "dbf " + path, &out), 0) << testing::PrintToString(out);
  std::vector<std::string> expected = {
      "fields NAME,QTY,PRICE,AT,NOTES,AMOUNT,OK",
      " Widget|-2147483647|1.2345|2001-02-03T04:05:06|" + std::string(700, 'x') + "|-7.125|T",
      " Null|Null|Null|Null|Null|Null|Null",
      " |0|0.0000|Null|Null|0.000|F",
  };
  EXPECT_EQ(out, expected) << "python3-dbf";
  // python3-dbfread knows no NULL: it reads the values and shows the null flags as bytes.
  ASSERT_EQ(RunPython(dir_, kDump, "dbfread " + path, &out), 0) << testing::PrintToString(out);
  expected = {
      "fields NAME,QTY,PRICE,AT,NOTES,AMOUNT,OK,_NullFlags",
      " Widget|-2147483647|1.2345|2001-02-03T04:05:06|" + std::string(700, 'x') + "|-7.125|T|b:00",
      " |0|0|None|None|0.000|None|b:7f",
      " |0|0|None|None|0.000|F|b:18",
  };
  EXPECT_EQ(out, expected) << "python3-dbfread";
}

}  // namespace
