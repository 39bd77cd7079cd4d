// Entry points of data dictionaries: creating one, its properties, users, groups, rights,
// objects, links and tables.
#include <sys/stat.h>

#include <cstring>

#include "engine/api/connection_open.h"
#include "engine/core/codepage.h"
#include "engine/core/connect_string.h"
#include "engine/core/connection.h"
#include "engine/core/enumeration.h"
#include "engine/core/guard.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/dict/dictionary.h"
#include "engine/table/table.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using namespace engine::core;
using dict::ObjectType;

namespace {

// Property ids (see ace_types.h).
constexpr UNSIGNED16 kComment = 1;
constexpr UNSIGNED16 kVersionMajor = 111;
constexpr UNSIGNED16 kVersionMinor = 112;
constexpr UNSIGNED16 kTablePath = 202;
constexpr UNSIGNED16 kTableType = 204;
constexpr UNSIGNED16 kTablePrimaryKey = 205;
constexpr UNSIGNED16 kTableDefaultIndex = 213;
constexpr UNSIGNED16 kTableCharType = 220;
constexpr UNSIGNED16 kUserPassword = 1101;
constexpr UNSIGNED16 kUserGroups = 1102;

std::shared_ptr<Connection> DictionaryConnection(ADSHANDLE hDictionary) {
  auto c = Connections::Get(hDictionary);
  if (!c->is_dictionary) {
    Fail(err::kNotDictionaryConnection, std::string(CurrentEntryPoint()) + ": the connection to " + c->path +
                                            " is a free-table connection, not a data dictionary connection.");
  }
  return c;
}

// The rights object of a column, "table.column": the table as the dictionary knows it and the
// column as the table's file names it. 5132 when no leading part names a table of the
// dictionary, 5409 when the table has no such column.
std::string ColumnObject(const Connection& c, const std::string& object) {
  for (size_t dot = object.find('.'); dot != std::string::npos; dot = object.find('.', dot + 1)) {
    std::optional<dict::TableEntry> entry = c.dictionary->FindTable(object.substr(0, dot));
    if (!entry) continue;
    const std::string column = object.substr(dot + 1);
    table::Table::OpenOptions o;
    o.readOnly = true;
    std::unique_ptr<table::Table> t = table::Table::Open(c.dictionary->TableHostPath(*entry), o);
    std::optional<size_t> i = t->schema().Find(column);
    if (!i) Fail(err::kFieldNotFound, "The table \"" + entry->name + "\" has no column \"" + column + "\".");
    return entry->name + "." + t->schema().fields()[*i].name;
  }
  Fail(err::kNotInDictionary, "\"" + object + "\" does not name a column of a table of the data dictionary (table.column).");
}

void RequireAdministrator(const Connection& c) {
  if (!c.is_administrator) {
    Fail(err::kNotAdministrator, std::string(CurrentEntryPoint()) + ": only the administrator adssys may change the "
                                                                    "data dictionary; connected as \"" + c.user + "\".");
  }
}

ObjectType ObjectTypeOf(UNSIGNED16 value) {
  switch (value) {
    case 1: return ObjectType::kTable;
    case 4: return ObjectType::kColumn;
    case 5: return ObjectType::kUser;
    case 6: return ObjectType::kGroup;
    case 10: return ObjectType::kProcedure;
    case 12: return ObjectType::kLink;
    default:
      Fail(err::kInvalidArgument, std::string(CurrentEntryPoint()) + ": " + std::to_string(value) +
                                      " is not a dictionary object type (1 table, 4 column, 5 user, 6 group, 10 procedure, 12 link).");
  }
}

// A text property: 5138 when it has no value.
UNSIGNED32 TextProperty(const std::string& value, const std::string& what, void* buf, UNSIGNED16* len) {
  Require(len, "pusPropertyLen");
  if (value.empty()) {
    *len = 0;
    Fail(err::kPropertyNotSet, std::string(CurrentEntryPoint()) + ": " + what + " has no value.");
  }
  return TextOut(value, static_cast<UNSIGNED8*>(buf), len);
}

UNSIGNED32 Int16Property(uint16_t value, void* buf, UNSIGNED16* len) {
  Require(len, "pusPropertyLen");
  return BytesOut(&value, sizeof value, Require(buf, "pvProperty"), len);
}

std::string PropertyText(void* pv, UNSIGNED16 len) {
  if (pv == nullptr || len == 0) return std::string();
  std::string s(static_cast<const char*>(pv), len);
  size_t nul = s.find('\0');
  return nul == std::string::npos ? s : s.substr(0, nul);
}

}  // namespace

// ---- creating a dictionary ----

UNSIGNED32 AdsDDCreate(UNSIGNED8* pucDictionaryPath, UNSIGNED16 usEncrypt, UNSIGNED8* pucDescription,
                       ADSHANDLE* phDictionary) {
  std::string path = InText(Require(pucDictionaryPath, "pucDictionaryPath"));
  Require(phDictionary, "phDictionary");
  if (usEncrypt != 0) Fail(err::kInvalidArgument, "AdsDDCreate: encrypted data dictionaries are not supported.");
  if (!IsDictionaryPath(path)) {
    Fail(err::kInvalidArgument, "AdsDDCreate: the name of a data dictionary must end in \".add\": " + path);
  }
  dict::Dictionary::Create(HostPathOrFail(path, "The data dictionary"), InText(pucDescription), std::string());
  ConnectOptions options;
  options.data_source = path;
  options.user = dict::kAdministrator;
  *phDictionary = OpenConnection(options);
  return 0;
}

// ---- properties ----

UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hDictionary, UNSIGNED16 usPropertyID, void* pvProperty,
                                    UNSIGNED16* pusPropertyLen) {
  auto c = DictionaryConnection(hDictionary);
  switch (usPropertyID) {
    case kComment: return TextProperty(c->dictionary->Property(kComment).value_or(""), "the comment", pvProperty, pusPropertyLen);
    case kVersionMajor:
    case kVersionMinor: {
      auto v = c->dictionary->Property(usPropertyID);
      uint16_t n = static_cast<uint16_t>(std::stoi(v.value_or("0")));
      return Int16Property(n, pvProperty, pusPropertyLen);
    }
    default:
      Fail(err::kUnknownProperty, "AdsDDGetDatabaseProperty: a data dictionary has no property " +
                                      std::to_string(usPropertyID) + ".");
  }
}

UNSIGNED32 AdsDDSetDatabaseProperty(ADSHANDLE hDictionary, UNSIGNED16 usPropertyID, void* pvProperty,
                                    UNSIGNED16 usPropertyLen) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  if (usPropertyID != kComment) {
    Fail(err::kUnknownProperty, "AdsDDSetDatabaseProperty: the property " + std::to_string(usPropertyID) +
                                    " cannot be set (only the comment, 1, can).");
  }
  c->dictionary->SetProperty(kComment, PropertyText(pvProperty, usPropertyLen));
  return 0;
}

UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName, UNSIGNED16 usPropertyID,
                                 void* pvProperty, UNSIGNED16* pusPropertyLen) {
  auto c = DictionaryConnection(hDictionary);
  dict::TableEntry t = c->dictionary->GetTable(InText(Require(pucTableName, "pucTableName")));
  std::string what = "the table \"" + t.name + "\"";
  switch (usPropertyID) {
    case kComment: return TextProperty(t.comment, "the comment of " + what, pvProperty, pusPropertyLen);
    case kTablePath: return TextProperty(c->dictionary->TableWindowsPath(t), "the path of " + what, pvProperty, pusPropertyLen);
    case kTableType: return Int16Property(t.type, pvProperty, pusPropertyLen);
    case kTableCharType: return Int16Property(t.char_type, pvProperty, pusPropertyLen);
    case kTablePrimaryKey: return TextProperty(t.primary_key, "the primary key of " + what, pvProperty, pusPropertyLen);
    case kTableDefaultIndex:
      return TextProperty(t.default_index, "the default index of " + what, pvProperty, pusPropertyLen);
    default:
      Fail(err::kUnknownProperty, "AdsDDGetTableProperty: a table has no property " + std::to_string(usPropertyID) + ".");
  }
}

UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName, UNSIGNED16 usPropertyID,
                                 void* pvProperty, UNSIGNED16 usPropertyLen) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  dict::TableEntry t = c->dictionary->GetTable(InText(Require(pucTableName, "pucTableName")));
  std::string value = PropertyText(pvProperty, usPropertyLen);
  switch (usPropertyID) {
    case kComment: t.comment = value; break;
    case kTableDefaultIndex: t.default_index = value; break;
    case kTablePrimaryKey: t.primary_key = value; break;
    default:
      Fail(err::kUnknownProperty, "AdsDDSetTableProperty: the table property " + std::to_string(usPropertyID) +
                                      " cannot be set (1 comment, 205 primary key and 213 default index can).");
  }
  c->dictionary->UpdateTable(t);
  return 0;
}

UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName, UNSIGNED16 usPropertyID,
                                void* pvProperty, UNSIGNED16* pusPropertyLen) {
  auto c = DictionaryConnection(hDictionary);
  std::string user = InText(Require(pucUserName, "pucUserName"));
  switch (usPropertyID) {
    case kUserGroups: {
      std::string joined;
      for (const auto& g : c->dictionary->GroupsOf(user)) joined += (joined.empty() ? "" : ";") + g;
      return TextProperty(joined, "the group membership of \"" + user + "\"", pvProperty, pusPropertyLen);
    }
    default:
      if (!c->dictionary->UserExists(user)) {
        Fail(err::kNotInDictionary, "The user \"" + user + "\" is not in the data dictionary.");
      }
      Fail(err::kUnknownProperty, "AdsDDGetUserProperty: the user property " + std::to_string(usPropertyID) +
                                      " cannot be read (1102, the groups, can).");
  }
}

UNSIGNED32 AdsDDSetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName, UNSIGNED16 usPropertyID,
                                void* pvProperty, UNSIGNED16 usPropertyLen) {
  auto c = DictionaryConnection(hDictionary);
  std::string user = InText(Require(pucUserName, "pucUserName"));
  if (usPropertyID != kUserPassword) {
    Fail(err::kUnknownProperty, "AdsDDSetUserProperty: the user property " + std::to_string(usPropertyID) +
                                    " cannot be set (1101, the password, can).");
  }
  // A user may change his own password; the administrator any.
  if (!c->is_administrator && !EqualsIgnoringAsciiCase(user, c->user)) RequireAdministrator(*c);
  c->dictionary->SetPassword(user, PropertyText(pvProperty, usPropertyLen));
  return 0;
}

// ---- users, groups, rights, procedures ----

UNSIGNED32 AdsDDCreateUser(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName, UNSIGNED8* pucUserName,
                           UNSIGNED8* pucPassword, UNSIGNED8* pucDescription) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  std::string user = InText(Require(pucUserName, "pucUserName"));
  std::string group = InText(pucGroupName);
  c->dictionary->CreateUser(user, InText(pucPassword), InText(pucDescription));
  if (!group.empty()) c->dictionary->AddToGroup(group, user);
  return 0;
}

UNSIGNED32 AdsDDDeleteUser(ADSHANDLE hDictionary, UNSIGNED8* pucUserName) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  c->dictionary->DeleteUser(InText(Require(pucUserName, "pucUserName")));
  return 0;
}

UNSIGNED32 AdsDDCreateUserGroup(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName, UNSIGNED8* pucDescription) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  c->dictionary->CreateGroup(InText(Require(pucGroupName, "pucGroupName")), InText(pucDescription));
  return 0;
}

UNSIGNED32 AdsDDDeleteUserGroup(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  c->dictionary->DeleteGroup(InText(Require(pucGroupName, "pucGroupName")));
  return 0;
}

UNSIGNED32 AdsDDAddUserToGroup(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName, UNSIGNED8* pucUserName) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  c->dictionary->AddToGroup(InText(Require(pucGroupName, "pucGroupName")), InText(Require(pucUserName, "pucUserName")));
  return 0;
}

UNSIGNED32 AdsDDRemoveUserFromGroup(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName, UNSIGNED8* pucUserName) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  c->dictionary->RemoveFromGroup(InText(Require(pucGroupName, "pucGroupName")),
                                 InText(Require(pucUserName, "pucUserName")));
  return 0;
}

UNSIGNED32 AdsDDGrantPermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType, UNSIGNED8* pucObjectName,
                                UNSIGNED8* pucGrantee, UNSIGNED32 ulPermissions) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  ObjectType type = ObjectTypeOf(usObjectType);
  std::string object = InText(Require(pucObjectName, "pucObjectName"));
  std::string grantee = InText(Require(pucGrantee, "pucGrantee"));
  if (type == ObjectType::kColumn) {
    object = ColumnObject(*c, object);
  } else {
    auto names = c->dictionary->ObjectNames(type, std::string());
    bool known = false;
    for (const auto& n : names) known = known || EqualsIgnoringAsciiCase(n, object);
    if (!known) Fail(err::kNotInDictionary, "The object \"" + object + "\" is not in the data dictionary.");
  }
  if (!c->dictionary->UserExists(grantee)) {
    bool group = false;
    for (const auto& g : c->dictionary->ObjectNames(ObjectType::kGroup, std::string())) {
      group = group || EqualsIgnoringAsciiCase(g, grantee);
    }
    if (!group) Fail(err::kNotInDictionary, "\"" + grantee + "\" is neither a user nor a group of the data dictionary.");
  }
  c->dictionary->Grant(type, object, grantee, ulPermissions);
  return 0;
}

UNSIGNED32 AdsDDRevokePermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType, UNSIGNED8* pucObjectName,
                                 UNSIGNED8* pucGrantee, UNSIGNED32 ulPermissions) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  ObjectType type = ObjectTypeOf(usObjectType);
  std::string object = InText(Require(pucObjectName, "pucObjectName"));
  if (type == ObjectType::kColumn) object = ColumnObject(*c, object);
  c->dictionary->Revoke(type, object, InText(Require(pucGrantee, "pucGrantee")), ulPermissions);
  return 0;
}

UNSIGNED32 AdsDDCreateProcedure(ADSHANDLE hDictionary, UNSIGNED8* pucName, UNSIGNED8* pucContainer,
                                UNSIGNED8* pucProcName, UNSIGNED8* pucComments) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  c->dictionary->AddProcedure(InText(Require(pucName, "pucName")), InText(pucContainer), InText(pucProcName),
                              InText(pucComments));
  return 0;
}

UNSIGNED32 AdsDDDropObject(ADSHANDLE hDictionary, UNSIGNED16 usObjectType, UNSIGNED8* pucObjectName) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  ObjectType type = ObjectTypeOf(usObjectType);
  std::string name = InText(Require(pucObjectName, "pucObjectName"));
  if (type == ObjectType::kUser) {
    c->dictionary->DeleteUser(name);
  } else {
    c->dictionary->Drop(type, name);
  }
  return 0;
}

// ---- tables ----

UNSIGNED32 AdsDDAddTable(ADSHANDLE hDictionary, UNSIGNED8* pucTableName, UNSIGNED8* pucTablePath,
                         UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED8* pucIndexFiles,
                         UNSIGNED8* pucComments) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  dict::TableEntry t;
  t.name = InText(Require(pucTableName, "pucTableName"));
  t.path = InText(Require(pucTablePath, "pucTablePath"));
  if (usTableType < 1 || usTableType > 4) {
    Fail(err::kInvalidArgument, "AdsDDAddTable: " + std::to_string(usTableType) + " is not a table type (1 to 4).");
  }
  if (usCharType < 1 || usCharType > 2) {
    Fail(err::kInvalidArgument, "AdsDDAddTable: " + std::to_string(usCharType) + " is not a character type (1 ANSI, 2 OEM).");
  }
  t.type = usTableType;
  t.char_type = usCharType;
  t.index_files = InText(pucIndexFiles);
  t.comment = InText(pucComments);
  std::string host = c->dictionary->TableHostPath(t);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    Fail(err::kFileFailure, "AdsDDAddTable: the table file " + c->dictionary->TableWindowsPath(t) + " does not exist.");
  }
  c->dictionary->AddTable(t);
  return 0;
}

UNSIGNED32 AdsDDRemoveTable(ADSHANDLE hDictionary, UNSIGNED8* pucTableName, UNSIGNED16 usDeleteFiles) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  if (usDeleteFiles != 0) {
    // Deleting the files belongs to the table storage; removing the entry keeps every byte.
    Fail(err::kInvalidArgument, "AdsDDRemoveTable: deleting the table's files is not supported; pass 0 to remove the "
                                "table from the dictionary only.");
  }
  c->dictionary->RemoveTable(InText(Require(pucTableName, "pucTableName")));
  return 0;
}

// ---- objects ----

UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hDictionary, UNSIGNED16 usFindObjectType, UNSIGNED8* pucParentName,
                                UNSIGNED8* pucObjectName, UNSIGNED16* pusObjectNameLen, ADSHANDLE* phFindHandle) {
  auto c = DictionaryConnection(hDictionary);
  ObjectType type = ObjectTypeOf(usFindObjectType);
  Require(pucObjectName, "pucObjectName");
  Require(pusObjectNameLen, "pusObjectNameLen");
  Require(phFindHandle, "phFindHandle");
  auto en = std::make_shared<Enumeration>();
  for (auto& n : c->dictionary->ObjectNames(type, InText(pucParentName))) en->entries.emplace_back(std::string(), n);
  if (en->AtEnd()) {
    *phFindHandle = 0;
    Fail(err::kNoMoreObjects, "AdsDDFindFirstObject: the data dictionary has no objects of type " +
                                  std::to_string(usFindObjectType) + ".");
  }
  *phFindHandle = Handles::Add(Kind::kObjectFind, en, hDictionary);
  TextOut(en->Current().second, pucObjectName, pusObjectNameLen);
  ++en->next;
  return 0;
}

UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hDictionary, ADSHANDLE hFindHandle, UNSIGNED8* pucObjectName,
                               UNSIGNED16* pusObjectNameLen) {
  DictionaryConnection(hDictionary);
  auto en = Handles::Get<Enumeration>(hFindHandle, Kind::kObjectFind);
  if (Handles::OwnerOf(hFindHandle) != hDictionary) {
    Fail(err::kInvalidHandle, "The object enumeration " + std::to_string(hFindHandle) + " belongs to another connection.");
  }
  Require(pucObjectName, "pucObjectName");
  Require(pusObjectNameLen, "pusObjectNameLen");
  if (en->AtEnd()) return err::kNoMoreObjects;
  TextOut(en->Current().second, pucObjectName, pusObjectNameLen);
  ++en->next;
  return 0;
}

UNSIGNED32 AdsDDFindClose(ADSHANDLE hDictionary, ADSHANDLE hFindHandle) {
  DictionaryConnection(hDictionary);
  Handles::Remove(hFindHandle, Kind::kObjectFind);
  return 0;
}

UNSIGNED32 AdsDDRenameObject(ADSHANDLE hDictionary, UNSIGNED8* pucObjectName, UNSIGNED8* pucNewObjectName,
                             UNSIGNED16 usObjectType, UNSIGNED32 ulOptions) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  if (ulOptions != 0) Fail(err::kInvalidArgument, "AdsDDRenameObject: no options are defined; pass 0.");
  c->dictionary->Rename(ObjectTypeOf(usObjectType), InText(Require(pucObjectName, "pucObjectName")),
                        InText(Require(pucNewObjectName, "pucNewObjectName")));
  return 0;
}

// ---- links ----

UNSIGNED32 AdsDDCreateLink(ADSHANDLE hDictionary, UNSIGNED8* pucLinkAlias, UNSIGNED8* pucLinkedDDPath,
                           UNSIGNED8* pucUserName, UNSIGNED8* pucPassword, UNSIGNED32 ulOptions) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  if (ulOptions & ~UNSIGNED32{7}) {
    Fail(err::kInvalidArgument, "AdsDDCreateLink: the options " + std::to_string(ulOptions) +
                                    " have bits other than 1 (global), 2 (authenticate the active user) and 4 (static path).");
  }
  dict::LinkEntry link;
  link.alias = InText(Require(pucLinkAlias, "pucLinkAlias"));
  link.path = InText(Require(pucLinkedDDPath, "pucLinkedDDPath"));
  link.user = InText(pucUserName);
  link.password = InText(pucPassword);
  link.options = ulOptions;
  if (!IsDictionaryPath(link.path)) {
    Fail(err::kInvalidArgument, "AdsDDCreateLink: " + link.path + " is not the path of a data dictionary (\".add\").");
  }
  c->dictionary->AddLink(link);
  return 0;
}

UNSIGNED32 AdsDDDropLink(ADSHANDLE hDictionary, UNSIGNED8* pucLinkedDD, UNSIGNED16 usDropGlobal) {
  auto c = DictionaryConnection(hDictionary);
  RequireAdministrator(*c);
  (void)usDropGlobal;  // every link is stored in the dictionary, so dropping it drops it for everyone
  c->dictionary->DropLink(InText(Require(pucLinkedDD, "pucLinkedDD")));
  return 0;
}

UNSIGNED32 AdsGetNumActiveLinks(ADSHANDLE hDictionary, UNSIGNED16* pusNumLinks) {
  auto c = DictionaryConnection(hDictionary);
  Out(pusNumLinks, c->dictionary->Links().size(), "pusNumLinks");
  return 0;
}

UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hDictionary, UNSIGNED16 usLinkNum, UNSIGNED8* pucLinkInfo,
                                UNSIGNED16* pusBufferLen) {
  auto c = DictionaryConnection(hDictionary);
  Require(pusBufferLen, "pusBufferLen");
  auto links = c->dictionary->Links();
  if (usLinkNum < 1 || usLinkNum > links.size()) {
    Fail(err::kInvalidArgument, "AdsGetActiveLinkInfo: there is no link number " + std::to_string(usLinkNum) + " (" +
                                    std::to_string(links.size()) + " links).");
  }
  const auto& l = links[usLinkNum - 1];
  // "alias;path;user;" - every piece ends with ";".
  return TextOut(l.alias + ";" + l.path + ";" + l.user + ";", pucLinkInfo, pusBufferLen);
}

}  // namespace engine::api
