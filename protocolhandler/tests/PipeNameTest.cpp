// Which pipe names may be opened: those that stay under \\.\pipe\ after the system's path
// normalisation.
#include <gtest/gtest.h>

#include <string>

#include "PipeName.h"

namespace {

TEST(IsPipeNameInsideNamespace, OrdinaryNamesPass) {
  for (const std::u16string name :
       {u"fennor-signin", u"a.b", u"a..b", u".hidden", u"trailing.", u"app\\signin", u"app/signin",
        u"R\u00E9seau-\u7BA1", u"p\U0001F600", u"C:", u"{4f1c9a2e-0b7d}"}) {
    EXPECT_TRUE(IsPipeNameInsideNamespace(name)) << std::string(name.begin(), name.end());
  }
}

TEST(IsPipeNameInsideNamespace, NamesThatLeaveOrNameTheNamespaceAreRefused) {
  for (const std::u16string name :
       {u"", u".", u"..", u"...", u" ", u". .", u"..\\C:\\Users\\x\\file", u"../../Z:/tmp/f",
        u"..\\..\\Z:\\tmp\\f", u"a\\..\\..\\Z:\\tmp\\f", u"a/../../f", u"a\\.\\b", u".. \\x",
        u"\\x", u"x\\", u"a\\\\b", u"a//b", u"\\", u"/"}) {
    EXPECT_FALSE(IsPipeNameInsideNamespace(name)) << std::string(name.begin(), name.end());
  }
}

}  // namespace
