// ReadRegionCode against the real registry. Every case here writes the one shared value under both
// roots, so ctest runs these cases one at a time (resource lock "kestrine-region-code") and the
// fixture puts back whatever was there before.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "Registry.h"
#include "TestSupport.h"

namespace {

const wchar_t kKey[] = L"Software\\Kestrine";
const wchar_t kValue[] = L"WendraRegionCode";
constexpr int32_t kUntouched = 123456;

// What one root held before a test: whether the key existed, what else it held, and the value's
// type and bytes.
class SavedValue {
 public:
  explicit SavedValue(HKEY root) : root_(root) {
    value_ = ReadRawValue(root_, kKey, kValue);
    HKEY key = nullptr;
    keyExisted_ = RegOpenKeyExW(root_, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (keyExisted_) {
      DWORD subkeys = 0;
      DWORD values = 0;
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr);
      RegCloseKey(key);
      otherData_ = subkeys != 0 || values > (value_.status == ERROR_SUCCESS ? 1u : 0u);
    }
  }
  // A key that was there stays, with its old value; a key the test made goes again.
  ~SavedValue() {
    try {
      if (!keyExisted_) {
        RegDeleteTreeW(root_, kKey);
      } else if (value_.status == ERROR_SUCCESS) {
        WriteRawValue(root_, kKey, kValue, value_.type, value_.bytes.data(),
                      static_cast<DWORD>(value_.bytes.size()));
      } else {
        RegDeleteKeyValueW(root_, kKey, kValue);
      }
    } catch (const std::exception& error) {
      ADD_FAILURE() << "restoring the region code: " << error.what();
    }
  }
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

  // Whether the key held anything besides the value before the test: such a key is not deleted.
  bool KeyHeldOtherData() const { return otherData_; }

 private:
  HKEY root_;
  RawValue value_;
  bool keyExisted_ = false;
  bool otherData_ = false;
};

class RegionCodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test states both roots itself: start with the key present and the value absent.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      RegDeleteValueW(key, kValue);
      RegCloseKey(key);
    }
  }

  struct Result {
    bool ok;
    int32_t code;
    std::string cerr;
  };
  static Result Read() {
    Result result{false, kUntouched, ""};
    CerrCapture cerr;
    errno = ERANGE;  // left over from some earlier call: must not turn a good number into a failure
    result.ok = ReadRegionCode(result.code);
    result.cerr = cerr.Text();
    return result;
  }

  SavedValue user_{HKEY_CURRENT_USER};
  SavedValue machine_{HKEY_LOCAL_MACHINE};
};

struct TextCase {
  const char* name;
  std::wstring text;
  bool ok;
  int32_t code;
  const char* cerr;
};
// Cases print as their names, which ctest then shows in the test names.
void PrintTo(const TextCase& c, std::ostream* out) { *out << c.name; }

class RegionCodeText : public RegionCodeTest, public ::testing::WithParamInterface<TextCase> {};

// The local machine holds another number throughout: a user's value, even an unreadable one, is the
// final answer.
TEST_P(RegionCodeText, ParsesTheUsersValueLikeStoi) {
  const TextCase& c = GetParam();
  WriteText(HKEY_CURRENT_USER, kKey, kValue, c.text);
  WriteText(HKEY_LOCAL_MACHINE, kKey, kValue, L"7");

  const Result result = Read();
  EXPECT_EQ(result.ok, c.ok);
  EXPECT_EQ(result.code, c.ok ? c.code : kUntouched);
  EXPECT_EQ(result.cerr, c.cerr);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RegionCodeText,
    ::testing::Values(
        TextCase{"Plain", L"42", true, 42, ""}, TextCase{"LeadingSpace", L" 12", true, 12, ""},
        TextCase{"PlusSign", L"+12", true, 12, ""},
        TextCase{"TrailingText", L"12abc", true, 12, ""}, TextCase{"Negative", L"-3", true, -3, ""},
        TextCase{"Largest", L"2147483647", true, INT32_MAX, ""},
        TextCase{"Smallest", L"-2147483648", true, INT32_MIN, ""},
        TextCase{"Letters", L"abc", false, 0, "invalid stoi argument\n"},
        TextCase{"Empty", L"", false, 0, "invalid stoi argument\n"},
        TextCase{"SignOnly", L"-", false, 0, "invalid stoi argument\n"},
        TextCase{"ElevenNines", L"99999999999", false, 0, "stoi argument out of range\n"},
        TextCase{"JustAboveRange", L"2147483648", false, 0, "stoi argument out of range\n"},
        TextCase{"JustBelowRange", L"-2147483649", false, 0, "stoi argument out of range\n"}));

// The user's key is there but holds no REG_SZ value: the local machine answers.
struct FallbackCase {
  const char* name;
  DWORD type;  // REG_NONE: no value at all
};
void PrintTo(const FallbackCase& c, std::ostream* out) { *out << c.name; }

class RegionCodeFallback : public RegionCodeTest,
                           public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(RegionCodeFallback, UsersKeyWithoutStringValueFallsToLocalMachine) {
  const DWORD type = GetParam().type;
  if (type == REG_DWORD) {
    const DWORD number = 42;
    WriteRawValue(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &number, sizeof(number));
  } else if (type != REG_NONE) {
    WriteText(HKEY_CURRENT_USER, kKey, kValue, L"42", type);
  }

  // Nothing under the local machine either: false, but no failure to report.
  Result result = Read();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.code, kUntouched);
  EXPECT_EQ(result.cerr, "");

  WriteText(HKEY_LOCAL_MACHINE, kKey, kValue, L"7");
  result = Read();
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.code, 7);
  EXPECT_EQ(result.cerr, "");
}

INSTANTIATE_TEST_SUITE_P(UserValues, RegionCodeFallback,
                         ::testing::Values(FallbackCase{"Missing", REG_NONE},
                                           FallbackCase{"Dword", REG_DWORD},
                                           FallbackCase{"ExpandSz", REG_EXPAND_SZ}));

TEST_F(RegionCodeTest, MissingUserKeyStopsBeforeLocalMachine) {
  if (user_.KeyHeldOtherData()) GTEST_SKIP() << "HKCU\\Software\\Kestrine holds other data";
  ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
  WriteText(HKEY_LOCAL_MACHINE, kKey, kValue, L"7");

  const Result result = Read();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.code, kUntouched);
  EXPECT_EQ(result.cerr, "Registry Error: Failed to open key at: \"Software\\Kestrine\". Error: " +
                             SystemMessage(ERROR_FILE_NOT_FOUND) + "\n");
}

TEST_F(RegionCodeTest, MissingLocalMachineKeyIsReportedAfterUsersKey) {
  if (machine_.KeyHeldOtherData()) GTEST_SKIP() << "HKLM\\Software\\Kestrine holds other data";
  ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey), ERROR_SUCCESS);

  const Result result = Read();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.code, kUntouched);
  EXPECT_EQ(result.cerr, "Registry Error: Failed to open key at: \"Software\\Kestrine\". Error: " +
                             SystemMessage(ERROR_FILE_NOT_FOUND) + "\n");
}

}  // namespace
