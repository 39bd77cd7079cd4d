// Data dictionaries through the C interface: properties with their end codes, users and groups,
// objects, renaming, links and table enumeration.
#include <cstring>
#include <filesystem>
#include <functional>

#include "support/api_fixture.h"

namespace {

using acetest::Last;
using acetest::U8;
using acetest::Workspace;

std::string Text(const UNSIGNED8* buf, UNSIGNED16 len) { return std::string(reinterpret_cast<const char*>(buf), len); }

// A dictionary with two tables, three users and two groups.
class ApiDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    dd = ws.CreateDictionary("DB.add", "Main database");
    ws.TouchTable("customer.adt");
    ws.TouchTable("orders.adt");
    ASSERT_EQ(AdsDDAddTable(dd, U8("Customer"), U8("customer.adt"), ADS_ADT, 1, nullptr, nullptr), 0u) << Last().text;
    ASSERT_EQ(AdsDDAddTable(dd, U8("Orders"), U8(ws.Win("orders.adt")), ADS_ADT, 1, nullptr, nullptr), 0u) << Last().text;
    ASSERT_EQ(AdsDDCreateUserGroup(dd, U8("staff"), nullptr), 0u) << Last().text;
    ASSERT_EQ(AdsDDCreateUserGroup(dd, U8("audit"), nullptr), 0u) << Last().text;
    ASSERT_EQ(AdsDDCreateUser(dd, U8("staff"), U8("ann"), U8("pw"), nullptr), 0u) << Last().text;
    ASSERT_EQ(AdsDDAddUserToGroup(dd, U8("audit"), U8("ann")), 0u) << Last().text;
    ASSERT_EQ(AdsDDCreateUser(dd, nullptr, U8("bob"), nullptr, nullptr), 0u) << Last().text;
  }
  void TearDown() override { EXPECT_EQ(AdsDisconnect(dd), 0u); }

  Workspace ws;
  ADSHANDLE dd = 0;
};

TEST_F(ApiDictionary, DatabasePropertiesGiveTheVersionAndComment) {
  for (UNSIGNED16 id : {ADS_DD_VERSION_MAJOR, ADS_DD_VERSION_MINOR}) {
    UNSIGNED16 value = 0, len = 2;
    ASSERT_EQ(AdsDDGetDatabaseProperty(dd, id, &value, &len), 0u) << Last().text;
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(value, id == ADS_DD_VERSION_MAJOR ? 11u : 10u);
  }
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_EQ(AdsDDGetDatabaseProperty(dd, ADS_DD_COMMENT, buf, &len), 0u);
  EXPECT_EQ(Text(buf, len), "Main database");
  UNSIGNED16 value = 0;
  len = 1;
  EXPECT_EQ(AdsDDGetDatabaseProperty(dd, ADS_DD_VERSION_MAJOR, &value, &len), 5005u);
  EXPECT_EQ(len, 2u);
  len = 2;
  EXPECT_EQ(AdsDDGetDatabaseProperty(dd, 4242, &value, &len), 5912u);
  ADSHANDLE folder = 0;
  ASSERT_EQ(AdsConnect(U8(ws.WinFolder()), &folder), 0u);
  len = 2;
  EXPECT_EQ(AdsDDGetDatabaseProperty(folder, ADS_DD_VERSION_MAJOR, &value, &len), 5910u);
  EXPECT_EQ(AdsDisconnect(folder), 0u);
}

TEST_F(ApiDictionary, TablePropertiesGiveTheDefaultIndexOr5138AndUnknownNamesGive5132) {
  UNSIGNED8 buf[201];
  UNSIGNED16 len = 200;
  EXPECT_EQ(AdsDDGetTableProperty(dd, U8("Customer"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 5138u);
  EXPECT_EQ(len, 0u);
  const std::string tag = "CUSTNO";
  ASSERT_EQ(AdsDDSetTableProperty(dd, U8("customer"), ADS_DD_TABLE_DEFAULT_INDEX, U8(tag), tag.size()), 0u) << Last().text;
  len = 200;
  ASSERT_EQ(AdsDDGetTableProperty(dd, U8("CUSTOMER"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 0u) << Last().text;
  EXPECT_EQ(Text(buf, len), tag);
  len = 3;
  EXPECT_EQ(AdsDDGetTableProperty(dd, U8("Customer"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 5005u);
  EXPECT_EQ(len, tag.size() + 1);
  len = 200;
  EXPECT_EQ(AdsDDGetTableProperty(dd, U8("Invoices"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 5132u);
  EXPECT_NE(Last().text.find("Invoices"), std::string::npos) << Last().text;
  len = 200;
  ASSERT_EQ(AdsDDGetTableProperty(dd, U8("Customer"), ADS_DD_TABLE_PATH, buf, &len), 0u);
  EXPECT_EQ(Text(buf, len), ws.Win("customer.adt")) << "a relative path lives beside the dictionary";
  len = 200;
  ASSERT_EQ(AdsDDGetTableProperty(dd, U8("Orders"), ADS_DD_TABLE_PATH, buf, &len), 0u);
  EXPECT_EQ(Text(buf, len), ws.Win("orders.adt"));
  UNSIGNED16 type = 0, tlen = 2;
  ASSERT_EQ(AdsDDGetTableProperty(dd, U8("Orders"), ADS_DD_TABLE_TYPE, &type, &tlen), 0u);
  EXPECT_EQ(type, ADS_ADT);
  len = 200;
  EXPECT_EQ(AdsDDGetTableProperty(dd, U8("Orders"), ADS_DD_TABLE_PRIMARY_KEY, buf, &len), 5138u);
  EXPECT_EQ(AdsDDGetTableProperty(dd, nullptr, ADS_DD_TABLE_PATH, buf, &len), 5902u);
  EXPECT_EQ(AdsDDAddTable(dd, U8("Ghost"), U8("ghost.adt"), ADS_ADT, 1, nullptr, nullptr), 5915u)
      << "a table needs its file";
  EXPECT_EQ(AdsDDAddTable(dd, U8("ORDERS"), U8("customer.adt"), ADS_ADT, 1, nullptr, nullptr), 5909u);
}

TEST_F(ApiDictionary, UserGroupsComeSemicolonSeparatedWithTheSizeFirst) {
  // As the components read them: ask the size without a buffer, allocate it, ask again.
  UNSIGNED16 size = 0;
  EXPECT_EQ(AdsDDGetUserProperty(dd, U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, nullptr, &size), 5005u);
  ASSERT_EQ(size, std::string("audit;staff").size() + 1);
  std::vector<UNSIGNED8> buf(size);
  ASSERT_EQ(AdsDDGetUserProperty(dd, U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, buf.data(), &size), 0u) << Last().text;
  EXPECT_EQ(Text(buf.data(), size), "audit;staff");
  size = 0;
  EXPECT_EQ(AdsDDGetUserProperty(dd, U8("bob"), ADS_DD_USER_GROUP_MEMBERSHIP, nullptr, &size), 5138u);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(AdsDDGetUserProperty(dd, U8("carl"), ADS_DD_USER_GROUP_MEMBERSHIP, nullptr, &size), 5132u);
  ASSERT_EQ(AdsDDRemoveUserFromGroup(dd, U8("audit"), U8("ann")), 0u);
  size = 64;
  UNSIGNED8 one[64];
  ASSERT_EQ(AdsDDGetUserProperty(dd, U8("ANN"), ADS_DD_USER_GROUP_MEMBERSHIP, one, &size), 0u);
  EXPECT_EQ(Text(one, size), "staff");
}

std::vector<std::string> Objects(ADSHANDLE dd, UNSIGNED16 type, const char* parent, UNSIGNED32* end) {
  std::vector<std::string> names;
  UNSIGNED8 buf[201];
  UNSIGNED16 len = 200;
  ADSHANDLE find = 0xFFFFFFFFu;
  UNSIGNED32 rc = AdsDDFindFirstObject(dd, type, parent ? U8(parent) : nullptr, buf, &len, &find);
  while (rc == 0) {
    names.push_back(Text(buf, len));
    len = 200;
    rc = AdsDDFindNextObject(dd, find, buf, &len);
  }
  *end = rc;
  if (find != 0 && find != 0xFFFFFFFFu) {
    EXPECT_EQ(AdsDDFindClose(dd, find), 0u);
  }
  return names;
}

TEST_F(ApiDictionary, ObjectEnumerationsEndWith5137) {
  ASSERT_EQ(AdsDDCreateProcedure(dd, U8("sp_Rebuild"), nullptr, nullptr, nullptr), 0u) << Last().text;
  ASSERT_EQ(AdsDDCreateProcedure(dd, U8("sp_Archive"), nullptr, nullptr, nullptr), 0u) << Last().text;
  const struct {
    UNSIGNED16 type;
    const char* parent;
    std::vector<std::string> expected;
  } cases[] = {
      {ADS_DD_PROCEDURE_OBJECT, nullptr, {"sp_Archive", "sp_Rebuild"}},
      {ADS_DD_TABLE_OBJECT, nullptr, {"Customer", "Orders"}},
      {ADS_DD_USER_OBJECT, nullptr, {"adssys", "ann", "bob"}},
      {ADS_DD_USER_OBJECT, "staff", {"ann"}},
      {ADS_DD_USER_GROUP_OBJECT, nullptr, {"audit", "staff"}},
      {ADS_DD_LINK_OBJECT, nullptr, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    UNSIGNED32 end = 0;
    EXPECT_EQ(Objects(dd, c.type, c.parent, &end), c.expected);
    EXPECT_EQ(end, 5137u);
  }
  UNSIGNED32 end = 0;
  Objects(dd, 99, nullptr, &end);
  EXPECT_EQ(end, 5903u);
  // A too-small buffer gives 5005 and the same name again on the next call.
  UNSIGNED8 small[4];
  UNSIGNED16 len = 4;
  ADSHANDLE find = 0;
  ASSERT_EQ(AdsDDFindFirstObject(dd, ADS_DD_PROCEDURE_OBJECT, nullptr, small, &len, &find), 5005u);
  EXPECT_EQ(len, std::string("sp_Archive").size() + 1);
  UNSIGNED8 buf[64];
  len = sizeof buf;
  ASSERT_EQ(AdsDDFindNextObject(dd, find, buf, &len), 0u);
  EXPECT_EQ(Text(buf, len), "sp_Archive");
  EXPECT_EQ(AdsDDFindClose(dd, find), 0u);
  EXPECT_EQ(AdsDDFindNextObject(dd, find, buf, &len), 5901u) << "a closed enumeration is stale";
}

TEST_F(ApiDictionary, RenamingAnObjectKeepsItsDataUnderTheNewName) {
  const std::string tag = "ORDNO";
  ASSERT_EQ(AdsDDSetTableProperty(dd, U8("Orders"), ADS_DD_TABLE_DEFAULT_INDEX, U8(tag), tag.size()), 0u);
  ASSERT_EQ(AdsDDRenameObject(dd, U8("orders"), U8("Sales"), ADS_DD_TABLE_OBJECT, 0), 0u) << Last().text;
  UNSIGNED8 buf[201];
  UNSIGNED16 len = 200;
  EXPECT_EQ(AdsDDGetTableProperty(dd, U8("Orders"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 5132u);
  len = 200;
  ASSERT_EQ(AdsDDGetTableProperty(dd, U8("Sales"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 0u);
  EXPECT_EQ(Text(buf, len), tag);
  const struct {
    const char* from;
    const char* to;
    UNSIGNED16 type;
    UNSIGNED32 expected;
  } cases[] = {
      {"Sales", "customer", ADS_DD_TABLE_OBJECT, 5909},
      {"Nothing", "Other", ADS_DD_TABLE_OBJECT, 5132},
      {"staff", "crew", ADS_DD_USER_GROUP_OBJECT, 0},
      {"bob", "robert", ADS_DD_USER_OBJECT, 0},
      {"adssys", "root", ADS_DD_USER_OBJECT, 5903},
      {"bob", "x", 77, 5903},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    EXPECT_EQ(AdsDDRenameObject(dd, U8(c.from), U8(c.to), c.type, 0), c.expected) << Last().text;
  }
  // Group membership follows the renamed group.
  UNSIGNED8 groups[64];
  len = sizeof groups;
  ASSERT_EQ(AdsDDGetUserProperty(dd, U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, groups, &len), 0u);
  EXPECT_EQ(Text(groups, len), "audit;crew");
}

TEST_F(ApiDictionary, LinksAreCreatedListedAndDropped) {
  ADSHANDLE other = ws.CreateDictionary("site.add");
  ws.TouchTable("stock.adt");
  ASSERT_EQ(AdsDDAddTable(other, U8("Stock"), U8("stock.adt"), ADS_ADT, 1, nullptr, nullptr), 0u);
  ASSERT_EQ(AdsDisconnect(other), 0u);
  ASSERT_EQ(AdsDDCreateLink(dd, U8("Site"), U8(ws.Win("site.add")), U8("adssys"), nullptr, 1), 0u) << Last().text;
  EXPECT_EQ(AdsDDCreateLink(dd, U8("SITE"), U8(ws.Win("site.add")), nullptr, nullptr, 0), 5909u);
  EXPECT_EQ(AdsDDCreateLink(dd, U8("Bad"), U8(ws.Win("site.add")), nullptr, nullptr, 8), 5903u);
  UNSIGNED16 count = 0;
  ASSERT_EQ(AdsGetNumActiveLinks(dd, &count), 0u);
  EXPECT_EQ(count, 1u);
  UNSIGNED8 info[664];
  UNSIGNED16 len = 663;
  ASSERT_EQ(AdsGetActiveLinkInfo(dd, 1, info, &len), 0u);
  EXPECT_EQ(Text(info, len), "Site;" + ws.Win("site.add") + ";adssys;");
  len = 663;
  EXPECT_EQ(AdsGetActiveLinkInfo(dd, 2, info, &len), 5903u);

  // The 62 forms list the linked dictionary's tables under the link's alias.
  UNSIGNED8 link[261], name[261];
  UNSIGNED16 llen = 260, nlen = 260;
  ADSHANDLE find = 0;
  std::vector<std::pair<std::string, std::string>> seen;
  UNSIGNED32 rc = AdsFindFirstTable62(dd, nullptr, link, &llen, name, &nlen, &find);
  while (rc == 0) {
    seen.emplace_back(Text(link, llen), Text(name, nlen));
    llen = nlen = 260;
    rc = AdsFindNextTable62(dd, find, link, &llen, name, &nlen);
  }
  EXPECT_EQ(rc, 5059u);
  EXPECT_EQ(AdsFindClose(dd, find), 0u);
  std::vector<std::pair<std::string, std::string>> expected = {{"", "Customer"}, {"", "Orders"}, {"Site", "Stock"}};
  EXPECT_EQ(seen, expected);

  ASSERT_EQ(AdsDDDropLink(dd, U8("site"), 0), 0u) << Last().text;
  EXPECT_EQ(AdsDDDropLink(dd, U8("site"), 0), 5132u);
  ASSERT_EQ(AdsGetNumActiveLinks(dd, &count), 0u);
  EXPECT_EQ(count, 0u);
}

TEST_F(ApiDictionary, OnlyTheAdministratorChangesTheDictionary) {
  ADSHANDLE ann = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=ann;Password=\"pw\";", &ann), 0u)
      << Last().text;
  const struct {
    const char* what;
    std::function<UNSIGNED32()> call;
  } cases[] = {
      {"create user", [&] { return AdsDDCreateUser(ann, nullptr, U8("eve"), nullptr, nullptr); }},
      {"create group", [&] { return AdsDDCreateUserGroup(ann, U8("x"), nullptr); }},
      {"add table", [&] { return AdsDDAddTable(ann, U8("T"), U8("customer.adt"), ADS_ADT, 1, nullptr, nullptr); }},
      {"remove table", [&] { return AdsDDRemoveTable(ann, U8("Customer"), 0); }},
      {"rename", [&] { return AdsDDRenameObject(ann, U8("Customer"), U8("C"), ADS_DD_TABLE_OBJECT, 0); }},
      {"link", [&] { return AdsDDCreateLink(ann, U8("L"), U8("x.add"), nullptr, nullptr, 0); }},
      {"other's password", [&] { return AdsDDSetUserProperty(ann, U8("bob"), ADS_DD_USER_PASSWORD, U8("x"), 1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), 5916u);
  }
  // Reading is open to every user, and a user may change his own password.
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  EXPECT_EQ(AdsDDGetUserProperty(ann, U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, buf, &len), 0u);
  EXPECT_EQ(AdsDDSetUserProperty(ann, U8("ann"), ADS_DD_USER_PASSWORD, U8("new"), 3), 0u) << Last().text;
  EXPECT_EQ(AdsDisconnect(ann), 0u);
  ADSHANDLE again = 0;
  EXPECT_EQ(acetest::Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=ann;Password=\"pw\";", &again), 5907u);
  EXPECT_EQ(acetest::Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=ann;Password=\"new\";", &again), 0u);
  EXPECT_EQ(AdsDisconnect(again), 0u);
}

TEST_F(ApiDictionary, RemovingATableKeepsItsFile) {
  ASSERT_EQ(AdsDDRemoveTable(dd, U8("customer"), 0), 0u) << Last().text;
  EXPECT_EQ(acetest::ReadFile(ws.Host("customer.adt")), "table");
  UNSIGNED32 end = 0;
  EXPECT_EQ(acetest::ListTables(dd, "", &end), std::vector<std::string>{"Orders"});
  EXPECT_EQ(end, 5059u);
  EXPECT_EQ(AdsDDRemoveTable(dd, U8("customer"), 0), 5132u);
}

// A table created through a dictionary connection beside the dictionary is listed by its file
// name, so that a copy of the folder is an installation of its own; the dictionary's own names
// for its tables keep the form the dictionary was opened by, whichever that was.
TEST(ApiDictionaryCreate, ATableCreatedBesideTheDictionaryMovesWithIt) {
  for (const bool hostForm : {true, false}) {
    SCOPED_TRACE(hostForm ? "dictionary named by its host path" : "dictionary named in Windows form");
    Workspace ws;
    const std::string dictionary = hostForm ? ws.Host("DB.add") : ws.Win("DB.add");
    ADSHANDLE dd = 0, t = 0;
    ASSERT_EQ(AdsDDCreate(U8(dictionary), 0, nullptr, &dd), 0u) << Last().text;
    ASSERT_EQ(AdsCreateTable90(dd, U8("crew"), nullptr, ADS_ADT, 1, 0, 0, 0, U8("NAME,Char,10"), 0, nullptr, &t), 0u)
        << Last().text;
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsSetString(t, U8("NAME"), U8("cook"), 4), 0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
    // Another open holds the table exclusively: the message names its file as the dictionary does.
    ASSERT_EQ(AdsOpenTable90(dd, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, ADS_EXCLUSIVE, nullptr, &t), 0u) << Last().text;
    ADSHANDLE other = 0, refused = 0;
    ASSERT_EQ(AdsConnect60(U8(dictionary), ADS_LOCAL_SERVER, U8("adssys"), nullptr, 0, &other), 0u) << Last().text;
    EXPECT_NE(AdsOpenTable90(other, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &refused), 0u);
    const std::string folder = hostForm ? ws.Host("crew.adt") : ws.Win("crew.adt");
    EXPECT_NE(Last().text.find("\"" + folder + "\""), std::string::npos) << Last().text;
    EXPECT_EQ(AdsDisconnect(other), 0u);
    EXPECT_EQ(AdsDisconnect(dd), 0u);

    Workspace copy;
    std::filesystem::copy(ws.Host(""), copy.Host(""), std::filesystem::copy_options::recursive |
                                                         std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(ws.Host("crew.adt"));
    ASSERT_EQ(AdsConnect60(U8(copy.Win("DB.add")), ADS_LOCAL_SERVER, U8("adssys"), nullptr, 0, &dd), 0u) << Last().text;
    ASSERT_EQ(AdsOpenTable90(dd, U8("crew"), nullptr, ADS_ADT, 0, 0, 0, 0, nullptr, &t), 0u) << Last().text;
    UNSIGNED32 records = 0;
    EXPECT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &records), 0u);
    EXPECT_EQ(records, 1u);
    EXPECT_EQ(AdsDisconnect(dd), 0u);
  }
}

TEST(ApiDictionaryCreate, CreatingOverAnExistingFileIsRefusedAndTheFileKept) {
  Workspace ws;
  acetest::WriteFile(ws.Host("DB.add"), "precious");
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsDDCreate(U8(ws.Win("DB.add")), 0, nullptr, &h), 5909u);
  EXPECT_EQ(acetest::ReadFile(ws.Host("DB.add")), "precious");
  EXPECT_EQ(AdsDDCreate(U8(ws.Win("DB.txt")), 0, nullptr, &h), 5903u);
  EXPECT_EQ(AdsDDCreate(U8(ws.Win("missing_folder/DB.add")), 0, nullptr, &h), 5915u);
}

TEST(ApiTableEnumeration, AFolderAndMaskListTheMatchingFilesSortedEndingWith5059) {
  Workspace ws;
  for (const char* f : {"b.adt", "A.ADT", "c.dbf", "notes.txt", "a.adi"}) acetest::WriteFile(ws.Host(f), "x");
  ADSHANDLE h = 0;
  ASSERT_EQ(AdsConnect(U8(ws.WinFolder()), &h), 0u);
  const struct {
    std::string pattern;
    std::vector<std::string> expected;
  } cases[] = {
      {ws.WinFolder() + "\\*.adt", {"A.ADT", "b.adt"}},
      {ws.WinFolder() + "\\*.ADT", {"A.ADT", "b.adt"}},
      {"*.dbf", {"c.dbf"}},
      {"", {"A.ADT", "b.adt"}},
      {ws.WinFolder() + "\\", {"A.ADT", "b.adt"}},
      {ws.WinFolder() + "/", {"A.ADT", "b.adt"}},
      {ws.WinFolder() + "/?.*", {"a.adi", "A.ADT", "b.adt", "c.dbf"}},
      {"*.xyz", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    UNSIGNED32 end = 0;
    EXPECT_EQ(acetest::ListTables(h, c.pattern, &end), c.expected);
    EXPECT_EQ(end, 5059u);
  }
  // Nothing found issues no handle.
  UNSIGNED8 buf[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 1234;
  EXPECT_EQ(AdsFindFirstTable(h, U8("*.xyz"), buf, &len, &find), 5059u);
  EXPECT_EQ(find, 0u);
  // A too-small buffer gives 5005 and the needed length, and the name is not skipped.
  UNSIGNED8 small[3];
  len = 3;
  ASSERT_EQ(AdsFindFirstTable(h, U8("*.adt"), small, &len, &find), 5005u);
  EXPECT_EQ(len, 6u);
  len = 260;
  ASSERT_EQ(AdsFindNextTable(h, find, buf, &len), 0u);
  EXPECT_EQ(Text(buf, len), "A.ADT");
  EXPECT_EQ(AdsFindNextTable(h, find, buf, nullptr), 5902u);
  EXPECT_EQ(AdsFindClose(h, find), 0u);
  EXPECT_EQ(AdsFindFirstTable(h, U8(ws.WinFolder() + "\\nowhere\\*.adt"), buf, &len, &find), 5906u);
  EXPECT_EQ(AdsDisconnect(h), 0u);
}

}  // namespace
