#include "launcher/LaunchAndWait.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;

#ifdef __APPLE__
// Private to macOS and absent from older releases: bound weakly, so its address is null where the
// system does not have it, and the launcher still starts there.
extern "C" int responsibility_spawnattrs_setdisclaim(posix_spawnattr_t* attrs, int disclaim)
    __attribute__((weak_import));
#endif

namespace works::launcher {
namespace {

// Owns one posix_spawnattr_t from a successful init to its destroy.
class ScopedSpawnAttributes {
 public:
  ScopedSpawnAttributes() : initError_(posix_spawnattr_init(&attributes_)) {}
  ~ScopedSpawnAttributes() {
    if (initError_ == 0) posix_spawnattr_destroy(&attributes_);
  }
  ScopedSpawnAttributes(const ScopedSpawnAttributes&) = delete;
  ScopedSpawnAttributes& operator=(const ScopedSpawnAttributes&) = delete;

  int initError() const { return initError_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  int initError_;
};

// macOS would otherwise attribute the application (its privacy prompts, its energy use) to the
// terminal that ran the launcher; the application is to answer for itself.
void disclaimResponsibility(ScopedSpawnAttributes& attributes) {
#ifdef __APPLE__
  if (&responsibility_spawnattrs_setdisclaim != nullptr) {
    (void)responsibility_spawnattrs_setdisclaim(attributes.get(), 1);
  }
#else
  (void)attributes;
#endif
}

// A parent that ignores SIGCHLD hands that on through exec, and while it is ignored the system
// reaps our child by itself: waitpid would then fail with ECHILD once the application has ended,
// and its status would be lost. Only an ignored SIGCHLD is changed, to the default every process
// normally starts with, before the spawn, so the application starts with it too.
void stopIgnoringChildSignals() {
  struct sigaction current {};
  if (sigaction(SIGCHLD, nullptr, &current) != 0 || current.sa_handler != SIG_IGN) return;
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  sigaction(SIGCHLD, &defaultAction, nullptr);
}

}  // namespace

std::optional<int> launchAndWait(const std::string& executable,
                                 const std::vector<std::string>& args, std::string& error) {
  // posix_spawn only reads the vector; the strings outlive the call.
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  stopIgnoringChildSignals();

  pid_t pid = 0;
  int spawnError = 0;
  {
    ScopedSpawnAttributes attributes;
    if (attributes.initError() != 0) {
      error =
          std::string("posix_spawnattr_init() failed: ") + std::strerror(attributes.initError());
      return std::nullopt;
    }
    disclaimResponsibility(attributes);
    spawnError =
        posix_spawn(&pid, executable.c_str(), nullptr, attributes.get(), argv.data(), environ);
  }
  if (spawnError != 0) {
    error = "posix_spawn(\"" + executable + "\") failed: " + std::strerror(spawnError);
    return std::nullopt;
  }

  // The launcher exists to report this child's status, so a signal that merely interrupts the wait
  // must not end it: wait again.
  int status = 0;
  pid_t waited = 0;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0) {
    const int waitError = errno;
    error = std::string("waitpid() failed: ") + std::strerror(waitError);
    return std::nullopt;
  }

  if (WIFEXITED(status)) return WEXITSTATUS(status);
  // Shells report a child ended by signal n as 128 + n; scripts expect the same from us.
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  error = "child process terminated in an unexpected way";
  return std::nullopt;
}

}  // namespace works::launcher
