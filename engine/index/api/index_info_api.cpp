// Entry points that find the index orders of a table and describe them.
#include <algorithm>

#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/dict/dictionary.h"
#include "engine/index/api/index_order.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::index_api {
namespace {

// The table handle an index call on hTable means, and its cursor.
struct TableRef {
  uint32_t handle;
  std::shared_ptr<table::TableCursor> cursor;
};

TableRef TableArg(uint32_t hTable) {
  TableRef t{hTable, table::TableOf(hTable)};
  return t;
}

// The index handle of every open tag, in order; fails when the structural index is unavailable.
std::vector<uint32_t> AllHandles(const TableRef& t) {
  index::TableIndexes& ix = IndexesOf(*t.cursor);
  ix.CheckAvailable();
  DropStaleHandles(t.handle, ix);
  std::vector<uint32_t> out;
  for (size_t i = 0; i < ix.tagCount(); ++i) out.push_back(HandleFor(t.handle, t.cursor, ix.tag(i).id));
  return out;
}

// Whether c may begin a field name: a letter a-z or A-Z, "_", or any byte of the upper half of
// the code page, as the expression language reads names ("Größe" is one name).
bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// The fields a key expression reads, in the order its parts name them: each part of the key
// ("+" or ";" at the top level) gives the first field name it mentions.
std::vector<std::string> SegmentFields(const std::string& expression, const table::Schema& schema) {
  std::vector<std::string> parts;
  int depth = 0;
  char quote = 0;
  std::string cur;
  for (char c : expression) {
    if (quote) {
      if (c == quote) quote = 0;
      cur += c;
      continue;
    }
    if (c == '"' || c == '\'') quote = c;
    if (c == '(' || c == '[') ++depth;
    if (c == ')' || c == ']') --depth;
    if (depth == 0 && (c == '+' || c == ';')) {
      parts.push_back(cur);
      cur.clear();
      continue;
    }
    cur += c;
  }
  parts.push_back(cur);
  std::vector<std::string> out;
  for (const std::string& part : parts) {
    size_t i = 0;
    char q = 0;
    while (i < part.size()) {
      char c = part[i];
      if (q) {
        if (c == q) q = 0;
        ++i;
        continue;
      }
      if (c == '"' || c == '\'') {
        q = c;
        ++i;
        continue;
      }
      if (IsNameStart(c)) {
        size_t j = i;
        while (j < part.size() && (IsNameStart(part[j]) || (part[j] >= '0' && part[j] <= '9'))) ++j;
        std::string word = part.substr(i, j - i);
        size_t k = j;
        while (k < part.size() && part[k] == ' ') ++k;
        bool call = k < part.size() && part[k] == '(';
        if (!call) {
          if (std::optional<size_t> f = schema.Find(word)) {
            out.push_back(schema.fields()[*f].name);
            break;
          }
        }
        i = j;
        continue;
      }
      ++i;
    }
  }
  return out;
}

std::string FolderOf(const std::string& windowsPath) {
  size_t slash = windowsPath.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : windowsPath.substr(0, slash + 1);
}

}  // namespace
}  // namespace engine::index_api

namespace engine::api {

using index_api::IndexOrder;
using index_api::OrderOf;

UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, UNSIGNED8* pucIndexOrder, ADSHANDLE* phIndex) {
  core::Require(phIndex, "phIndex");
  index_api::TableRef t = index_api::TableArg(hTable);
  std::string name = core::InText(pucIndexOrder);
  if (name.empty()) {
    // A table walks in record order of its own; a cursor of an ORDER BY has its order.
    const std::string& own = t.cursor->info().ownOrder;
    index::TableIndexes::Tag* tag = own.empty() ? nullptr : index_api::IndexesOf(*t.cursor).FindTag(own);
    *phIndex = tag ? index_api::HandleFor(hTable, t.cursor, tag->id) : 0;
    return 0;
  }
  index::TableIndexes& ix = index_api::IndexesOf(*t.cursor);
  index::TableIndexes::Tag* tag = ix.FindTag(name);
  if (!tag) {
    for (const table::TagDefinition& d : t.cursor->table().tags()) {
      if (index::SameTagName(d.name, name)) ix.CheckAvailable();
    }
    Fail(err::kNoSuchIndexOrder, "The table \"" + t.cursor->info().name + "\" has no index order \"" + name + "\".");
  }
  *phIndex = index_api::HandleFor(hTable, t.cursor, tag->id);
  return 0;
}

UNSIGNED32 AdsGetIndexHandleByOrder(ADSHANDLE hTable, UNSIGNED16 usOrderNum, ADSHANDLE* phIndexOrder) {
  core::Require(phIndexOrder, "phIndexOrder");
  index_api::TableRef t = index_api::TableArg(hTable);
  std::vector<uint32_t> all = index_api::AllHandles(t);
  if (usOrderNum < 1 || usOrderNum > all.size()) {
    Fail(err::kNoSuchIndexOrder, "The table \"" + t.cursor->info().name + "\" has no index order number " +
                                     std::to_string(usOrderNum) + " (it has " + std::to_string(all.size()) + ").");
  }
  *phIndexOrder = all[usOrderNum - 1];
  return 0;
}

UNSIGNED32 AdsGetNumIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum) {
  core::Require(pusNum, "pusNum");
  index_api::TableRef t = index_api::TableArg(hTable);
  index::TableIndexes& ix = index_api::IndexesOf(*t.cursor);
  ix.CheckAvailable();
  *pusNum = static_cast<UNSIGNED16>(std::min<size_t>(ix.tagCount(), 0xFFFF));
  return 0;
}

UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE* ahIndex, UNSIGNED16* pusArrayLen) {
  core::Require(pusArrayLen, "pusArrayLen");
  index_api::TableRef t = index_api::TableArg(hTable);
  std::vector<uint32_t> all = index_api::AllHandles(t);
  size_t capacity = ahIndex ? *pusArrayLen : 0;
  if (capacity < all.size()) {
    *pusArrayLen = static_cast<UNSIGNED16>(std::min<size_t>(all.size(), 0xFFFF));
    Fail(err::kInsufficientBuffer, "The index array needs " + std::to_string(all.size()) + " entries.");
  }
  std::copy(all.begin(), all.end(), ahIndex);
  *pusArrayLen = static_cast<UNSIGNED16>(all.size());
  return 0;
}

UNSIGNED32 AdsGetNumFTSIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum) {
  index_api::TableArg(hTable);
  core::Out(pusNum, 0, "pusNum");  // this engine has no full-text indexes
  return 0;
}

UNSIGNED32 AdsGetFTSIndexes(ADSHANDLE hTable, ADSHANDLE* ahIndex, UNSIGNED16* pusArrayLen) {
  (void)ahIndex;
  index_api::TableArg(hTable);
  core::Out(pusArrayLen, 0, "pusArrayLen");  // this engine has no full-text indexes
  return 0;
}

UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  return core::TextOut(b.info().def.name, pucName, pusLen);
}

UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  std::string base = core::FromHostName(b.indexes->FileEntry(*b.tag).path.filename().string());
  return table::FileNameOut(index_api::FolderOf(b.cursor->info().windowsPath) + base, usOption, pucName, pusLen,
                            "AdsGetIndexFilename");
}

UNSIGNED32 AdsGetIndexExpr(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
  return core::TextOut(OrderOf(hIndex)->Resolve().info().def.expression, pucExpr, pusLen);
}

UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
  return core::TextOut(OrderOf(hIndex)->Resolve().info().def.condition, pucExpr, pusLen);
}

UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulOptions) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  uint32_t flags = b.info().def.options;
  if (b.info().layout.segments().size() > 1) flags |= index::kTagCompound;
  core::Out(pulOptions, flags, "pulOptions");
  return 0;
}

UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize) {
  core::Out(pulPageSize, OrderOf(hIndex)->Resolve().file().pageSize(), "pulPageSize");
  return 0;
}

UNSIGNED32 AdsGetKeyLength(ADSHANDLE hIndex, UNSIGNED16* pusKeyLength) {
  core::Out(pusKeyLength, OrderOf(hIndex)->Resolve().info().layout.keyLength(), "pusKeyLength");
  return 0;
}

UNSIGNED32 AdsGetKeyType(ADSHANDLE hIndex, UNSIGNED16* pusType) {
  core::Out(pusType, OrderOf(hIndex)->Resolve().info().def.keyType, "pusType");
  return 0;
}

UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  core::Out(pusSegments, index_api::SegmentFields(b.info().def.expression, b.cursor->schema()).size(), "pusSegments");
  return 0;
}

UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegmentNum, UNSIGNED8* pucFieldname, UNSIGNED16* pusLen) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  std::vector<std::string> fields = index_api::SegmentFields(b.info().def.expression, b.cursor->schema());
  if (usSegmentNum >= fields.size()) {
    Fail(err::kInvalidArgument, "The index order \"" + b.info().def.name + "\" has no segment " +
                                    std::to_string(usSegmentNum) + " (segments are numbered from 0).");
  }
  return core::TextOut(fields[usSegmentNum], pucFieldname, pusLen);
}

namespace {
UNSIGNED32 FlagOut(ADSHANDLE hIndex, uint32_t bit, UNSIGNED16* out, const char* name) {
  core::Out(out, (OrderOf(hIndex)->Resolve().info().def.options & bit) ? 1 : 0, name);
  return 0;
}
}  // namespace

UNSIGNED32 AdsIsIndexCompound(ADSHANDLE hIndex, UNSIGNED16* pbCompound) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  bool compound = (b.info().def.options & index::kTagCompound) || b.info().layout.segments().size() > 1 ||
                  index_api::SegmentFields(b.info().def.expression, b.cursor->schema()).size() > 1;
  core::Out(pbCompound, compound ? 1 : 0, "pbCompound");
  return 0;
}

UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom) { return FlagOut(hIndex, index::kTagCustom, pbCustom, "pbCustom"); }

UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex, UNSIGNED16* pbDescending) {
  return FlagOut(hIndex, index::kTagDescending, pbDescending, "pbDescending");
}

UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbUnique) { return FlagOut(hIndex, index::kTagUnique, pbUnique, "pbUnique"); }

UNSIGNED32 AdsIsIndexCandidate(ADSHANDLE hIndex, UNSIGNED16* pbCandidate) {
  return FlagOut(hIndex, index::kTagCandidate, pbCandidate, "pbCandidate");
}

UNSIGNED32 AdsIsIndexPrimaryKey(ADSHANDLE hIndex, UNSIGNED16* pbPrimaryKey) {
  IndexOrder::Bound b = OrderOf(hIndex)->Resolve();
  bool primary = false;
  uint32_t connection = b.cursor->info().connection;
  if (connection != 0) {
    std::shared_ptr<core::Connection> c = core::Connections::Get(connection);
    if (c->is_dictionary && c->dictionary) {
      std::optional<dict::TableEntry> entry = c->dictionary->FindTable(b.cursor->info().name);
      primary = entry && !entry->primary_key.empty() && index::SameTagName(entry->primary_key, b.info().def.name);
    }
  }
  core::Out(pbPrimaryKey, primary ? 1 : 0, "pbPrimaryKey");
  return 0;
}

}  // namespace engine::api
