// Reading and writing registry export files. The parser works on the text decoded to UTF-8, one
// logical line at a time (a hex list ending with "\" continues on the next physical line), and
// reports the first problem with the file name and the physical line number where the logical
// line starts. The writer produces what regedit produces: a header, then each key in brackets
// followed by its values and an empty line; long hex lists wrap with "\".
#include "platform/registry_hive.h"

#include <algorithm>
#include <cctype>

#include "platform/text.h"

namespace platform {
namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";

// Splits a key path at "\" and drops empty components.
std::vector<std::string> KeyParts(std::string_view path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '\\') ++i;
    size_t start = i;
    while (i < path.size() && path[i] != '\\') ++i;
    if (i > start) parts.emplace_back(path.substr(start, i - start));
  }
  return parts;
}

std::string JoinKey(const std::vector<std::string>& parts, size_t count) {
  std::string out;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += parts[i];
  }
  return out;
}

// The spelling keys and names are indexed by: a..z folded, as matching ignores their case.
std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

std::string NormalizeKey(std::string_view path) {
  std::vector<std::string> parts = KeyParts(path);
  return JoinKey(parts, parts.size());
}

// True when `path` is `ancestor` or lies below it (both normalised), ignoring a..z case.
bool IsAtOrBelow(const std::string& path, const std::string& ancestor) {
  if (path.size() < ancestor.size()) return false;
  if (!EqualsIgnoreAsciiCase(std::string_view(path).substr(0, ancestor.size()), ancestor)) return false;
  return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<uint8_t> Utf16Bytes(const std::string& text, bool terminator) {
  std::u16string wide = Utf8ToUtf16(text);
  if (terminator) wide.push_back(u'\0');
  std::vector<uint8_t> bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t c : wide) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

// Text of UTF-16LE bytes up to the first terminator (a value without one keeps all of it).
std::string TextOfUtf16(const std::vector<uint8_t>& bytes) {
  std::u16string wide;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == u'\0') break;
    wide.push_back(c);
  }
  return Utf16ToUtf8(wide);
}

class Parser {
 public:
  Parser(const std::string& file) : file_(file) {}

  Status Error(size_t line, const std::string& what) const {
    return Status::Error(StatusCode::kCorrupt,
                         "Registry file \"" + file_ + "\", line " + std::to_string(line) + ": " + what);
  }

 private:
  const std::string& file_;
};

// Parses a quoted string starting at text[*pos] == '"'; on success *pos is after the closing quote.
bool ParseQuoted(const std::string& text, size_t* pos, std::string* out) {
  out->clear();
  size_t i = *pos + 1;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      out->push_back(text[i + 1]);
      i += 2;
      continue;
    }
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool HasControlCharacters(const std::string& text) {
  for (unsigned char c : text)
    if (c < 32) return true;
  return false;
}

}  // namespace

RegistryValue RegistryValue::String(std::string text) {
  RegistryValue v;
  v.type = kRegString;
  v.text = std::move(text);
  return v;
}

RegistryValue RegistryValue::ExpandString(std::string text) {
  RegistryValue v;
  v.type = kRegExpandString;
  v.text = std::move(text);
  return v;
}

RegistryValue RegistryValue::Dword(uint32_t value) {
  RegistryValue v;
  v.type = kRegDword;
  v.dword = value;
  return v;
}

RegistryValue RegistryValue::Binary(std::vector<uint8_t> bytes, uint32_t type) {
  RegistryValue v;
  v.type = type;
  v.bytes = std::move(bytes);
  return v;
}

RegistryHive::RegistryHive(std::string root_name) : root_name_(NormalizeKey(root_name)) {}

Status RegistryHive::Load(FileSystem& fs, const std::string& file, const std::string& root_name,
                          std::unique_ptr<RegistryHive>* out) {
  auto hive = std::make_unique<RegistryHive>(root_name);
  hive->file_ = file;
  std::string bytes;
  Status s = fs.ReadFile(file, &bytes);
  if (s.code() == StatusCode::kNotFound || s.code() == StatusCode::kPathNotFound) {
    *out = std::move(hive);
    return Status::OK();
  }
  if (!s.ok()) return s;
  s = hive->Parse(bytes, file);
  if (!s.ok()) return s;
  *out = std::move(hive);
  return Status::OK();
}

namespace {

// The file's text in UTF-8, from UTF-16LE with its byte-order mark or from UTF-8 (with or without
// one); `encoding` says which the file used, so that a rewrite keeps it.
Status DecodeText(const std::string& bytes, const Parser& errors, HiveEncoding* encoding, std::string* text) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    *encoding = HiveEncoding::kUtf16LE;
    if (bytes.size() % 2 != 0)
      return errors.Error(1, "the file is truncated (odd number of bytes in UTF-16 text)");
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      wide.push_back(
          static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    // A zero character belongs to no text; a value holding one would lose the rest of it on
    // the next rewrite (a text value ends at its first zero).
    if (size_t zero = wide.find(u'\0'); zero != std::u16string::npos)
      return errors.Error(1 + std::count(wide.begin(), wide.begin() + zero, u'\n'),
                          "the file holds a zero character");
    *text = Utf16ToUtf8(wide);
    return Status::OK();
  }
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF) {
    return errors.Error(1, "big-endian UTF-16 is not supported; save the file as UTF-16LE or UTF-8");
  }
  *encoding = HiveEncoding::kUtf8;
  size_t skip = (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) ? 3 : 0;
  *text = bytes.substr(skip);
  if (size_t zero = text->find('\0'); zero != std::string::npos)
    return errors.Error(1 + std::count(text->begin(), text->begin() + zero, '\n'),
                        "the file holds zero bytes: UTF-16 text needs its byte-order mark");
  return Status::OK();
}

std::vector<std::string> PhysicalLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Skips blank lines to the header line, checks it and leaves *n after it.
Status ReadHeader(const std::vector<std::string>& lines, const Parser& errors, size_t* n) {
  while (*n < lines.size() && Trim(lines[*n]).empty()) ++*n;
  if (*n == lines.size()) return errors.Error(1, "the file is empty; expected \"" + std::string(kHeader) + "\"");
  if (Trim(lines[*n]) != kHeader) return errors.Error(*n + 1, "expected \"" + std::string(kHeader) + "\"");
  ++*n;
  return Status::OK();
}

// Splits a value line into its name ("" for @) and the data after "=".
Status SplitValueLine(const std::string& line, const Parser& errors, size_t line_no, std::string* name,
                      std::string* data) {
  size_t pos = 0;
  name->clear();
  if (line[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(line, &pos, name)) {
    return errors.Error(line_no, "the value name lacks its closing quote");
  }
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (pos >= line.size() || line[pos] != '=') return errors.Error(line_no, "expected \"=\" after the value name");
  ++pos;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  *data = line.substr(pos);
  return Status::OK();
}

Status ParseStringData(const std::string& data, const Parser& errors, size_t line_no, RegistryValue* out) {
  std::string value;
  size_t vpos = 0;
  if (!ParseQuoted(data, &vpos, &value)) return errors.Error(line_no, "the string value lacks its closing quote");
  if (!Trim(data.substr(vpos)).empty()) return errors.Error(line_no, "unexpected text after the string value");
  *out = RegistryValue::String(std::move(value));
  return Status::OK();
}

Status ParseDwordData(const std::string& data, const Parser& errors, size_t line_no, RegistryValue* out) {
  std::string digits = data.substr(6);
  if (digits.empty() || digits.size() > 8) return errors.Error(line_no, "a DWORD value needs 1 to 8 hexadecimal digits");
  uint32_t v = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) return errors.Error(line_no, "a DWORD value needs 1 to 8 hexadecimal digits");
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  *out = RegistryValue::Dword(v);
  return Status::OK();
}

// The type of "hex:" (binary) or "hex(t):"; *pos is left on the ":".
Status ParseHexType(const std::string& data, const Parser& errors, size_t line_no, uint32_t* type, size_t* pos) {
  *type = kRegBinary;
  size_t p = 3;
  if (p < data.size() && data[p] == '(') {
    size_t close = data.find(')', p);
    if (close == std::string::npos || close == p + 1 || close - p - 1 > 8)
      return errors.Error(line_no, "malformed hex(type) prefix");
    *type = 0;
    for (size_t i = p + 1; i < close; ++i) {
      int d = HexDigit(data[i]);
      if (d < 0) return errors.Error(line_no, "malformed hex(type) prefix");
      *type = (*type << 4) | static_cast<uint32_t>(d);
    }
    p = close + 1;
  }
  if (p >= data.size() || data[p] != ':') return errors.Error(line_no, "expected \":\" after hex");
  *pos = p;
  return Status::OK();
}

// The bytes of a comma-separated hex list (blanks ignored).
Status ParseHexBytes(const std::string& list, const Parser& errors, size_t line_no, std::vector<uint8_t>* out) {
  std::string compact;
  for (char c : list)
    if (c != ' ' && c != '\t') compact.push_back(c);
  size_t i = 0;
  while (i < compact.size()) {
    if (i + 1 >= compact.size() || HexDigit(compact[i]) < 0 || HexDigit(compact[i + 1]) < 0)
      return errors.Error(line_no, "malformed hex byte list");
    out->push_back(static_cast<uint8_t>(HexDigit(compact[i]) * 16 + HexDigit(compact[i + 1])));
    i += 2;
    if (i < compact.size()) {
      if (compact[i] != ',') return errors.Error(line_no, "malformed hex byte list");
      ++i;
      if (i == compact.size()) return errors.Error(line_no, "malformed hex byte list (trailing comma)");
    }
  }
  return Status::OK();
}

// A "hex:" or "hex(t):" value; a list ending in "\" continues on the next lines, which *n moves
// past. Text and DWORD types become those values, any other type stays bytes.
Status ParseHexData(const std::string& data, const std::vector<std::string>& lines, size_t* n, const Parser& errors,
                    size_t line_no, RegistryValue* out) {
  uint32_t type = 0;
  size_t colon = 0;
  if (Status s = ParseHexType(data, errors, line_no, &type, &colon); !s.ok()) return s;
  std::string list = data.substr(colon + 1);
  while (!list.empty() && list.back() == '\\') {
    list.pop_back();
    if (*n >= lines.size()) return errors.Error(line_no, "the file is truncated: a continued hex list has no next line");
    list += Trim(lines[(*n)++]);
  }
  std::vector<uint8_t> bytes;
  if (Status s = ParseHexBytes(list, errors, line_no, &bytes); !s.ok()) return s;
  if (type == kRegString || type == kRegExpandString) {
    if (bytes.size() % 2 != 0) return errors.Error(line_no, "a text value needs an even number of bytes");
    RegistryValue v;
    v.type = type;
    v.text = TextOfUtf16(bytes);
    *out = std::move(v);
  } else if (type == kRegDword && bytes.size() == 4) {
    *out = RegistryValue::Dword(static_cast<uint32_t>(bytes[0]) | (bytes[1] << 8) | (bytes[2] << 16) |
                                (static_cast<uint32_t>(bytes[3]) << 24));
  } else {
    *out = RegistryValue::Binary(std::move(bytes), type);
  }
  return Status::OK();
}

// The value written after "=": a quoted text, dword:, hex: or hex(t):.
Status ParseValueData(const std::string& data, const std::vector<std::string>& lines, size_t* n, const Parser& errors,
                      size_t line_no, RegistryValue* out) {
  if (!data.empty() && data[0] == '"') return ParseStringData(data, errors, line_no, out);
  if (data.compare(0, 6, "dword:") == 0) return ParseDwordData(data, errors, line_no, out);
  if (data.compare(0, 3, "hex") == 0) return ParseHexData(data, lines, n, errors, line_no, out);
  return errors.Error(line_no, "unrecognised value data (expected \"text\", dword:, hex: or hex(n):)");
}

}  // namespace

Status RegistryHive::Parse(const std::string& bytes, const std::string& file) {
  Parser errors(file);
  keys_.clear();
  Reindex();
  if (file_.empty()) file_ = file;

  std::string text;
  if (Status s = DecodeText(bytes, errors, &encoding_, &text); !s.ok()) return s;
  const std::vector<std::string> lines = PhysicalLines(text);
  crlf_ =
      lines.empty() || (!lines[0].empty() && lines[0].back() == '\r') || encoding_ == HiveEncoding::kUtf16LE;

  size_t n = 0;
  if (Status s = ReadHeader(lines, errors, &n); !s.ok()) return s;

  Key* current = nullptr;
  while (n < lines.size()) {
    const size_t line_no = n + 1;
    std::string line = Trim(lines[n++]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (const char* problem = EnterKeyLine(line, &current)) return errors.Error(line_no, problem);
      continue;
    }
    if (line[0] != '"' && line[0] != '@')
      return errors.Error(line_no, "unrecognised line (expected a key in brackets or a value)");
    if (current == nullptr) return errors.Error(line_no, "a value outside of any key");
    std::string name, data;
    if (Status s = SplitValueLine(line, errors, line_no, &name, &data); !s.ok()) return s;
    if (data == "-") {
      std::erase_if(current->values, [&](const Value& v) { return EqualsIgnoreAsciiCase(v.name, name); });
      ReindexValues(*current);
      continue;
    }
    RegistryValue value;
    if (Status s = ParseValueData(data, lines, &n, errors, line_no, &value); !s.ok()) return s;
    PutValue(*current, name, value);
  }
  return Status::OK();
}

// A "[key]" line makes the key current, adding it when new; "[-key]" removes the key and every
// key below it, and no key is current until the next key line. Returns the problem of a
// malformed line, null when it was read.
const char* RegistryHive::EnterKeyLine(const std::string& line, Key** current) {
  if (line.back() != ']') return "the key name lacks its closing \"]\"";
  std::string inner = line.substr(1, line.size() - 2);
  const bool remove = !inner.empty() && inner[0] == '-';
  std::string path = NormalizeKey(remove ? inner.substr(1) : inner);
  if (path.empty()) return "empty key name";
  if (remove) {
    const size_t before = keys_.size();
    std::erase_if(keys_, [&](const Key& k) { return IsAtOrBelow(k.path, path); });
    if (keys_.size() != before) Reindex();
    *current = nullptr;
    return nullptr;
  }
  *current = FindKey(path);
  if (*current == nullptr) *current = &AddKey(path);
  return nullptr;
}

namespace {

// Appends "name"=hex(...):xx,xx,... wrapped as regedit wraps it.
void AppendHex(std::string* out, const std::string& prefix, const std::vector<uint8_t>& bytes,
               const char* eol) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line = prefix;
  for (size_t i = 0; i < bytes.size(); ++i) {
    line.push_back(kDigits[bytes[i] >> 4]);
    line.push_back(kDigits[bytes[i] & 15]);
    if (i + 1 < bytes.size()) {
      line.push_back(',');
      if (line.size() >= 76) {
        *out += line + "\\" + eol;
        line = "  ";
      }
    }
  }
  *out += line + eol;
}

}  // namespace

std::string RegistryHive::Serialize() const {
  const char* eol = crlf_ ? "\r\n" : "\n";
  std::string text = std::string(kHeader) + eol + eol;
  for (const auto& key : keys_) {
    text += "[" + key.path + "]" + eol;
    for (const auto& [name, v] : key.values) {
      const std::string prefix = (name.empty() ? std::string("@") : Quote(name)) + "=";
      if (v.type == kRegString && !HasControlCharacters(v.text)) {
        text += prefix + Quote(v.text) + eol;
      } else if (v.type == kRegDword) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", v.dword);
        text += prefix + "dword:" + digits + eol;
      } else if (v.IsText()) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "hex(%x):", v.type);
        AppendHex(&text, prefix + tag, Utf16Bytes(v.text, true), eol);
      } else if (v.type == kRegBinary) {
        AppendHex(&text, prefix + "hex:", v.bytes, eol);
      } else {
        char tag[16];
        std::snprintf(tag, sizeof tag, "hex(%x):", v.type);
        AppendHex(&text, prefix + tag, v.bytes, eol);
      }
    }
    text += eol;
  }
  if (encoding_ == HiveEncoding::kUtf8) return text;
  std::vector<uint8_t> wide = Utf16Bytes(text, false);
  std::string bytes = "\xFF\xFE";
  bytes.append(wide.begin(), wide.end());
  return bytes;
}

Status RegistryHive::Save(FileSystem& fs, const std::string& file) const {
  const std::string& target = file.empty() ? file_ : file;
  if (target.empty()) return Status::Error(StatusCode::kInvalidArgument, "The hive has no file name.");
  const std::string folder = ParentPath(target);
  if (!folder.empty()) {
    Status s = CreateDirectories(fs, folder);
    if (!s.ok()) return s;
  }
  return WriteFileAtomically(fs, target, Serialize());
}

std::string RegistryHive::FullKey(const std::string& key) const {
  std::string rel = NormalizeKey(key);
  return rel.empty() ? root_name_ : root_name_ + "\\" + rel;
}

RegistryHive::Key* RegistryHive::FindKey(const std::string& full) {
  auto it = key_index_.find(Folded(full));
  return it == key_index_.end() ? nullptr : &keys_[it->second];
}

const RegistryHive::Key* RegistryHive::FindKey(const std::string& full) const {
  auto it = key_index_.find(Folded(full));
  return it == key_index_.end() ? nullptr : &keys_[it->second];
}

RegistryHive::Key& RegistryHive::AddKey(const std::string& full) {
  std::string folded = Folded(full);
  key_index_.emplace(folded, keys_.size());
  for (size_t at = folded.find('\\'); at != std::string::npos; at = folded.find('\\', at + 1))
    ancestors_.insert(folded.substr(0, at));
  keys_.push_back({full, {}, {}});
  return keys_.back();
}

bool RegistryHive::HasKeyBelow(const std::string& full) const { return ancestors_.count(Folded(full)) != 0; }

void RegistryHive::PutValue(Key& key, const std::string& name, const RegistryValue& value) {
  auto [it, added] = key.value_index.emplace(Folded(name), key.values.size());
  if (added)
    key.values.push_back({name, value});
  else
    key.values[it->second].value = value;
}

void RegistryHive::ReindexValues(Key& key) {
  key.value_index.clear();
  for (size_t i = 0; i < key.values.size(); ++i) key.value_index.emplace(Folded(key.values[i].name), i);
}

void RegistryHive::Reindex() {
  std::vector<Key> keys = std::move(keys_);
  keys_.clear();
  key_index_.clear();
  ancestors_.clear();
  for (Key& k : keys) {
    Key& added = AddKey(k.path);
    added.values = std::move(k.values);
    added.value_index = std::move(k.value_index);
  }
}

bool RegistryHive::KeyExists(const std::string& key) const {
  const std::string full = FullKey(key);
  if (EqualsIgnoreAsciiCase(full, root_name_)) return true;
  return FindKey(full) != nullptr || HasKeyBelow(full);
}

Status RegistryHive::CreateKey(const std::string& key) {
  const std::vector<std::string> parts = KeyParts(FullKey(key));
  const size_t root_parts = KeyParts(root_name_).size();
  if (parts.size() <= root_parts) {
    // Values directly under the hive's root live in a "[HKEY_...]" section of their own.
    if (FindKey(root_name_) == nullptr) AddKey(root_name_);
    return Status::OK();
  }
  for (size_t count = root_parts + 1; count <= parts.size(); ++count) {
    const std::string prefix = JoinKey(parts, count);
    if (FindKey(prefix) != nullptr) continue;
    if (!HasKeyBelow(prefix) || count == parts.size()) AddKey(prefix);
  }
  return Status::OK();
}

Status RegistryHive::DeleteKey(const std::string& key) {
  const std::string full = FullKey(key);
  const size_t before = keys_.size();
  std::erase_if(keys_, [&](const Key& k) { return IsAtOrBelow(k.path, full); });
  if (keys_.size() == before) return Status::Error(StatusCode::kNotFound).WithDetail(full);
  Reindex();
  return Status::OK();
}

Status RegistryHive::GetValue(const std::string& key, const std::string& name, RegistryValue* value) const {
  const Key* k = FindKey(FullKey(key));
  if (k == nullptr) return Status::Error(StatusCode::kNotFound).WithDetail(FullKey(key));
  auto it = k->value_index.find(Folded(name));
  if (it == k->value_index.end()) return Status::Error(StatusCode::kNotFound).WithDetail(FullKey(key) + "\\" + name);
  *value = k->values[it->second].value;
  return Status::OK();
}

Status RegistryHive::SetValue(const std::string& key, const std::string& name, const RegistryValue& value) {
  const std::string full = FullKey(key);
  Key* k = FindKey(full);
  if (k == nullptr) {
    CreateKey(key);
    k = FindKey(full);
  }
  PutValue(*k, name, value);
  return Status::OK();
}

Status RegistryHive::DeleteValue(const std::string& key, const std::string& name) {
  Key* k = FindKey(FullKey(key));
  if (k == nullptr) return Status::Error(StatusCode::kNotFound).WithDetail(FullKey(key));
  const size_t before = k->values.size();
  std::erase_if(k->values, [&](const Value& v) { return EqualsIgnoreAsciiCase(v.name, name); });
  if (k->values.size() == before) return Status::Error(StatusCode::kNotFound).WithDetail(name);
  ReindexValues(*k);
  return Status::OK();
}

std::vector<std::string> RegistryHive::ValueNames(const std::string& key) const {
  std::vector<std::string> names;
  if (const Key* k = FindKey(FullKey(key)))
    for (const auto& v : k->values) names.push_back(v.name);
  return names;
}

std::vector<std::string> RegistryHive::SubKeyNames(const std::string& key) const {
  const std::string full = FullKey(key);
  const size_t depth = KeyParts(full).size();
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  for (const auto& k : keys_) {
    if (!IsAtOrBelow(k.path, full) || k.path.size() == full.size()) continue;
    std::vector<std::string> parts = KeyParts(k.path);
    const std::string& child = parts[depth];
    if (seen.insert(Folded(child)).second) names.push_back(child);
  }
  return names;
}

}  // namespace platform
