// The call log: when ORLOAPI_SIM_LOG names a file, every client call appends one JSON object on a
// line of its own, so a test can see exactly what the library received and what it answered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orlosim {

class CallRecord {
 public:
  explicit CallRecord(std::string_view function);

  void SetHandle(std::optional<uint64_t> handleNumber) { handle_ = handleNumber; }
  // `json` is a complete JSON value (use the helpers of SimText.h for strings).
  void AddArg(std::string_view name, const std::string& json);
  void AddMember(std::string_view name, const std::string& json);
  void SetResult(const std::string& json) { result_ = json; }

  // Appends the record to the log file, if one is configured. A log that cannot be written is
  // reported on standard error: a test that relies on it will then fail visibly.
  void Write() const;

 private:
  std::string function_;
  std::optional<uint64_t> handle_;
  std::string args_;
  std::string extra_;
  std::string result_ = "null";
};

}  // namespace orlosim
