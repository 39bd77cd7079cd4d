// Registry export files: every value type survives a round trip in both encodings, files written
// by regedit are read, damaged files give an error naming file and line, and a write that fails
// leaves the old file with all its values.
#include "platform/registry_hive.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/platform_test_util.h"
#include "test_env.h"

namespace platform {
namespace {

using platform_test::ReadBytes;
using platform_test::Utf16LeWithBom;
using platform_test::WriteBytes;

struct NamedValue {
  std::string key, name;
  RegistryValue value;
};

std::vector<NamedValue> AllKindsOfValues() {
  std::vector<uint8_t> long_binary;
  for (int i = 0; i < 300; ++i) long_binary.push_back(static_cast<uint8_t>(i * 7));
  return {
      {"Software\\Pellmar", "DataFolder", RegistryValue::String("C:\\PellmarData\\")},
      {"Software\\Pellmar", "Quoted", RegistryValue::String("say \"hi\" \\\\server\\")},
      {"Software\\Pellmar", "Empty", RegistryValue::String("")},
      {"Software\\Pellmar", "Unicode",
       RegistryValue::String("Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x82\xAC \xF0\x9F\x98\x80")},
      {"Software\\Pellmar", "Lines", RegistryValue::String("one\r\ntwo\tthree")},
      {"Software\\Pellmar", "", RegistryValue::String("the default value")},
      {"Environment", "Path", RegistryValue::ExpandString("%USERPROFILE%\\bin;%PATH%")},
      {"Environment", "EmptyExpand", RegistryValue::ExpandString("")},
      {"Software\\Pellmar\\Numbers", "Zero", RegistryValue::Dword(0)},
      {"Software\\Pellmar\\Numbers", "Max", RegistryValue::Dword(0xFFFFFFFFu)},
      {"Software\\Pellmar\\Numbers", "Port", RegistryValue::Dword(3306)},
      {"Software\\Pellmar\\Bin", "Short", RegistryValue::Binary({0x00, 0xFF, 0x10})},
      {"Software\\Pellmar\\Bin", "Long", RegistryValue::Binary(long_binary)},
      {"Software\\Pellmar\\Bin", "None", RegistryValue::Binary({})},
      {"Software\\Pellmar\\Bin", "Multi",
       RegistryValue::Binary({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}, kRegMultiString)},
      {"Software\\Pellmar\\Bin", "Qword", RegistryValue::Binary({1, 2, 3, 4, 5, 6, 7, 8}, kRegQword)},
      {"Software\\Pellmar\\Bin", "Odd", RegistryValue::Binary({9}, 0x4000)},
      {"", "AtTheRoot", RegistryValue::String("values may sit on the hive's root key")},
  };
}

void ExpectAllValues(const RegistryHive& hive) {
  for (const auto& v : AllKindsOfValues()) {
    RegistryValue read;
    Status s = hive.GetValue(v.key, v.name, &read);
    ASSERT_TRUE(s.ok()) << v.key << "\\" << v.name << ": " << s.ToString();
    EXPECT_EQ(read, v.value) << v.key << "\\" << v.name;
  }
}

TEST(RegistryHiveTest, EveryValueTypeSurvivesARoundTripInBothEncodings) {
  testenv::TempDir tmp;
  for (HiveEncoding encoding : {HiveEncoding::kUtf16LE, HiveEncoding::kUtf8}) {
    SCOPED_TRACE(encoding == HiveEncoding::kUtf8 ? "UTF-8" : "UTF-16LE");
    RegistryHive hive("HKEY_CURRENT_USER");
    hive.set_encoding(encoding);
    for (const auto& v : AllKindsOfValues()) ASSERT_TRUE(hive.SetValue(v.key, v.name, v.value).ok());
    const std::string file = tmp.str() + "/deep/folder/hive.reg";
    ASSERT_TRUE(hive.Save(*DefaultFileSystem(), file).ok());

    const std::string bytes = ReadBytes(file);
    if (encoding == HiveEncoding::kUtf16LE) {
      ASSERT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEW\0", 4));
    } else {
      ASSERT_EQ(bytes.substr(0, 36), "Windows Registry Editor Version 5.00");
    }

    std::unique_ptr<RegistryHive> loaded;
    ASSERT_TRUE(RegistryHive::Load(*DefaultFileSystem(), file, "HKEY_CURRENT_USER", &loaded).ok());
    EXPECT_EQ(loaded->encoding(), encoding);
    ExpectAllValues(*loaded);
    // Writing it again gives the same bytes: nothing drifts from one save to the next.
    EXPECT_EQ(loaded->Serialize(), bytes);
  }
}

TEST(RegistryHiveTest, ReadsWhatRegeditWrites) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; exported by hand\r\n"
      "[HKEY_CURRENT_USER\\Software]\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n"
      "\"DBServer\"=\"dbhost:3307\"\r\n"
      "@=\"default\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Path\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,3b,00,43,00,3a,00,5c,00,\\\r\n"
      "  62,00,00,00\r\n"
      "\"Blob\"=hex:de,ad,\\\r\n"
      "  be,ef\r\n"
      "\"Raw\"=hex(4):2a,00,00,00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Elsewhere]\r\n"
      "\"Kept\"=\"yes\"\r\n";
  RegistryHive hive("HKEY_CURRENT_USER");
  ASSERT_TRUE(hive.Parse(Utf16LeWithBom(text), "HKCU.reg").ok());
  struct Case {
    std::string name;
    RegistryValue value;
  } cases[] = {
      {"dbserver", RegistryValue::String("dbhost:3307")},  // names match without case
      {"", RegistryValue::String("default")},
      {"COUNT", RegistryValue::Dword(42)},
      {"Path", RegistryValue::ExpandString("%PATH%;C:\\b")},
      {"Blob", RegistryValue::Binary({0xde, 0xad, 0xbe, 0xef})},
      {"Raw", RegistryValue::Dword(42)},
  };
  for (const auto& c : cases) {
    RegistryValue v;
    ASSERT_TRUE(hive.GetValue("SOFTWARE\\PELLMAR", c.name, &v).ok()) << c.name;
    EXPECT_EQ(v, c.value) << c.name;
  }
  EXPECT_TRUE(hive.KeyExists("software"));
  EXPECT_FALSE(hive.KeyExists("Elsewhere"));  // a key of another root is kept but not ours
  EXPECT_EQ(hive.SubKeyNames(""), std::vector<std::string>{"Software"});

  // Saving keeps the other root's key and its value.
  ASSERT_TRUE(hive.SetValue("Software\\Pellmar", "DBServer", RegistryValue::String("x")).ok());
  RegistryHive again("HKEY_LOCAL_MACHINE");
  ASSERT_TRUE(again.Parse(hive.Serialize(), "copy").ok());
  RegistryValue kept;
  ASSERT_TRUE(again.GetValue("Elsewhere", "Kept", &kept).ok());
  EXPECT_EQ(kept.text, "yes");
}

TEST(RegistryHiveTest, ReadsUtf8WithAndWithoutMarkAndAppliesDeletions) {
  const std::string body =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
      "[HKEY_CURRENT_USER\\A\\B]\n\"z\"=\"3\"\n"
      "[HKEY_CURRENT_USER\\A]\n\"y\"=-\n"
      "[-HKEY_CURRENT_USER\\A\\B]\n";
  for (const std::string& bytes : {body, "\xEF\xBB\xBF" + body}) {
    RegistryHive hive("HKEY_CURRENT_USER");
    ASSERT_TRUE(hive.Parse(bytes, "u.reg").ok());
    EXPECT_EQ(hive.encoding(), HiveEncoding::kUtf8);
    RegistryValue v;
    EXPECT_TRUE(hive.GetValue("A", "x", &v).ok());
    EXPECT_EQ(hive.GetValue("A", "y", &v).code(), StatusCode::kNotFound);
    EXPECT_FALSE(hive.KeyExists("A\\B"));
    // A UTF-8 file with LF line ends is written back the same way.
    EXPECT_EQ(hive.Serialize().find('\r'), std::string::npos);
  }
}

TEST(RegistryHiveTest, DamagedFilesNameTheFileAndTheLine) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n";
  struct Case {
    std::string bytes;
    std::string where;  // expected in the message
  } cases[] = {
      {"", "line 1"},
      {"REGEDIT4\r\n", "line 1"},
      {"\r\nWindows Registry Editor Version 4.00\r\n", "line 2"},
      {header + "\"a\"=\"unterminated\r\n", "line 4"},
      {header + "\"a=\"x\"\r\n", "line 4"},
      {header + "\"a\"=dword:123456789\r\n", "line 4"},
      {header + "\"a\"=dword:xyz\r\n", "line 4"},
      {header + "\"a\"=dword:\r\n", "line 4"},
      {header + "\"a\"=hex:0g\r\n", "line 4"},
      {header + "\"a\"=hex:01,,02\r\n", "line 4"},
      {header + "\"a\"=hex:01,\r\n", "line 4"},
      {header + "\"a\"=hex(:01\r\n", "line 4"},
      {header + "\"a\"=hex(2):41,00,42\r\n", "line 4"},
      {header + "\"ok\"=\"1\"\r\n\"a\"=hex:01,\\\r\n", "line 5"},  // truncated continuation
      {header + "\"a\"=\"x\" trailing\r\n", "line 4"},
      {header + "\"a\"=something\r\n", "line 4"},
      {header + "\"a\" \"b\"\r\n", "line 4"},
      {header + "garbage line\r\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\Open\r\n", "line 4"},
      {header + "[]\r\n", "line 4"},
      {"Windows Registry Editor Version 5.00\r\n\"a\"=\"1\"\r\n", "line 2"},
      // A zero character inside a text value: kept, it would cut the value at the next rewrite.
      {header + std::string("\"a\"=\"x\0y\"\r\n", 11), "line 4"},
  };
  for (const auto& c : cases) {
    for (bool wide : {false, true}) {
      RegistryHive hive("HKEY_CURRENT_USER");
      Status s = hive.Parse(wide ? Utf16LeWithBom(c.bytes) : c.bytes, "/etc/pellmar/HKLM.reg");
      EXPECT_EQ(s.code(), StatusCode::kCorrupt) << c.bytes;
      EXPECT_NE(s.message().find("/etc/pellmar/HKLM.reg"), std::string::npos) << s.message();
      EXPECT_NE(s.message().find(c.where), std::string::npos) << c.bytes << " -> " << s.message();
    }
  }
  // Cut-off UTF-16 text and big-endian text are refused too.
  RegistryHive hive("HKEY_CURRENT_USER");
  std::string cut = Utf16LeWithBom(header);
  cut.pop_back();
  EXPECT_EQ(hive.Parse(cut, "f").code(), StatusCode::kCorrupt);
  EXPECT_EQ(hive.Parse("\xFE\xFF\0W", "f").code(), StatusCode::kCorrupt);
  EXPECT_EQ(hive.Parse(std::string("W\0i\0", 4), "f").code(), StatusCode::kCorrupt);
}

TEST(RegistryHiveTest, AFileCutAtAnyByteParsesOrGivesAClearError) {
  for (HiveEncoding encoding : {HiveEncoding::kUtf16LE, HiveEncoding::kUtf8}) {
    RegistryHive hive("HKEY_CURRENT_USER");
    hive.set_encoding(encoding);
    for (const auto& v : AllKindsOfValues()) hive.SetValue(v.key, v.name, v.value);
    const std::string bytes = hive.Serialize();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      RegistryHive damaged("HKEY_CURRENT_USER");
      Status s = damaged.Parse(bytes.substr(0, cut), "cut.reg");
      if (!s.ok()) {
        EXPECT_EQ(s.code(), StatusCode::kCorrupt) << cut;
        EXPECT_NE(s.message().find("cut.reg\", line "), std::string::npos) << s.message();
      }
    }
  }
}

TEST(RegistryHiveTest, KeysAndValuesMatchWithoutCaseAndKeepTheirPlaceAndSpelling) {
  RegistryHive hive("HKEY_CURRENT_USER");
  ASSERT_TRUE(hive.SetValue("Software\\Pellmar", "First", RegistryValue::String("1")).ok());
  ASSERT_TRUE(hive.SetValue("Software\\Pellmar", "Second", RegistryValue::String("2")).ok());
  ASSERT_TRUE(hive.SetValue("\\SOFTWARE\\\\pellmar\\", "FIRST", RegistryValue::Dword(7)).ok());
  EXPECT_EQ(hive.ValueNames("software\\pellmar"), (std::vector<std::string>{"First", "Second"}));
  RegistryValue v;
  ASSERT_TRUE(hive.GetValue("Software\\Pellmar", "first", &v).ok());
  EXPECT_EQ(v, RegistryValue::Dword(7));

  ASSERT_TRUE(hive.CreateKey("Software\\Pellmar\\Sites\\0000001").ok());
  EXPECT_TRUE(hive.KeyExists("software\\pellmar\\SITES"));
  EXPECT_FALSE(hive.KeyExists("Software\\Pell"));  // a prefix of a name is not a key
  EXPECT_EQ(hive.SubKeyNames("Software\\Pellmar"), std::vector<std::string>{"Sites"});

  EXPECT_EQ(hive.DeleteValue("Software\\Pellmar", "absent").code(), StatusCode::kNotFound);
  ASSERT_TRUE(hive.DeleteValue("Software\\Pellmar", "SECOND").ok());
  EXPECT_EQ(hive.ValueNames("Software\\Pellmar"), std::vector<std::string>{"First"});
  ASSERT_TRUE(hive.DeleteKey("software\\PELLMAR\\sites").ok());
  EXPECT_FALSE(hive.KeyExists("Software\\Pellmar\\Sites\\0000001"));
  EXPECT_TRUE(hive.KeyExists("Software\\Pellmar"));
  EXPECT_EQ(hive.DeleteKey("Software\\Pellmar\\Sites").code(), StatusCode::kNotFound);
  EXPECT_EQ(hive.GetValue("Nowhere", "x", &v).code(), StatusCode::kNotFound);
}

TEST(RegistryHiveTest, AMissingFileReadsAsEmptyAndAFolderIsAnError) {
  testenv::TempDir tmp;
  std::unique_ptr<RegistryHive> hive;
  ASSERT_TRUE(
      RegistryHive::Load(*DefaultFileSystem(), tmp.str() + "/no/such.reg", "HKEY_CURRENT_USER", &hive).ok());
  EXPECT_TRUE(hive->ValueNames("").empty());
  EXPECT_TRUE(hive->SubKeyNames("").empty());
  EXPECT_FALSE(RegistryHive::Load(*DefaultFileSystem(), tmp.str(), "HKEY_CURRENT_USER", &hive).ok());
}

class FailingRename : public FileSystemWrapper {
 public:
  FailingRename() : FileSystemWrapper(DefaultFileSystem()) {}
  Status RenameFile(const std::string&, const std::string&) override {
    return Status::Error(StatusCode::kAccessDenied).WithDetail("injected");
  }
};

class HalfWrite : public FileSystemWrapper {
 public:
  HalfWrite() : FileSystemWrapper(DefaultFileSystem()) {}
  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    Status s = FileSystemWrapper::NewWritableFile(path, file);
    if (s.ok()) *file = std::make_unique<Half>(std::move(*file));
    return s;
  }

 private:
  struct Half : WritableFile {
    explicit Half(std::unique_ptr<WritableFile> f) : inner(std::move(f)) {}
    Status Append(const std::string& data) override {
      inner->Append(data.substr(0, data.size() / 2));
      return Status::Error(StatusCode::kIOError, "There is not enough space on the disk.", 112);
    }
    Status Sync() override { return inner->Sync(); }
    Status Close() override { return inner->Close(); }
    std::unique_ptr<WritableFile> inner;
  };
};

TEST(RegistryHiveTest, AFailedSaveLeavesTheOldFileWithAllItsValues) {
  testenv::TempDir tmp;
  const std::string file = tmp.str() + "/HKCU.reg";
  RegistryHive original("HKEY_CURRENT_USER");
  for (const auto& v : AllKindsOfValues()) original.SetValue(v.key, v.name, v.value);
  ASSERT_TRUE(original.Save(*DefaultFileSystem(), file).ok());
  const std::string before = ReadBytes(file);

  FailingRename failing_rename;
  HalfWrite half_write;
  for (FileSystem* faulty : std::initializer_list<FileSystem*>{&failing_rename, &half_write}) {
    std::unique_ptr<RegistryHive> hive;
    ASSERT_TRUE(RegistryHive::Load(*faulty, file, "HKEY_CURRENT_USER", &hive).ok());
    hive->SetValue("Environment", "PellmarData", RegistryValue::String("C:\\New"));
    hive->DeleteKey("Software");
    EXPECT_FALSE(hive->Save(*faulty).ok());
    EXPECT_EQ(ReadBytes(file), before);
    std::unique_ptr<RegistryHive> reread;
    ASSERT_TRUE(RegistryHive::Load(*DefaultFileSystem(), file, "HKEY_CURRENT_USER", &reread).ok());
    ExpectAllValues(*reread);
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(tmp.path()), std::filesystem::directory_iterator()),
        1)
        << "no temporary file is left beside the hive";
  }
}

}  // namespace
}  // namespace platform
