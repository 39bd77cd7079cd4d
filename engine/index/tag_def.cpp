// Tag definitions and the catalog; see tag_def.h.
#include "engine/index/tag_def.h"

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/index/collation.h"
#include "engine/index/page_format.h"

namespace engine::index {
namespace {

char FoldAZ(char c) { return engine::AsciiUpper(c); }

class Writer {
 public:
  void U8(uint8_t v) { out.push_back(v); }
  void U16(uint16_t v) { out.push_back(static_cast<uint8_t>(v)); out.push_back(static_cast<uint8_t>(v >> 8)); }
  void U32(uint32_t v) { U16(static_cast<uint16_t>(v)); U16(static_cast<uint16_t>(v >> 16)); }
  void Str(const std::string& s) {
    U16(static_cast<uint16_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  }
  std::vector<uint8_t> out;
};

class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  void Need(size_t k) {
    if (n_ - pos_ < k) Fail(err::kIndexFileCorrupt, "Index file damaged: catalog is cut short");
  }
  uint8_t U8() { Need(1); return p_[pos_++]; }
  uint16_t U16() { Need(2); uint16_t v = LoadLE<uint16_t>(p_ + pos_); pos_ += 2; return v; }
  uint32_t U32() { Need(4); uint32_t v = LoadLE<uint32_t>(p_ + pos_); pos_ += 4; return v; }
  std::string Str() {
    uint16_t len = U16();
    Need(len);
    std::string s(reinterpret_cast<const char*>(p_ + pos_), len);
    pos_ += len;
    return s;
  }
  bool AtEnd() const { return pos_ == n_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

}  // namespace

bool SameTagName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAZ(a[i]) != FoldAZ(b[i])) return false;
  }
  return true;
}

std::vector<TagInfo> PrepareTags(const std::vector<TagDef>& defs, uint32_t pageSize, KeyForm form) {
  std::vector<TagInfo> tags;
  if (defs.size() > 0xFFFF) Fail(err::kInvalidTagDefinition, "Too many index tags");
  for (const TagDef& d : defs) {
    if (d.name.empty() || d.name.size() > 128) {
      Fail(err::kInvalidTagDefinition, "Index tag name \"" + d.name + "\" is empty or longer than 128 characters");
    }
    if (d.expression.size() > 510 || d.condition.size() > 510) {
      Fail(err::kInvalidTagDefinition, "Key expression or condition of tag \"" + d.name + "\" is longer than 510 characters");
    }
    if ((d.options & kTagUnique) && (d.options & kTagCandidate)) {
      Fail(err::kInvalidTagDefinition, "Tag \"" + d.name + "\" cannot be both unique and candidate");
    }
    for (const TagInfo& t : tags) {
      if (SameTagName(t.def.name, d.name)) Fail(err::kInvalidTagDefinition, "Index tag \"" + d.name + "\" is defined twice");
    }
    const Collation& c = Collation::Find(d.collation);
    TagInfo info;
    info.def = d;
    info.def.collation = c.name();
    info.layout = KeyLayout::Make(d.segments, c, (d.options & kTagDescending) != 0, pageSize, form);
    info.collationVersion = c.version();
    tags.push_back(std::move(info));
  }
  return tags;
}

std::vector<uint8_t> SerializeCatalog(const std::vector<TagInfo>& tags) {
  Writer w;
  w.U16(static_cast<uint16_t>(tags.size()));
  for (const TagInfo& t : tags) {
    w.U32(t.root);
    w.U8(t.height);
    w.U32(t.def.options);
    w.U8(t.def.keyType);
    w.U32(t.collationVersion);
    w.Str(t.def.name);
    w.Str(t.def.expression);
    w.Str(t.def.condition);
    w.Str(t.def.collation);
    const auto& segs = t.layout.segments();
    w.U16(static_cast<uint16_t>(segs.size()));
    for (const Segment& s : segs) {
      w.U8(static_cast<uint8_t>(s.kind));
      w.U16(s.width);
      w.U16(s.offset);
      w.U16(s.length);
    }
  }
  return w.out;
}

std::vector<TagInfo> ParseCatalog(const uint8_t* data, size_t len, uint32_t pageSize) {
  Reader r(data, len);
  uint16_t count = r.U16();
  std::vector<TagInfo> tags;
  for (uint16_t i = 0; i < count; ++i) {
    TagInfo t;
    t.root = r.U32();
    t.height = r.U8();
    t.def.options = r.U32();
    t.def.keyType = r.U8();
    t.collationVersion = r.U32();
    t.def.name = r.Str();
    t.def.expression = r.Str();
    t.def.condition = r.Str();
    t.def.collation = r.Str();
    uint16_t nseg = r.U16();
    std::vector<Segment> segs;
    for (uint16_t k = 0; k < nseg; ++k) {
      Segment s;
      s.kind = static_cast<SegmentKind>(r.U8());
      s.width = r.U16();
      s.offset = r.U16();
      s.length = r.U16();
      segs.push_back(s);
      t.def.segments.push_back(SegmentSpec{s.kind, s.width});
    }
    if (t.height > kMaxTreeHeight || (t.root == 0) != (t.height == 0) || t.def.name.empty()) {
      Fail(err::kIndexFileCorrupt, "Index file damaged: bad tree root of tag \"" + t.def.name + "\"");
    }
    const Collation& c = Collation::Find(t.def.collation);
    t.layout = KeyLayout::FromSegments(segs, c, (t.def.options & kTagDescending) != 0, pageSize);
    tags.push_back(std::move(t));
  }
  if (!r.AtEnd()) Fail(err::kIndexFileCorrupt, "Index file damaged: catalog has trailing bytes");
  return tags;
}

}  // namespace engine::index
