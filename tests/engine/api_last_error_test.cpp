// The per-thread last error and the error texts, through the C interface.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ace/ace.h"

namespace {

struct Last {
  UNSIGNED32 code;
  std::string text;
};

Last ReadLast() {
  Last last{0xDEAD, {}};
  UNSIGNED8 buf[601] = {};
  UNSIGNED16 len = 600;
  EXPECT_EQ(AdsGetLastError(&last.code, buf, &len), 0u);
  last.text.assign(reinterpret_cast<char*>(buf), len);
  return last;
}

TEST(ApiLastError, SetLastErrorReturnsTheCodeAndGetLastErrorReadsItBack) {
  const struct {
    UNSIGNED32 code;
    const char* text;
  } cases[] = {{5054, "You do not have rights."}, {7200, "Error 7200: NativeError = 2121;"}, {1, ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(AdsSetLastError(c.code, reinterpret_cast<UNSIGNED8*>(const_cast<char*>(c.text))), c.code);
    Last last = ReadLast();
    EXPECT_EQ(last.code, c.code);
    if (*c.text) {
      EXPECT_EQ(last.text, c.text);
    } else {
      EXPECT_FALSE(last.text.empty()) << "an empty detail gets the code's standard text";
    }
  }
  EXPECT_EQ(AdsSetLastError(0, nullptr), 0u);
  Last cleared = ReadLast();
  EXPECT_EQ(cleared.code, 0u);
  EXPECT_EQ(cleared.text, "");
}

TEST(ApiLastError, AFailedCallBecomesTheLastErrorAndASuccessfulOneLeavesIt) {
  UNSIGNED8 buf[10];
  EXPECT_EQ(AdsGetErrorString(5005, buf, nullptr), 5902u);
  Last after_failure = ReadLast();
  EXPECT_EQ(after_failure.code, 5902u);
  EXPECT_NE(after_failure.text.find("AdsGetErrorString"), std::string::npos) << after_failure.text;
  EXPECT_NE(after_failure.text.find("pusBufLen"), std::string::npos) << after_failure.text;
  UNSIGNED32 major = 0, minor = 0;
  EXPECT_EQ(AdsGetVersion(&major, &minor, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(ReadLast().code, 5902u);
}

TEST(ApiLastError, EachThreadKeepsItsOwnLastError) {
  AdsSetLastError(5035, reinterpret_cast<UNSIGNED8*>(const_cast<char*>("main thread")));
  Last other{};
  std::thread t([&] {
    other = ReadLast();
    AdsSetLastError(5059, nullptr);
  });
  t.join();
  EXPECT_EQ(other.code, 0u);
  Last mine = ReadLast();
  EXPECT_EQ(mine.code, 5035u);
  EXPECT_EQ(mine.text, "main thread");
}

TEST(ApiLastError, ThreadExitForgetsTheThreadsError) {
  AdsSetLastError(5035, nullptr);
  EXPECT_EQ(AdsThreadExit(), 0u);
  EXPECT_EQ(ReadLast().code, 0u);
}

TEST(ApiLastError, TooSmallBufferGives5005AndTheCapacityNeeded) {
  const std::string text = "twelve chars";
  AdsSetLastError(5035, reinterpret_cast<UNSIGNED8*>(const_cast<char*>(text.c_str())));
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  UNSIGNED16 len = sizeof buf;
  EXPECT_EQ(AdsGetLastError(&code, buf, &len), 5005u);
  EXPECT_EQ(len, text.size() + 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), "twelve ") << "as much as fits, terminated";
  // The error of reading the error does not replace it.
  UNSIGNED8 big[64];
  UNSIGNED16 biglen = len;
  EXPECT_EQ(AdsGetLastError(&code, big, &biglen), 0u);
  EXPECT_EQ(code, 5035u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(big), biglen), text);
  // A null buffer asks for the length.
  UNSIGNED16 asked = 0;
  EXPECT_EQ(AdsGetLastError(&code, nullptr, &asked), 5005u);
  EXPECT_EQ(asked, text.size() + 1);
}

TEST(ApiLastError, ErrorStringGivesTheStandardTextOfEveryDocumentedCode) {
  for (UNSIGNED32 code : {5005u, 5024u, 5059u, 5132u, 5137u, 5138u, 5904u, 5999u}) {
    UNSIGNED8 buf[601];
    UNSIGNED16 len = 600;
    ASSERT_EQ(AdsGetErrorString(code, buf, &len), 0u);
    std::string text(reinterpret_cast<char*>(buf), len);
    EXPECT_EQ(text.rfind("Error " + std::to_string(code) + ": ", 0), 0u) << text;
    EXPECT_EQ(text.find("Unknown"), std::string::npos) << text;
  }
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  ASSERT_EQ(AdsGetErrorString(4242, buf, &len), 0u);
  EXPECT_NE(std::string(reinterpret_cast<char*>(buf), len).find("Unknown"), std::string::npos);
}

TEST(ApiLastError, ShowErrorWritesTheLastErrorToStandardError) {
  AdsSetLastError(5035, reinterpret_cast<UNSIGNED8*>(const_cast<char*>("Error 5035: locked")));
  testing::internal::CaptureStderr();
  EXPECT_EQ(AdsShowError(reinterpret_cast<UNSIGNED8*>(const_cast<char*>("Ads Exception Error"))), 0u);
  std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown, "Ads Exception Error: Error 5035: locked\n");
}

TEST(ApiLastError, VersionGivesNumbersLetterAndDescription) {
  UNSIGNED32 major = 0, minor = 0;
  UNSIGNED8 letter = 0;
  UNSIGNED8 desc[255];
  UNSIGNED16 len = sizeof desc;
  ASSERT_EQ(AdsGetVersion(&major, &minor, &letter, desc, &len), 0u);
  EXPECT_EQ(major, 11u);
  EXPECT_EQ(minor, 10u);
  EXPECT_EQ(letter, ' ');
  EXPECT_GT(len, 0u);
  EXPECT_EQ(AdsGetVersion(nullptr, &minor, nullptr, nullptr, nullptr), 5902u);
}

}  // namespace
