// RegistryError's report text and the two text helpers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Registry.h"
#include "TestSupport.h"

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

struct WhatCase {
  const char* name;
  const char* message;
  const char* keyPath;
  uint32_t errorCode;
  const char* expectedBeforeSystemText;
};
// Cases print as their names, which ctest then shows in the test names.
void PrintTo(const WhatCase& c, std::ostream* out) { *out << c.name; }

class RegistryErrorWhat : public ::testing::TestWithParam<WhatCase> {};

TEST_P(RegistryErrorWhat, ComposesFieldsAndSystemText) {
  const WhatCase& c = GetParam();
  const RegistryError error(c.message, c.keyPath, c.errorCode);
  EXPECT_EQ(error.message, c.message);
  EXPECT_EQ(error.keyPath, c.keyPath);
  EXPECT_EQ(error.errorCode, c.errorCode);
  EXPECT_EQ(std::string(error.what()), c.expectedBeforeSystemText + SystemMessage(c.errorCode));
}

INSTANTIATE_TEST_SUITE_P(
    Reports, RegistryErrorWhat,
    ::testing::Values(
        WhatCase{"OpenFailed", "Failed to open key",
                 "SOFTWARE\\Classes\\myapp\\shell\\open\\command", 2,
                 "Registry Error: Failed to open key at: "
                 "\"SOFTWARE\\Classes\\myapp\\shell\\open\\command\". Error: "},
        // The create failure keeps its trailing space: two spaces before "at".
        WhatCase{"CreateFailed", "Failed to open key ", "Software\\Kestrine", 5,
                 "Registry Error: Failed to open key  at: \"Software\\Kestrine\". Error: "},
        WhatCase{"WriteFailed", "Failed to set string value", "", 5,
                 "Registry Error: Failed to set string value at: \"\". Error: "},
        // A system text with an insert (%1) must come out verbatim, not fail or read arguments.
        WhatCase{"TextWithInsert", "Failed to open key", "x", ERROR_BAD_EXE_FORMAT,
                 "Registry Error: Failed to open key at: \"x\". Error: "},
        WhatCase{"NonAsciiKeyPath", "Failed to open key", "\xc3\xa9\xe4\xb8\xad", 2,
                 "Registry Error: Failed to open key at: \"\xc3\xa9\xe4\xb8\xad\". Error: "}));

TEST(RegistryError, SystemTextKeepsItsLineBreak) {
  const RegistryError denied("Failed to set string value", "", ERROR_ACCESS_DENIED);
  EXPECT_THAT(denied.what(), EndsWith("\n"));
  EXPECT_GT(std::string(denied.what()).size(),
            std::string("Registry Error: Failed to set string value at: \"\". Error: \n").size());

  const RegistryError inserts("m", "k", ERROR_BAD_EXE_FORMAT);
  EXPECT_THAT(inserts.what(), HasSubstr("%1"));
}

TEST(RegistryError, UnknownStatusGivesEmptySystemText) {
  // Bit 29 marks application-defined codes: the system has no text for it.
  const RegistryError error("Failed to open key", "k", 0x2000ABCDu);
  EXPECT_STREQ(error.what(), "Registry Error: Failed to open key at: \"k\". Error: ");
}

TEST(RegistryError, TextIsStableAndSurvivesInCopies) {
  auto original = std::make_unique<RegistryError>("Failed to open key", "a\\b", 2);
  const char* first = original->what();
  EXPECT_EQ(first, original->what());
  const std::string expected = first;

  RegistryError copy(*original);
  RegistryError assigned("other", "other", 5);
  assigned = *original;
  original.reset();

  for (const RegistryError* error : {&copy, &assigned}) {
    EXPECT_EQ(error->message, "Failed to open key");
    EXPECT_EQ(error->keyPath, "a\\b");
    EXPECT_EQ(error->errorCode, 2u);
    EXPECT_EQ(error->what(), expected);
    const std::exception& base = *error;
    EXPECT_EQ(base.what(), expected);
  }
}

struct Utf8Case {
  const char* name;
  std::wstring text;
  std::string utf8;
};
void PrintTo(const Utf8Case& c, std::ostream* out) { *out << c.name; }

class ToUtf8Conversion : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(ToUtf8Conversion, ConvertsEveryUnit) { EXPECT_EQ(ToUtf8(GetParam().text), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(
    Texts, ToUtf8Conversion,
    ::testing::Values(Utf8Case{"Empty", L"", ""},
                      Utf8Case{"Ascii", L"Software\\Kestrine", "Software\\Kestrine"},
                      Utf8Case{"TwoAndThreeBytes", L"J\u00f6rg \u4e2d", "J\xc3\xb6rg \xe4\xb8\xad"},
                      Utf8Case{"SurrogatePair", L"\U0001F600", "\xf0\x9f\x98\x80"},
                      // Converted by length, not up to the first terminator.
                      Utf8Case{"InnerZero", std::wstring(L"a\0b", 3), std::string("a\0b", 3)}));

struct QuoteCase {
  const char* name;
  const wchar_t* path;
  const wchar_t* quoted;
};
void PrintTo(const QuoteCase& c, std::ostream* out) { *out << c.name; }

class QuoteCommandPathCases : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteCommandPathCases, AddsOnlyMissingQuotes) {
  EXPECT_EQ(QuoteCommandPath(GetParam().path), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, QuoteCommandPathCases,
    ::testing::Values(
        QuoteCase{"Empty", L"", L""},
        QuoteCase{"Plain", L"C:\\Apps\\handler.exe", L"\"C:\\Apps\\handler.exe\""},
        QuoteCase{"WithSpace", L"C:\\Program Files\\h.exe", L"\"C:\\Program Files\\h.exe\""},
        QuoteCase{"Quoted", L"\"C:\\Apps\\handler.exe\"", L"\"C:\\Apps\\handler.exe\""},
        QuoteCase{"OpeningOnly", L"\"C:\\Apps\\handler.exe", L"\"C:\\Apps\\handler.exe\""},
        QuoteCase{"ClosingOnly", L"C:\\Apps\\handler.exe\"", L"\"C:\\Apps\\handler.exe\""}));

}  // namespace
