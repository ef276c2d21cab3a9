// Sets or unsets HOME for one test and puts the previous value back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace works::launcher::testing {

class ScopedHome {
 public:
  explicit ScopedHome(const std::optional<std::string>& home) {
    if (const char* previous = std::getenv("HOME")) previous_ = previous;
    set(home);
  }
  ~ScopedHome() { set(previous_); }
  ScopedHome(const ScopedHome&) = delete;
  ScopedHome& operator=(const ScopedHome&) = delete;

 private:
  static void set(const std::optional<std::string>& home) {
    if (home) {
      setenv("HOME", home->c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }
  std::optional<std::string> previous_;
};

}  // namespace works::launcher::testing
