// The components' binding of the engine: the library is loaded at the first call, each entry
// point resolved at its own first call, and a missing library or entry point raises the
// loader's exception naming it — at that call and not before.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "test_env.h"

namespace {

class AceBinding : public ::testing::Test {
 protected:
  void TearDown() override { ace_binding::ResetForTesting(); }
};

std::string Message(const Exception& e) { return e.Message().toStdString(); }

}  // namespace

TEST_F(AceBinding, AMissingLibraryIsReportedAtTheFirstCallNamingIt) {
  ace_binding::ResetForTesting("/nonexistent/folder/libace32.so");
  // Constructing and configuring a connection makes no engine call.
  TAdsConnection con(nullptr);
  con.SetConnectPath("C:\\data\\DB.add");
  try {
    con.Connect();
    FAIL() << "connected without an engine";
  } catch (const EAceLoaderError& e) {
    EXPECT_NE(Message(e).find("/nonexistent/folder/libace32.so"), std::string::npos) << Message(e);
  }
  EXPECT_FALSE(con.IsConnected());
}

TEST_F(AceBinding, AnEntryPointTheLibraryLacksIsNamedAtItsOwnFirstCall) {
  const std::filesystem::path partial = testenv::BinDir() / "libace_partial.so";
  ASSERT_TRUE(std::filesystem::exists(partial));
  ace_binding::ResetForTesting(partial.string());

  // AdsConnect101 and AdsGetLastError exist: the connect fails with the engine's own error.
  TAdsConnection con(nullptr);
  con.SetConnectPath("C:\\data\\DB.add");
  try {
    con.Connect();
    FAIL() << "the stand-in engine accepted a connection";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 6420u);
    EXPECT_EQ(Message(e), "partial engine: no server here");
  }
  // AdsDisconnect does not exist: the call that needs it raises, naming it.
  UNSIGNED32 rc = 0;
  try {
    rc = AdsDisconnect(1);
    FAIL() << "resolved an entry point the library lacks";
  } catch (const EAceLoaderError& e) {
    EXPECT_NE(Message(e).find("AdsDisconnect"), std::string::npos) << Message(e);
    EXPECT_NE(Message(e).find("libace_partial.so"), std::string::npos) << Message(e);
  }
  EXPECT_EQ(rc, 0u);
}

TEST_F(AceBinding, ACopyOfTheEngineInAnotherFolderIsUsedWhenNamed) {
  testenv::TempDir dir;
  const std::filesystem::path copy = dir.path() / "libace32.so";
  std::filesystem::copy_file(testenv::BinDir() / "libace32.so", copy);
  ace_binding::ResetForTesting(copy.string());
  UNSIGNED32 major = 0, minor = 0;
  UNSIGNED8 letter = 0;
  UNSIGNED8 desc[64];
  UNSIGNED16 descLen = sizeof desc;
  ASSERT_EQ(AdsGetVersion(&major, &minor, &letter, desc, &descLen), 0u);
  EXPECT_GT(major, 0u);
}

TEST_F(AceBinding, EveryEntryPointOfTheEngineResolves) {
  ace_binding::ResetForTesting();
  for (int i = 0; i < AceBindingEntryPointCount(); ++i) {
    EXPECT_NO_THROW(ace_binding::Resolve(i, AceBindingEntryPointName(i))) << AceBindingEntryPointName(i);
  }
}

TEST_F(AceBinding, TheTraceShowsEachCallWithItsArgumentsAndResult) {
  testenv::TempDir dir;
  const std::string trace = (dir.path() / "trace.txt").string();
  setenv("ACE_TRACE", trace.c_str(), 1);
  ace_binding::ResetForTesting();
  UNSIGNED8 text[] = "Data Source=C:\\nowhere\\x.add;User ID=adssys;Password=\"secret\";";
  UNSIGNED32 handle = 0;
  const UNSIGNED32 rc = AdsConnect101(text, nullptr, &handle);
  EXPECT_NE(rc, 0u);
  unsetenv("ACE_TRACE");
  ace_binding::ResetForTesting();

  std::ifstream in(trace);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line.rfind("AdsConnect101(", 0), 0u) << line;
  EXPECT_NE(line.find("User ID=adssys"), std::string::npos) << line;
  EXPECT_EQ(line.find("secret"), std::string::npos) << "passwords never reach the trace: " << line;
  EXPECT_NE(line.find(") = " + std::to_string(rc)), std::string::npos) << line;
}

TEST(AceTraceQuote, EscapesControlCharactersAndMasksPasswords) {
  EXPECT_EQ(ace_binding::TraceQuote("a\"b\\c\n"), "\"a\\\"b\\\\c\\x0a\"");
  EXPECT_EQ(ace_binding::TraceQuote("Password=\"x;y\";DDPassword=z;"), "\"Password=***;DDPassword=***;\"");
}
