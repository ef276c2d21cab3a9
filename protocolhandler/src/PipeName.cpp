#include "PipeName.h"

namespace {

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

bool IsAcceptableComponent(const std::u16string& name, size_t begin, size_t end) {
  for (size_t i = begin; i < end; ++i) {
    if (name[i] != u'.' && name[i] != u' ') return true;
  }
  return false;  // empty, or only dots and spaces
}

}  // namespace

bool IsPipeNameInsideNamespace(const std::u16string& name) {
  size_t begin = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      if (!IsAcceptableComponent(name, begin, i)) return false;
      begin = i + 1;
    }
  }
  return true;
}
