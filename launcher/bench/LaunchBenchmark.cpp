// How much time FennorWorks adds to starting the application, against starting it directly and
// against the cheapest wrapper a packager might use instead, /bin/sh -c 'exec app'. All three run
// interleaved in the same process, so machine load affects them alike.
//
// Usage: launcher_start_bench [iterations [launcher [application]]]

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Variant {
  const char* name;
  std::vector<std::string> argv;
  std::vector<double> micros;
};

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// One start-to-end run in microseconds, or a negative value if it did not exit with 0.
double timeOneRun(std::vector<std::string>& argvStrings, std::vector<std::string>& envStrings) {
  std::vector<char*> argv = pointers(argvStrings);
  std::vector<char*> envp = pointers(envStrings);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  const Clock::time_point begin = Clock::now();
  pid_t pid = 0;
  int status = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  if (error == 0) waitpid(pid, &status, 0);
  const Clock::time_point end = Clock::now();

  posix_spawn_file_actions_destroy(&actions);
  if (error != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double, std::micro>(end - begin).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string singleQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const std::string launcher = argc > 2 ? argv[2] : LAUNCHER_PATH;
  const std::string source = argc > 3 ? argv[3] : TRIVIAL_APPLICATION_PATH;

  // The application installed where the launcher looks first, in a home of our own.
  std::string pattern = (fs::temp_directory_path() / "launcher-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path home = pattern;
  const fs::path application = home / ".local/share/Kestrine/Fennor Works/v1/FennorWorks";
  fs::create_directories(application.parent_path());
  fs::copy_file(source, application);

  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, "HOME=", 5) != 0) env.push_back(*entry);
  }
  env.push_back("HOME=" + home.string());

  std::vector<Variant> variants = {
      {"application directly", {application.string()}, {}},
      {"/bin/sh -c 'exec app'",
       {"/bin/sh", "-c", "exec " + singleQuoted(application.string())},
       {}},
      {"FennorWorks", {launcher}, {}},
  };

  const int warmup = std::min(20, iterations);
  int failures = 0;
  for (int i = 0; i < warmup + iterations; ++i) {
    // Rotate the order so no variant always runs right after another.
    for (std::size_t k = 0; k < variants.size(); ++k) {
      Variant& variant = variants[(i + k) % variants.size()];
      const double micros = timeOneRun(variant.argv, env);
      if (micros < 0) {
        ++failures;
      } else if (i >= warmup) {
        variant.micros.push_back(micros);
      }
    }
  }
  std::error_code ignored;
  fs::remove_all(home, ignored);
  if (failures) {
    std::fprintf(stderr, "%d runs did not exit with 0; is %s the launcher?\n", failures,
                 launcher.c_str());
    return 1;
  }

  // Overheads are taken run by run against the direct run of the same round, which cancels most of
  // the drift of a busy machine, then their medians are compared.
  std::vector<double> shellAdded, launcherAdded;
  for (int i = 0; i < iterations; ++i) {
    shellAdded.push_back(variants[1].micros[i] - variants[0].micros[i]);
    launcherAdded.push_back(variants[2].micros[i] - variants[0].micros[i]);
  }
  const double direct = median(variants[0].micros);
  std::printf("%d iterations each, interleaved; median wall time per run:\n", iterations);
  for (const Variant& variant : variants) {
    const double m = median(variant.micros);
    std::printf("  %-24s %9.1f us  (%.2fx direct)\n", variant.name, m, m / direct);
  }
  const double shell = median(shellAdded);
  const double ours = median(launcherAdded);
  std::printf("median time added over the direct run of the same round:\n");
  std::printf("  %-24s %9.1f us\n", variants[1].name, shell);
  std::printf("  %-24s %9.1f us\n", variants[2].name, ours);
  std::printf("FennorWorks added / shell wrapper added: %.2f (below 1: the launcher adds less)\n",
              ours / shell);
  // One line for tools/bench: name|figure|baseline|ratio|target|holds.
  std::printf("BENCH|launcher start-up, time added vs sh -c 'exec app'|%.1f us|%.1f us|%.2f|< 1|%s\n",
              ours, shell, ours / shell, ours < shell ? "yes" : "no");
  return 0;
}
