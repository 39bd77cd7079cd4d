// Text decoded from the fields of the current record, each field at most once per record.
//
// ExprRecord::fieldString promises that the view it returns stays valid until the record
// changes. An expression may read one field several times in one evaluation (NAME = NAME,
// PADR(NAME, 40, NAME)) and keeps every view it was handed until the evaluation ends, so a
// record that decodes a field into scratch text must never decode that field again for the
// same record: replacing the text would free what an earlier view points at. This cache keeps
// one entry per field and a record stamp; an entry is filled once per record and then handed
// out unchanged. NextRecord forgets every entry in constant time.
//
// Thread safety: none; owned by one ExprRecord, used by one thread at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/check.h"

namespace engine::expr {

template <typename Text>
class BasicFieldTextCache {
 public:
  explicit BasicFieldTextCache(size_t fieldCount) : text_(fieldCount), stamp_(fieldCount, 0) {}

  // The record changed: every entry is stale.
  void NextRecord() {
    if (++record_ == 0) {  // the stamp wrapped: clear the stamps once rather than misread one
      std::fill(stamp_.begin(), stamp_.end(), 0);
      record_ = 1;
    }
  }

  // The text of `slot` decoded for the current record, or null when it was not decoded yet.
  const Text* Find(size_t slot) const {
    ENGINE_CHECK(slot < text_.size(), "field slot out of range");
    return stamp_[slot] == record_ ? &text_[slot] : nullptr;
  }

  // The entry to decode `slot` into for the current record. REQUIRES: Find(slot) is null.
  Text& Fill(size_t slot) {
    ENGINE_CHECK(slot < text_.size() && stamp_[slot] != record_, "a field's text decoded twice for one record");
    stamp_[slot] = record_;
    return text_[slot];
  }

 private:
  std::vector<Text> text_;
  std::vector<uint32_t> stamp_;
  uint32_t record_ = 1;
};

// 8-bit text as the language reads it, and the UTF-16 text of national-character fields.
using FieldTextCache = BasicFieldTextCache<std::string>;
using WideFieldTextCache = BasicFieldTextCache<std::u16string>;

}  // namespace engine::expr
