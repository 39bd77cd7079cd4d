#include "engine/table/memo_file.h"

#include <cstring>
#include <vector>

#include "engine/core/error.h"
#include "engine/core/byte_order.h"
#include "engine/core/checksum.h"

namespace engine::table {

namespace {

constexpr char kMemoMagic[8] = {'Q', 'N', 'L', 'R', 'A', 'D', 'M', 0x1A};
constexpr uint32_t kMemoHeaderSize = 512;
constexpr uint32_t kExtentHeaderSize = 16;
constexpr uint32_t kBlobKind = 0x424F4C42;  // "BLOB"
constexpr uint32_t kFreeKind = 0x45455246;  // "FREE"

[[noreturn]] void Damaged(const std::string& path, const std::string& what) {
  Fail(err::kMemoDamaged, "The memo file \"" + path + "\" is damaged: " + what + ".");
}

bool ValidBlockSize(uint32_t b) { return b >= 8 && b <= 8192 && (b & (b - 1)) == 0; }

}  // namespace

MemoFile MemoFile::Create(const std::string& path, uint16_t blockSize) {
  if (blockSize == 0) blockSize = kDefaultMemoBlockSize;
  if (!ValidBlockSize(blockSize)) {
    Fail(err::kInvalidTableArgument, "The memo block size must be a power of two from 8 to 8192.");
  }
  MemoFile m;
  m.file_ = storage::OpenFile(path, storage::OpenMode::kCreate, err::kTableIoError);
  m.blockSize_ = blockSize;
  Header h;
  h.blockSize = blockSize;
  h.totalBlocks = m.FirstDataBlock();
  m.StoreHeader(h);
  // The file spans the header blocks, so the first extent starts on a block boundary.
  m.file_->Truncate(static_cast<uint64_t>(h.totalBlocks) * blockSize);
  return m;
}

MemoFile MemoFile::Open(const std::string& path, bool writable) {
  int error = 0;
  MemoFile m;
  m.file_ = storage::TryOpenFile(path, writable ? storage::OpenMode::kReadWrite : storage::OpenMode::kRead,
                                 err::kTableIoError, &error);
  if (!m.file_) {
    storage::FailHost(err::kMemoDamaged, error, "Cannot open the memo file \"" + path + "\"");
  }
  uint8_t b[kMemoHeaderSize];
  if (m.file_->Read(0, b, sizeof b) != sizeof b) Damaged(path, "its header is cut short");
  if (std::memcmp(b, kMemoMagic, 8) != 0) Damaged(path, "it is not a memo file");
  if (LoadLE<uint16_t>(b + 8) != kMemoFormatVersion) {
    Fail(err::kTableVersion, "The memo file \"" + path + "\" has an unknown format version.");
  }
  if (LoadLE<uint32_t>(b + 508) != Crc32(b, 508)) Damaged(path, "the checksum of its header does not match");
  uint32_t blockSize = LoadLE<uint32_t>(b + 12);
  if (!ValidBlockSize(blockSize)) Damaged(path, "its block size is impossible");
  m.blockSize_ = static_cast<uint16_t>(blockSize);
  return m;
}

uint32_t MemoFile::FirstDataBlock() const { return (kMemoHeaderSize + blockSize_ - 1) / blockSize_; }

uint32_t MemoFile::BlocksFor(size_t content) const {
  return static_cast<uint32_t>((content + kExtentHeaderSize + blockSize_ - 1) / blockSize_);
}

MemoFile::Header MemoFile::LoadHeader() const {
  uint8_t b[kMemoHeaderSize];
  file_->ReadExact(0, b, sizeof b);
  if (LoadLE<uint32_t>(b + 508) != Crc32(b, 508)) Damaged(path(), "the checksum of its header does not match");
  Header h;
  h.blockSize = LoadLE<uint32_t>(b + 12);
  h.totalBlocks = LoadLE<uint32_t>(b + 16);
  h.freeHead = LoadLE<uint32_t>(b + 20);
  h.freeBlocks = LoadLE<uint32_t>(b + 24);
  return h;
}

void MemoFile::StoreHeader(const Header& h) {
  uint8_t b[kMemoHeaderSize];
  std::memset(b, 0, sizeof b);
  std::memcpy(b, kMemoMagic, 8);
  StoreLE<uint16_t>(b + 8, kMemoFormatVersion);
  StoreLE<uint32_t>(b + 12, h.blockSize);
  StoreLE<uint32_t>(b + 16, h.totalBlocks);
  StoreLE<uint32_t>(b + 20, h.freeHead);
  StoreLE<uint32_t>(b + 24, h.freeBlocks);
  StoreLE<uint32_t>(b + 508, Crc32(b, 508));
  file_->Write(0, b, sizeof b);
}

std::string MemoFile::Read(BlobRef ref) const {
  if (ref.block == 0) return std::string();
  uint64_t fileSize = file_->Size();
  uint64_t offset = static_cast<uint64_t>(ref.block) * blockSize_;
  if (ref.block < FirstDataBlock() || offset + kExtentHeaderSize + ref.length > fileSize) {
    Damaged(path(), "a record refers to block " + std::to_string(ref.block) + " past the end of the memo file");
  }
  uint8_t eh[kExtentHeaderSize];
  file_->ReadExact(offset, eh, sizeof eh);
  if (LoadLE<uint32_t>(eh) != kBlobKind || LoadLE<uint32_t>(eh + 4) != ref.length) {
    Damaged(path(), "block " + std::to_string(ref.block) + " does not hold the blob a record refers to");
  }
  std::string content(ref.length, '\0');
  file_->ReadExact(offset + kExtentHeaderSize, content.data(), content.size());
  if (Crc32(content.data(), content.size()) != LoadLE<uint32_t>(eh + 12)) {
    Damaged(path(), "the blob in block " + std::to_string(ref.block) + " fails its checksum");
  }
  return content;
}

BlobRef MemoFile::Write(std::string_view content) {
  if (content.empty()) return BlobRef{};
  if (content.size() > 0x7FFFFFF0u) Fail(err::kValueDoesNotFit, "A blob is limited to 2 GB.");
  Header h = LoadHeader();
  uint32_t need = BlocksFor(content.size());
  uint32_t block = 0;
  // First fit on the free list; the remainder of a larger extent stays free in its place.
  uint32_t prev = 0;
  for (uint32_t cur = h.freeHead; cur != 0;) {
    uint8_t fh[kExtentHeaderSize];
    if (cur < FirstDataBlock() || cur >= h.totalBlocks) Damaged(path(), "its free list leaves the file");
    file_->ReadExact(static_cast<uint64_t>(cur) * blockSize_, fh, sizeof fh);
    if (LoadLE<uint32_t>(fh) != kFreeKind) Damaged(path(), "its free list is broken");
    uint32_t blocks = LoadLE<uint32_t>(fh + 8);
    uint32_t next = LoadLE<uint32_t>(fh + 12);
    if (blocks >= need) {
      uint32_t successor = next;
      if (blocks > need) {
        uint32_t rest = cur + need;
        uint8_t rh[kExtentHeaderSize] = {};
        StoreLE<uint32_t>(rh, kFreeKind);
        StoreLE<uint32_t>(rh + 8, blocks - need);
        StoreLE<uint32_t>(rh + 12, next);
        file_->Write(static_cast<uint64_t>(rest) * blockSize_, rh, sizeof rh);
        successor = rest;
      }
      h.freeBlocks -= need;
      // The extent leaves the list before its blocks are overwritten: a crash in between
      // loses its blocks to nobody, where the other order would leave the list running
      // through a blob.
      if (prev == 0) {
        h.freeHead = successor;
        StoreHeader(h);
      } else {
        uint8_t ph[kExtentHeaderSize];
        file_->ReadExact(static_cast<uint64_t>(prev) * blockSize_, ph, sizeof ph);
        StoreLE<uint32_t>(ph + 12, successor);
        file_->Write(static_cast<uint64_t>(prev) * blockSize_, ph, sizeof ph);
      }
      block = cur;
      break;
    }
    prev = cur;
    cur = next;
  }
  if (block == 0) {
    block = h.totalBlocks;
    if (static_cast<uint64_t>(block) + need > 0xFFFFFFF0u) Fail(err::kValueDoesNotFit, "The memo file is full.");
    h.totalBlocks += need;
  }
  std::vector<uint8_t> extent(static_cast<size_t>(need) * blockSize_, 0);
  StoreLE<uint32_t>(extent.data(), kBlobKind);
  StoreLE<uint32_t>(extent.data() + 4, static_cast<uint32_t>(content.size()));
  StoreLE<uint32_t>(extent.data() + 8, need);
  StoreLE<uint32_t>(extent.data() + 12, Crc32(content.data(), content.size()));
  std::memcpy(extent.data() + kExtentHeaderSize, content.data(), content.size());
  // Content first, then the header that makes the new blocks part of the file.
  file_->Write(static_cast<uint64_t>(block) * blockSize_, extent.data(), extent.size());
  StoreHeader(h);
  return BlobRef{block, static_cast<uint32_t>(content.size())};
}

void MemoFile::Free(BlobRef ref) {
  if (ref.block == 0) return;
  Header h = LoadHeader();
  if (ref.block < FirstDataBlock() || ref.block >= h.totalBlocks) return;  // nothing of ours to free
  uint8_t eh[kExtentHeaderSize];
  file_->ReadExact(static_cast<uint64_t>(ref.block) * blockSize_, eh, sizeof eh);
  if (LoadLE<uint32_t>(eh) != kBlobKind) return;  // already free or not a blob: never link it twice
  uint32_t blocks = LoadLE<uint32_t>(eh + 8);
  uint8_t fh[kExtentHeaderSize] = {};
  StoreLE<uint32_t>(fh, kFreeKind);
  StoreLE<uint32_t>(fh + 8, blocks);
  StoreLE<uint32_t>(fh + 12, h.freeHead);
  file_->Write(static_cast<uint64_t>(ref.block) * blockSize_, fh, sizeof fh);
  h.freeHead = ref.block;
  h.freeBlocks += blocks;
  StoreHeader(h);
}

void MemoFile::WipeFree() {
  Header h = LoadHeader();
  std::vector<uint8_t> zeros;
  // A damaged list that loops is cut off after as many steps as the file has blocks.
  uint32_t steps = 0;
  for (uint32_t cur = h.freeHead; cur != 0 && steps++ <= h.totalBlocks;) {
    if (cur < FirstDataBlock() || cur >= h.totalBlocks) Damaged(path(), "its free list leaves the file");
    uint8_t fh[kExtentHeaderSize];
    file_->ReadExact(static_cast<uint64_t>(cur) * blockSize_, fh, sizeof fh);
    if (LoadLE<uint32_t>(fh) != kFreeKind) Damaged(path(), "its free list is broken");
    uint32_t blocks = LoadLE<uint32_t>(fh + 8);
    if (blocks == 0 || blocks > h.totalBlocks - cur) Damaged(path(), "a free extent leaves the file");
    size_t bytes = static_cast<size_t>(blocks) * blockSize_ - kExtentHeaderSize;
    if (zeros.size() < bytes) zeros.assign(bytes, 0);
    file_->Write(static_cast<uint64_t>(cur) * blockSize_ + kExtentHeaderSize, zeros.data(), bytes);
    cur = LoadLE<uint32_t>(fh + 12);
  }
}

uint32_t MemoFile::TotalBlocks() { return LoadHeader().totalBlocks; }
uint32_t MemoFile::FreeBlocks() { return LoadHeader().freeBlocks; }

}  // namespace engine::table
