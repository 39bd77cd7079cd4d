// Entry points of table enumeration: AdsFindFirstTable, AdsFindNextTable, their 62 forms with
// link names, and AdsFindClose.
//
// On a dictionary connection an empty search pattern lists the dictionary's tables (and, for the
// 62 forms, the tables of its linked dictionaries under the link's alias). Otherwise the
// search pattern is a folder and a file mask ("C:\data\*.adt"; a relative folder is relative to
// the connection's folder; a mask alone searches the connection's folder; a folder alone finds
// the files of the connection's table type, as an empty pattern does); the names returned
// are the matching file names, sorted ignoring the case of a..z. The names are collected when
// the enumeration starts. The end gives 5059; so does a first call that finds nothing, which
// then issues no handle (the out-parameter gets 0).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/core/codepage.h"
#include "engine/core/connection.h"
#include "engine/core/enumeration.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/dict/dictionary.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using namespace engine::core;

namespace {

bool IsRooted(const std::string& p) {
  return (p.size() >= 2 && p[1] == ':') || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}

std::vector<std::string> MatchingFiles(const Connection& c, const std::string& pattern) {
  std::string folder = c.folder, mask = pattern;
  size_t cut = pattern.find_last_of("\\/");
  if (cut != std::string::npos) {
    std::string part = pattern.substr(0, cut);
    mask = pattern.substr(cut + 1);
    if (part.empty()) part = pattern.substr(0, 1);
    if (part.size() == 2 && part[1] == ':') part += "\\";
    folder = IsRooted(part) ? part : c.folder + "\\" + part;
  }
  // A folder without a mask holds the connection's kind of tables, as an empty pattern does.
  if (mask.empty()) mask = c.default_table_type == 3 ? "*.adt" : "*.dbf";
  std::string host;
  platform::Status s = ToHostPath(folder, &host);
  if (!s.ok()) Fail(err::kPathInvalid, "The folder " + folder + " cannot be searched: " + s.message());
  std::vector<std::string> names;
  DIR* dir = ::opendir(host.c_str());
  if (!dir) Fail(err::kDataSourceNotFound, "The folder " + folder + " does not exist or cannot be read.");
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::stat((host + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::string ansi = FromHostName(name);
    if (WildcardMatch(mask, ansi)) names.push_back(ansi);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return AsciiUpper(a) < AsciiUpper(b); });
  return names;
}

Enumeration Collect(const Connection& c, const std::string& pattern, bool with_links) {
  Enumeration en;
  if (c.is_dictionary && pattern.empty()) {
    for (const auto& t : c.dictionary->Tables()) en.entries.emplace_back(std::string(), t.name);
    if (with_links) {
      for (const auto& link : c.dictionary->Links()) {
        std::string path = IsRooted(link.path) ? link.path : c.dictionary->WindowsFolder() + "\\" + link.path;
        auto linked = dict::Dictionary::Open(HostPathOrFail(path, "The linked data dictionary"), path);
        for (const auto& t : linked->Tables()) en.entries.emplace_back(link.alias, t.name);
      }
    }
    return en;
  }
  std::string effective = pattern;
  if (effective.empty()) effective = c.default_table_type == 3 ? "*.adt" : "*.dbf";
  for (auto& name : MatchingFiles(c, effective)) en.entries.emplace_back(std::string(), name);
  return en;
}

// Hands out the current entry, advancing only when it fitted.
UNSIGNED32 Emit(Enumeration& en, UNSIGNED8* pucLink, UNSIGNED16* pusLinkLen, UNSIGNED8* pucName, UNSIGNED16* pusNameLen) {
  if (en.AtEnd()) return err::kNoMoreTables;
  const auto& [link, name] = en.Current();
  if (pusLinkLen) {
    // Check the name's buffer first so that neither is written when one of them is too small.
    if (pucName == nullptr || *pusNameLen < name.size() + 1) return TextOut(name, pucName, pusNameLen);
    TextOut(link, pucLink, pusLinkLen);
  }
  TextOut(name, pucName, pusNameLen);
  ++en.next;
  return 0;
}

UNSIGNED32 FindFirst(ADSHANDLE hConnect, UNSIGNED8* pucFileMask, UNSIGNED8* pucLink, UNSIGNED16* pusLinkLen,
                     UNSIGNED8* pucName, UNSIGNED16* pusNameLen, ADSHANDLE* phFindHandle) {
  auto c = Connections::Get(hConnect);
  Require(pucName, "pucFirstFile");
  Require(pusNameLen, "pusFileLen");
  Require(phFindHandle, "phFindHandle");
  if (pusLinkLen) Require(pucLink, "pucFirstDD");
  auto en = std::make_shared<Enumeration>(Collect(*c, InText(pucFileMask), pusLinkLen != nullptr));
  if (en->AtEnd()) {
    *phFindHandle = 0;
    Fail(err::kNoMoreTables, "No table matches " + (InText(pucFileMask).empty() ? c->path : InText(pucFileMask)) + ".");
  }
  *phFindHandle = Handles::Add(Kind::kTableFind, en, hConnect);
  return Emit(*en, pucLink, pusLinkLen, pucName, pusNameLen);
}

UNSIGNED32 FindNext(ADSHANDLE hConnect, ADSHANDLE hFindHandle, UNSIGNED8* pucLink, UNSIGNED16* pusLinkLen,
                    UNSIGNED8* pucName, UNSIGNED16* pusNameLen) {
  Connections::Get(hConnect);
  auto en = Handles::Get<Enumeration>(hFindHandle, Kind::kTableFind);
  if (Handles::OwnerOf(hFindHandle) != hConnect) {
    Fail(err::kInvalidHandle, "The table enumeration " + std::to_string(hFindHandle) + " belongs to another connection.");
  }
  Require(pucName, "pucFileName");
  Require(pusNameLen, "pusFileLen");
  if (pusLinkLen) Require(pucLink, "pucDDName");
  return Emit(*en, pucLink, pusLinkLen, pucName, pusNameLen);
}

}  // namespace

UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, UNSIGNED8* pucFileMask, UNSIGNED8* pucFirstFile,
                             UNSIGNED16* pusFileLen, ADSHANDLE* phFindHandle) {
  return FindFirst(hConnect, pucFileMask, nullptr, nullptr, pucFirstFile, pusFileLen, phFindHandle);
}

UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFindHandle, UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen) {
  return FindNext(hConnect, hFindHandle, nullptr, nullptr, pucFileName, pusFileLen);
}

UNSIGNED32 AdsFindFirstTable62(ADSHANDLE hConnect, UNSIGNED8* pucFileMask, UNSIGNED8* pucFirstDD, UNSIGNED16* pusDDLen,
                               UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen, ADSHANDLE* phFindHandle) {
  return FindFirst(hConnect, pucFileMask, pucFirstDD, Require(pusDDLen, "pusDDLen"), pucFirstFile, pusFileLen,
                   phFindHandle);
}

UNSIGNED32 AdsFindNextTable62(ADSHANDLE hConnect, ADSHANDLE hFindHandle, UNSIGNED8* pucDDName, UNSIGNED16* pusDDLen,
                              UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen) {
  return FindNext(hConnect, hFindHandle, pucDDName, Require(pusDDLen, "pusDDLen"), pucFileName, pusFileLen);
}

UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle) {
  Connections::Get(hConnect);
  Handles::Get<Enumeration>(hFindHandle, Kind::kTableFind);
  Handles::Remove(hFindHandle, Kind::kTableFind);
  return 0;
}

}  // namespace engine::api
