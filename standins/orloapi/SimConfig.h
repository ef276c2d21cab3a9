// The simulator's behaviour, read from the JSON file that ORLOAPI_SIM_CONFIG names. The file is
// read afresh at every client call, so a test can change the simulated client between two calls.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlosim {

// A line the simulated client sends through the installed log callback during one client call.
struct LogLine {
  int32_t level = 0;
  std::wstring text;
  std::string during;        // the client function name
  bool otherThread = false;  // sent from a second thread, joined before the call returns
  // Sent `repeat` times, from `threads` threads at once (other threads only). With either above
  // 1 each copy's text ends in " <thread>.<copy>", both counted from 0.
  int threads = 1;
  int repeat = 1;
};

struct SimConfig {
  bool initializeFails = false;
  // The bytes the three status queries write. A real client may write any byte, not only 0 and 1.
  uint8_t installed = 1;
  uint8_t running = 1;
  uint8_t userSessionActive = 0;
  bool browser = false;
  // A faulty client: the URL is written without its terminating NUL (cut to the buffer's size).
  bool authUrlUnterminated = false;
  std::map<std::string, int32_t, std::less<>> errors;  // client function name -> returned code
  std::wstring authUrl = L"https://login.orlo.example/federated/signin";
  std::vector<LogLine> logs;

  // The code configured for the function, 0 when none.
  int32_t ErrorFor(std::string_view function) const;
};

// Unset variable or missing file: the defaults. A file that cannot be read or does not describe a
// configuration gives nullopt and a description of the problem: the simulator must not quietly run
// with settings the test did not ask for.
std::optional<SimConfig> LoadConfig(std::string& problem);

}  // namespace orlosim
