#include "engine/table/dbf_memo.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/byte_order.h"
#include "engine/core/error.h"

namespace engine::table {

namespace {

constexpr uint32_t kHeaderSize = 512;
constexpr uint8_t kDbtEnd = 0x1A;
constexpr uint32_t kFptBlockHeader = 8;
constexpr uint32_t kFptPicture = 0;
constexpr uint32_t kFptText = 1;
constexpr uint32_t kFptObject = 2;

[[noreturn]] void Damaged(const std::string& path, const std::string& what) {
  Fail(err::kMemoDamaged, "The memo file \"" + path + "\" is damaged: " + what + ".");
}

}  // namespace

std::unique_ptr<DbfMemo> DbfMemo::Create(const std::string& path, TableType type, uint16_t blockSize) {
  const bool fpt = type != TableType::kNtx;
  if (!fpt) {
    blockSize = kDbtBlockSize;
  } else if (blockSize == 0) {
    blockSize = kDefaultFptBlockSize;
  } else if (blockSize < 32) {
    Fail(err::kInvalidTableArgument, "The memo block size of a " + std::string(TableTypeName(type)) +
                                         " table must be at least 32 bytes.");
  }
  std::unique_ptr<DbfMemo> m(new DbfMemo(storage::OpenFile(path, storage::OpenMode::kCreate, err::kTableIoError), fpt, blockSize));
  uint8_t header[kHeaderSize] = {};
  if (fpt) {
    header[6] = static_cast<uint8_t>(blockSize >> 8);
    header[7] = static_cast<uint8_t>(blockSize);
  } else {
    header[16] = 0x03;  // dBase III
  }
  m->file_->Write(0, header, sizeof header);
  m->StoreNextFree(m->firstBlock());
  // The file spans the header, so the first memo starts on a block boundary.
  m->file_->Truncate(uint64_t{m->firstBlock()} * blockSize);
  return m;
}

std::unique_ptr<DbfMemo> DbfMemo::Open(const std::string& path, TableType type, bool writable) {
  int error = 0;
  std::unique_ptr<storage::File> f = storage::TryOpenFile(
      path, writable ? storage::OpenMode::kReadWrite : storage::OpenMode::kRead, err::kTableIoError, &error);
  if (!f) Fail(err::kMemoDamaged, "Cannot open the memo file \"" + path + "\": " + storage::Reason(error) + ".");
  uint8_t header[kHeaderSize];
  // Some writers leave a .dbt shorter than its header block when it holds no memo yet.
  size_t got = f->Read(0, header, sizeof header);
  if (got < 8) Damaged(path, "its header is cut short");
  const bool fpt = type != TableType::kNtx;
  uint16_t blockSize = kDbtBlockSize;
  if (fpt) {
    blockSize = static_cast<uint16_t>((header[6] << 8) | header[7]);
    if (blockSize == 0) Damaged(path, "its block size is 0");
  }
  std::unique_ptr<DbfMemo> m(new DbfMemo(std::move(f), fpt, blockSize));
  if (m->NextFreeBlock() < m->firstBlock()) Damaged(path, "its next free block lies inside its header");
  return m;
}

uint32_t DbfMemo::NextFreeBlock() const {
  uint8_t b[4];
  file_->ReadExact(0, b, sizeof b);
  return fpt_ ? LoadBE32(b) : LoadLE<uint32_t>(b);
}

void DbfMemo::StoreNextFree(uint32_t block) {
  uint8_t b[4];
  if (fpt_) {
    StoreBE32(b, block);
  } else {
    StoreLE<uint32_t>(b, block);
  }
  file_->Write(0, b, sizeof b);
}

std::string DbfMemo::Read(BlobRef ref) const {
  if (ref.block == 0) return std::string();
  const uint64_t start = uint64_t{ref.block} * blockSize_;
  const uint64_t size = file_->Size();
  if (ref.block < firstBlock() || start >= size) {
    Damaged(path(), "a record refers to block " + std::to_string(ref.block) + ", which it does not hold");
  }
  if (fpt_) {
    uint8_t h[kFptBlockHeader];
    if (file_->Read(start, h, sizeof h) != sizeof h) Damaged(path(), "the memo in block " + std::to_string(ref.block) + " is cut short");
    uint32_t length = LoadBE32(h + 4);
    if (start + kFptBlockHeader + length > size) {
      Damaged(path(), "the memo in block " + std::to_string(ref.block) + " runs past the end of the file");
    }
    std::string content(length, '\0');
    file_->ReadExact(start + kFptBlockHeader, content.data(), length);
    return content;
  }
  // A .dbt memo runs to its first 0x1A (writers put two).
  std::string content;
  std::vector<char> chunk(kDbtBlockSize * 8);
  for (uint64_t at = start; at < size;) {
    size_t got = file_->Read(at, chunk.data(), static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - at)));
    if (got == 0) break;
    const char* end = static_cast<const char*>(std::memchr(chunk.data(), kDbtEnd, got));
    if (end) {
      content.append(chunk.data(), static_cast<size_t>(end - chunk.data()));
      return content;
    }
    content.append(chunk.data(), got);
    at += got;
  }
  Damaged(path(), "the memo in block " + std::to_string(ref.block) + " has no end mark");
}

uint32_t DbfMemo::Length(BlobRef ref) const {
  if (ref.block == 0) return 0;
  if (fpt_) {
    uint8_t h[kFptBlockHeader];
    const uint64_t start = uint64_t{ref.block} * blockSize_;
    if (ref.block < firstBlock() || file_->Read(start, h, sizeof h) != sizeof h) {
      Damaged(path(), "a record refers to block " + std::to_string(ref.block) + ", which it does not hold");
    }
    return LoadBE32(h + 4);
  }
  return static_cast<uint32_t>(Read(ref).size());
}

BlobRef DbfMemo::Write(std::string_view content, FieldType type) {
  if (content.empty()) return BlobRef{};
  if (content.size() > 0x7FFFFF00u) Fail(err::kValueDoesNotFit, "A memo is limited to 2 GB.");
  std::string bytes;
  if (fpt_) {
    bytes.resize(kFptBlockHeader);
    uint32_t kind = type == FieldType::kBinary ? kFptObject : type == FieldType::kImage ? kFptPicture : kFptText;
    StoreBE32(reinterpret_cast<uint8_t*>(bytes.data()), kind);
    StoreBE32(reinterpret_cast<uint8_t*>(bytes.data()) + 4, static_cast<uint32_t>(content.size()));
    bytes.append(content);
  } else {
    if (content.find(static_cast<char>(kDbtEnd)) != std::string_view::npos) {
      Fail(err::kValueDoesNotFit, "A memo of an NTX table cannot hold the byte 0x1A, which ends a memo in \"" +
                                      path() + "\".");
    }
    bytes.reserve(content.size() + 2);
    bytes.append(content);
    bytes.append(2, static_cast<char>(kDbtEnd));
  }
  // Whole blocks, so the next memo starts on a block boundary.
  const uint64_t blocks = (bytes.size() + blockSize_ - 1) / blockSize_;
  bytes.resize(blocks * blockSize_, '\0');
  const uint32_t block = std::max(NextFreeBlock(), firstBlock());
  if (uint64_t{block} + blocks > 0xFFFFFFFFu) Fail(err::kValueDoesNotFit, "The memo file \"" + path() + "\" is full.");
  file_->Write(uint64_t{block} * blockSize_, bytes.data(), bytes.size());
  StoreNextFree(static_cast<uint32_t>(block + blocks));
  return BlobRef{block, static_cast<uint32_t>(content.size())};
}

}  // namespace engine::table
