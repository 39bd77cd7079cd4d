// Byte and blob fields: fixed and variable byte strings in value buffers, and blobs through
// the dataset's blob streams.
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/stream.h"
#include "runtime/text.h"

TBytesField::TBytesField(TComponent* owner) : TBytesField(owner, ftBytes) {}

TBytesField::TBytesField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
  TField::SetSize(16);
}

QString TBytesField::AsString() const { return FromAnsi(AsBytes()); }

void TBytesField::SetAsString(const QString& value) { SetAsBytes(ToAnsi(value)); }

QByteArray TBytesField::AsBytes() const {
  std::vector<char> buf;
  if (!ReadValue(buf)) return QByteArray();
  return QByteArray(buf.data(), Size());
}

void TBytesField::SetAsBytes(const QByteArray& value) {
  std::vector<char> buf(static_cast<size_t>(DataSize()), '\0');
  std::memcpy(buf.data(), value.constData(), static_cast<size_t>(std::min<qsizetype>(value.size(), Size())));
  SetData(buf.data());
}

QVariant TBytesField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsBytes();
}

TVarBytesField::TVarBytesField(TComponent* owner) : TBytesField(owner, ftVarBytes) {}

QByteArray TVarBytesField::AsBytes() const {
  std::vector<char> buf;
  if (!ReadValue(buf)) return QByteArray();
  uint16_t len = 0;
  std::memcpy(&len, buf.data(), 2);
  if (len > Size()) len = static_cast<uint16_t>(Size());
  return QByteArray(buf.data() + 2, len);
}

void TVarBytesField::SetAsBytes(const QByteArray& value) {
  std::vector<char> buf(static_cast<size_t>(DataSize()), '\0');
  uint16_t len = static_cast<uint16_t>(std::min<qsizetype>(value.size(), std::min(Size(), 65535)));
  std::memcpy(buf.data(), &len, 2);
  std::memcpy(buf.data() + 2, value.constData(), len);
  SetData(buf.data());
}

TBlobField::TBlobField(TComponent* owner) : TBlobField(owner, ftBlob) {}

TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }

void TBlobField::SetFieldType(TFieldType type) {
  if (IsBlobFieldType(type)) SetDataType(type);
}

QByteArray TBlobField::AsBytes() const {
  if (DataSet() == nullptr) DatabaseErrorFmt(dbmsg::kDataSetMissing, DisplayName());
  std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  if (!stream) return QByteArray();
  return stream->ReadAll();
}

void TBlobField::SetAsBytes(const QByteArray& value) {
  if (DataSet() == nullptr) DatabaseErrorFmt(dbmsg::kDataSetMissing, DisplayName());
  std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(this, bmWrite);
  if (!stream) AccessError(QStringLiteral("Blob"));
  stream->WriteAll(value);
}

void TBlobField::LoadFromStream(TStream* stream) {
  if (DataSet() == nullptr) DatabaseErrorFmt(dbmsg::kDataSetMissing, DisplayName());
  std::unique_ptr<TStream> blob = DataSet()->CreateBlobStream(this, bmWrite);
  if (!blob) AccessError(QStringLiteral("Blob"));
  blob->SetSize(0);
  stream->Seek(0, soBeginning);
  // Copied in pieces, so that a large value is not held twice in memory.
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    const int64_t got = stream->Read(chunk.data(), static_cast<int64_t>(chunk.size()));
    if (got <= 0) break;
    if (blob->Write(chunk.data(), got) != got) DatabaseErrorFmt(dbmsg::kBlobWriteFailed, DisplayName(), DataSet());
  }
}

void TBlobField::SaveToStream(TStream* stream) const {
  if (DataSet() == nullptr) DatabaseErrorFmt(dbmsg::kDataSetMissing, DisplayName());
  std::unique_ptr<TStream> blob = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  if (!blob) return;
  blob->Seek(0, soBeginning);
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    const int64_t got = blob->Read(chunk.data(), static_cast<int64_t>(chunk.size()));
    if (got <= 0) break;
    if (stream->Write(chunk.data(), got) != got) DatabaseErrorFmt(dbmsg::kBlobWriteFailed, DisplayName(), DataSet());
  }
}

int64_t TBlobField::BlobSize() const {
  if (DataSet() == nullptr) return 0;
  std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  return stream ? stream->Size() : 0;
}

QString TBlobField::AsString() const { return FromAnsi(AsBytes()); }

void TBlobField::SetAsString(const QString& value) { SetAsBytes(ToAnsi(value)); }

QVariant TBlobField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsBytes();
}

TMemoField::TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}

QVariant TMemoField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsString();
}

TWideMemoField::TWideMemoField(TComponent* owner) : TBlobField(owner, ftWideMemo) {}

QString TWideMemoField::AsString() const {
  QByteArray bytes = AsBytes();
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
}

void TWideMemoField::SetAsString(const QString& value) {
  SetAsBytes(QByteArray(reinterpret_cast<const char*>(value.utf16()), value.size() * 2));
}

QVariant TWideMemoField::AsVariant() const {
  if (IsNull()) return QVariant();
  return AsString();
}
