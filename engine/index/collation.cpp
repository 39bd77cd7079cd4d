// Resolution of collation names and ICU sort keys; see collation.h.
//
// The names come from the engine's character-type list. Each named collation is parsed into its
// language (an ICU locale), its case rule (CI: secondary strength, CS: tertiary strength) and its
// code page. Character data of these code pages is single-byte, so text is decoded through a
// 256-entry table built once from ICU's converter; that keeps decoding free of converter state
// and therefore thread-safe. A code page that ICU does not carry (620 Mazovia, 895 Kamenicky) is
// decoded as code page 437, whose letters coincide for the ASCII range.
#include "engine/index/collation.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"

namespace engine::index {
namespace {

// Every named collation the engine knows, by its collation text.
constexpr const char* kNamedCollations[] = {
    "CZECH_VFP_CI_AS_1250", "GENERAL_VFP_CI_AS_1250", "HUNGARY_VFP_CI_AS_1250",
    "MACHINE_VFP_BIN_1250", "POLISH_VFP_CI_AS_1250", "SLOVAK_VFP_CI_AS_1250",
    "MACHINE_VFP_BIN_1251", "RUSSIAN_VFP_CI_AS_1251", "DUTCH_VFP_CI_AS_1252",
    "GENERAL_VFP_CI_AS_1252", "GERMAN_VFP_CI_AS_1252", "ICELAND_VFP_CI_AS_1252",
    "MACHINE_VFP_BIN_1252", "NORDAN_VFP_CI_AS_1252", "SPANISH_VFP_CI_AS_1252",
    "SWEFIN_VFP_CI_AS_1252", "UNIQWT_VFP_CS_AS_1252", "GREEK_VFP_CI_AS_1253",
    "MACHINE_VFP_BIN_1253", "GENERAL_VFP_CI_AS_1254", "MACHINE_VFP_BIN_1254",
    "TURKISH_VFP_CI_AS_1254", "DUTCH_VFP_CI_AS_437", "GENERAL_VFP_CI_AS_437",
    "GERMAN_VFP_CI_AS_437", "ICELAND_VFP_CI_AS_437", "MACHINE_VFP_BIN_437",
    "NORDAN_VFP_CI_AS_437", "SPANISH_VFP_CI_AS_437", "SWEFIN_VFP_CI_AS_437",
    "UNIQWT_VFP_CS_AS_437", "GENERAL_VFP_CI_AS_620", "MACHINE_VFP_BIN_620",
    "POLISH_VFP_CI_AS_620", "GREEK_VFP_CI_AS_737", "MACHINE_VFP_BIN_737",
    "DUTCH_VFP_CI_AS_850", "GENERAL_VFP_CI_AS_850", "ICELAND_VFP_CI_AS_850",
    "MACHINE_VFP_BIN_850", "NORDAN_VFP_CI_AS_850", "SPANISH_VFP_CI_AS_850",
    "SWEFIN_VFP_CI_AS_850", "UNIQWT_VFP_CS_AS_850", "CZECH_VFP_CI_AS_852",
    "GENERAL_VFP_CI_AS_852", "HUNGARY_VFP_CI_AS_852", "MACHINE_VFP_BIN_852",
    "POLISH_VFP_CI_AS_852", "SLOVAK_VFP_CI_AS_852", "GENERAL_VFP_CI_AS_857",
    "MACHINE_VFP_BIN_857", "TURKISH_VFP_CI_AS_857", "GENERAL_VFP_CI_AS_861",
    "ICELAND_VFP_CI_AS_861", "MACHINE_VFP_BIN_861", "GENERAL_VFP_CI_AS_865",
    "MACHINE_VFP_BIN_865", "NORDAN_VFP_CI_AS_865", "SWEFIN_VFP_CI_AS_865",
    "MACHINE_VFP_BIN_866", "RUSSIAN_VFP_CI_AS_866", "CZECH_VFP_CI_AS_895",
    "GENERAL_VFP_CI_AS_895", "MACHINE_VFP_BIN_895", "SLOVAK_VFP_CI_AS_895",
    "DANISH_ADS_CS_AS_1252", "DUTCH_ADS_CS_AS_1252", "ENGL(AMER)_ADS_CS_AS_1252",
    "ENGL(CAN)_ADS_CS_AS_1252", "ENGL(UK)_ADS_CS_AS_1252", "FINNISH_ADS_CS_AS_1252",
    "FRENCH_ADS_CS_AS_1252", "FRENCH_CAN_ADS_CS_AS_1252", "GERMAN_ADS_CS_AS_1252",
    "ICELANDIC_ADS_CS_AS_1252", "ITALIAN_ADS_CS_AS_1252", "NORWEGIAN_ADS_CS_AS_1252",
    "PORTUGUESE_ADS_CS_AS_1252", "SPANISH_ADS_CS_AS_1252", "SPAN(MOD)_ADS_CS_AS_1252",
    "SWEDISH_ADS_CS_AS_1252", "RUSSIAN_ADS_CS_AS_1251", "ASCII_ADS_CS_AS_1252",
    "TURKISH_ADS_CS_AS_1254", "POLISH_ADS_CS_AS_1250", "BALTIC_ADS_CS_AS_1257",
    "UKRAINIAN_ADS_CS_AS_1251", "DUDEN_DE_ADS_CS_AS_1252", "USA_ADS_CS_AS_437",
    "DANISH_ADS_CS_AS_865", "DUTCH_ADS_CS_AS_850", "FINNISH_ADS_CS_AS_865",
    "FRENCH_ADS_CS_AS_863", "GERMAN_ADS_CS_AS_850", "GREEK437_ADS_CS_AS_437",
    "GREEK851_ADS_CS_AS_851", "ICELD850_ADS_CS_AS_850", "ICELD861_ADS_CS_AS_861",
    "ITALIAN_ADS_CS_AS_850", "NORWEGN_ADS_CS_AS_865", "PORTUGUE_ADS_CS_AS_860",
    "SPANISH_ADS_CS_AS_852", "SWEDISH_ADS_CS_AS_865", "MAZOVIA_ADS_CS_AS_852",
    "PC_LATIN_ADS_CS_AS_852", "ISOLATIN_ADS_CS_AS_850", "RUSSIAN_ADS_CS_AS_866",
    "NTXCZ852_ADS_CS_AS_852", "NTXCZ895_ADS_CS_AS_895", "NTXSL852_ADS_CS_AS_852",
    "NTXSL895_ADS_CS_AS_895", "NTXHU852_ADS_CS_AS_852", "NTXPL852_ADS_CS_AS_852",
    "TURKISH_ADS_CS_AS_857", "BOSNIAN_ADS_CS_AS_775",
};

// Language part of a collation name -> ICU locale.
const std::map<std::string, const char*>& LanguageLocales() {
  static const std::map<std::string, const char*> m = {
      {"CZECH", "cs"},       {"GENERAL", "root"},    {"HUNGARY", "hu"},
      {"POLISH", "pl"},      {"SLOVAK", "sk"},       {"RUSSIAN", "ru"},
      {"DUTCH", "nl"},       {"GERMAN", "de"},       {"ICELAND", "is"},
      {"NORDAN", "nb"},      {"SWEFIN", "sv"},       {"UNIQWT", "root"},
      {"GREEK", "el"},       {"TURKISH", "tr"},      {"DANISH", "da"},
      {"ENGL(AMER)", "en_US"}, {"ENGL(CAN)", "en_CA"}, {"ENGL(UK)", "en_GB"},
      {"FINNISH", "fi"},     {"FRENCH", "fr"},       {"FRENCH_CAN", "fr_CA"},
      {"ICELANDIC", "is"},   {"ITALIAN", "it"},      {"NORWEGIAN", "nb"},
      {"PORTUGUESE", "pt"},  {"SPANISH", "es"},      {"SPAN(MOD)", "es"},
      {"SWEDISH", "sv"},     {"ASCII", "root"},      {"BALTIC", "lt"},
      {"UKRAINIAN", "uk"},   {"DUDEN_DE", "de"},     {"USA", "en_US"},
      {"GREEK437", "el"},    {"GREEK851", "el"},     {"ICELD850", "is"},
      {"ICELD861", "is"},    {"NORWEGN", "nb"},      {"PORTUGUE", "pt"},
      {"MAZOVIA", "pl"},     {"PC_LATIN", "root"},   {"ISOLATIN", "root"},
      {"NTXCZ852", "cs"},    {"NTXCZ895", "cs"},     {"NTXSL852", "sk"},
      {"NTXSL895", "sk"},    {"NTXHU852", "hu"},     {"NTXPL852", "pl"},
      {"BOSNIAN", "bs"},
  };
  return m;
}

std::string Upper(std::string_view s) { return engine::AsciiUpperCopy(s); }

// The enumeration spells four collation texts without parentheses; accept those spellings.
std::string CanonicalName(std::string_view raw) {
  std::string n = Upper(raw);
  if (n.empty()) return "ANSI";
  static const std::pair<const char*, const char*> kAliases[] = {
      {"ENGL_AMER_ADS_CS_AS_1252", "ENGL(AMER)_ADS_CS_AS_1252"},
      {"ENGL_CAN_ADS_CS_AS_1252", "ENGL(CAN)_ADS_CS_AS_1252"},
      {"ENGL_UK_ADS_CS_AS_1252", "ENGL(UK)_ADS_CS_AS_1252"},
      {"SPAN_MOD_ADS_CS_AS_1252", "SPAN(MOD)_ADS_CS_AS_1252"},
  };
  for (const auto& [alias, text] : kAliases) {
    if (n == alias) return text;
  }
  return n;
}

void BuildDecodeTable(int codePage, std::array<char16_t, 256>& table) {
  std::string cnvName = codePage >= 1250 ? "windows-" + std::to_string(codePage)
                                         : "ibm-" + std::to_string(codePage);
  UErrorCode status = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(cnvName.c_str(), &status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    cnv = ucnv_open("ibm-437", &status);
  }
  for (int b = 0; b < 256; ++b) {
    table[b] = static_cast<char16_t>(b);
    if (cnv == nullptr || U_FAILURE(status)) continue;
    char in = static_cast<char>(b);
    UChar out[4];
    UErrorCode e = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(cnv, out, 4, &in, 1, &e);
    if (U_SUCCESS(e) && n == 1) table[b] = out[0];
  }
  if (cnv != nullptr) ucnv_close(cnv);
}

}  // namespace

// Owns every Collation ever resolved; entries are never removed, so references stay valid.
class CollationTable {
 public:
  static CollationTable& Instance() {
    static CollationTable* table = new CollationTable();  // lives until exit, never destroyed
    return *table;
  }

  const Collation& Find(std::string_view rawName) {
    std::string name = CanonicalName(rawName);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = byName_.find(name);
    if (it != byName_.end()) return *it->second;
    std::unique_ptr<Collation> c = Resolve(name);
    const Collation& ref = *c;
    byName_.emplace(name, std::move(c));
    return ref;
  }

 private:
  static std::unique_ptr<Collation> Resolve(const std::string& name) {
    if (name == "ANSI") return std::unique_ptr<Collation>(new Collation(name, 1252));
    if (name == "OEM") return std::unique_ptr<Collation>(new Collation(name, 437));
    bool known = false;
    for (const char* n : kNamedCollations) known = known || name == n;
    if (!known) Fail(err::kUnknownCollation, "Unknown collation \"" + name + "\"");
    // LANGUAGE_{VFP|ADS}_{CI_AS|CS_AS|BIN}_CODEPAGE
    size_t cpPos = name.rfind('_');
    int codePage = std::stoi(name.substr(cpPos + 1));
    size_t kind = name.find("_VFP_");
    if (kind == std::string::npos) kind = name.find("_ADS_");
    std::string language = name.substr(0, kind);
    std::string rule = name.substr(kind + 5, cpPos - kind - 5);
    if (rule == "BIN") return std::unique_ptr<Collation>(new Collation(name, codePage));
    const char* locale = LanguageLocales().at(language);
    std::string loc = locale;
    if (language == "SPANISH" && name.find("_ADS_") != std::string::npos) {
      loc = "es@collation=traditional";
    }
    int strength = rule == "CI_AS" ? UCOL_SECONDARY : UCOL_TERTIARY;
    return std::unique_ptr<Collation>(new Collation(name, codePage, loc.c_str(), strength));
  }

  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Collation>> byName_;
};

const Collation& Collation::Find(std::string_view name) { return CollationTable::Instance().Find(name); }

Collation::Collation(std::string name, int codePage) : name_(std::move(name)), codePage_(codePage) {
  BuildDecodeTable(codePage_, toUnicode_);
}

Collation::Collation(std::string name, int codePage, const char* locale, int strength)
    : name_(std::move(name)), codePage_(codePage) {
  BuildDecodeTable(codePage_, toUnicode_);
  UErrorCode status = U_ZERO_ERROR;
  collator_ = ucol_open(locale, &status);
  if (U_FAILURE(status) || collator_ == nullptr) {
    Fail(err::kUnknownCollation,
         "Collation \"" + name_ + "\" is not available: " + u_errorName(status));
  }
  ucol_setStrength(collator_, static_cast<UCollationStrength>(strength));
  UVersionInfo v;
  ucol_getVersion(collator_, v);
  version_ = (uint32_t{v[0]} << 24) | (uint32_t{v[1]} << 16) | (uint32_t{v[2]} << 8) | v[3];
  if (version_ == 0) version_ = 1;  // zero is reserved for byte order
}

Collation::~Collation() {
  if (collator_ != nullptr) ucol_close(collator_);
}

void Collation::Decode(const uint8_t* text, size_t len, char16_t* out) const {
  for (size_t i = 0; i < len; ++i) out[i] = toUnicode_[text[i]];
}

namespace {

// Computes the full sort key into a growable buffer; ICU reports the needed size when the
// buffer is too small, so one retry is enough.
size_t FullSortKey(const UCollator* coll, const char16_t* text, size_t len, std::vector<uint8_t>& buf) {
  if (buf.size() < 4 * len + 32) buf.resize(4 * len + 32);
  int32_t need = ucol_getSortKey(coll, reinterpret_cast<const UChar*>(text), static_cast<int32_t>(len),
                                 buf.data(), static_cast<int32_t>(buf.size()));
  if (need > static_cast<int32_t>(buf.size())) {
    buf.resize(need);
    need = ucol_getSortKey(coll, reinterpret_cast<const UChar*>(text), static_cast<int32_t>(len),
                           buf.data(), static_cast<int32_t>(buf.size()));
  }
  return need > 0 ? static_cast<size_t>(need) : 0;
}

}  // namespace

void Collation::SortKeyWide(const char16_t* text, size_t len, uint8_t* out, size_t outLen) const {
  thread_local std::vector<uint8_t> buf;
  size_t n = FullSortKey(collator_, text, len, buf);
  // The sort key ends with a zero byte; cutting it keeps the order of keys (a cut key never
  // sorts after the uncut one), and zero padding sorts a short key before its extensions.
  size_t copy = n < outLen ? n : outLen;
  std::memcpy(out, buf.data(), copy);
  std::memset(out + copy, 0, outLen - copy);
}

void Collation::SortKey(const uint8_t* text, size_t len, uint8_t* out, size_t outLen) const {
  thread_local std::vector<char16_t> wide;
  if (wide.size() < len) wide.resize(len);
  Decode(text, len, wide.data());
  SortKeyWide(wide.data(), len, out, outLen);
}

size_t Collation::PrimaryPrefixWide(const char16_t* text, size_t len, uint8_t* out, size_t outLen) const {
  thread_local std::vector<uint8_t> buf;
  size_t n = FullSortKey(collator_, text, len, buf);
  size_t primary = 0;
  while (primary < n && buf[primary] > 1) ++primary;  // 01 separates levels, 00 ends the key
  size_t copy = primary < outLen ? primary : outLen;
  std::memcpy(out, buf.data(), copy);
  return copy;
}

size_t Collation::PrimaryPrefix(const uint8_t* text, size_t len, uint8_t* out, size_t outLen) const {
  thread_local std::vector<char16_t> wide;
  if (wide.size() < len) wide.resize(len);
  Decode(text, len, wide.data());
  return PrimaryPrefixWide(wide.data(), len, out, outLen);
}

}  // namespace engine::index
