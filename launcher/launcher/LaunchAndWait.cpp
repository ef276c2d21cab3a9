#include "launcher/LaunchAndWait.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

extern char** environ;

#ifdef __APPLE__
// Private to macOS and absent from older releases: bound weakly, so its address is null where the
// system does not have it, and the launcher still starts there.
extern "C" int responsibility_spawnattrs_setdisclaim(posix_spawnattr_t* attrs, int disclaim)
    __attribute__((weak_import));
#endif

namespace works::launcher {
namespace {

// A terminal's Ctrl-C and Ctrl-\ reach the application through the process group it shares with
// the launcher; the launcher ignores them while it waits, so that it outlives the application and
// still reports its status.
constexpr int kTerminalSignals[] = {SIGINT, SIGQUIT};
// These are sent to one process, typically by a supervisor or a closing terminal session; sent to
// the launcher, they are meant for the application it stands for.
constexpr int kForwardedSignals[] = {SIGTERM, SIGHUP};

std::string failure(const char* call, int errorNumber) {
  return std::string(call) + "() failed: " + std::strerror(errorNumber);
}

// What the forwarding handler shares with the waiting code. Lock-free atomics are safe to use in a
// signal handler; nothing else here is touched by it.
std::atomic<pid_t> forwardingTarget{0};
std::atomic<bool> reapedByHandler{false};
std::atomic<int> statusReapedByHandler{0};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free);

// Only a child that has not been reaped is sure to still own its pid. The handler asks first, and
// a child that has just ended is reaped here, its status kept for the waiting code, instead of
// sending the signal to a pid that the system may already have given to another process.
// Uses async-signal-safe calls only, and leaves errno as it found it.
void forwardToChild(int signalNumber) {
  const int savedErrno = errno;
  const pid_t child = forwardingTarget.load();
  if (child > 0 && !reapedByHandler.load()) {
    int status = 0;
    const pid_t ended = waitpid(child, &status, WNOHANG);
    if (ended == 0) {
      kill(child, signalNumber);
    } else if (ended == child) {
      statusReapedByHandler.store(status);
      reapedByHandler.store(true);
    }
  }
  errno = savedErrno;
}

// The launcher's signal handling from just before the spawn until its child has ended: the
// terminal signals ignored, the forwarded ones passed on to the child. The child itself starts
// with the dispositions and the mask the launcher found, as if the launcher were not there. The
// destructor puts back whatever was changed, except after keepUntilExit. Not reentrant: there is
// one child at a time.
class SignalsWhileWaiting {
 public:
  SignalsWhileWaiting() {
    sigemptyset(&childDefaults_);
    sigemptyset(&forwarded_);
    sigemptyset(&originalMask_);
  }
  ~SignalsWhileWaiting() {
    forwardingTarget.store(0);
    // Nothing useful can be done about a failure here: each call restores a state read earlier.
    for (const Saved& saved : saved_) {
      if (saved.changed && !keepDispositions_) sigaction(saved.signalNumber, &saved.action, nullptr);
    }
    if (maskChanged_) sigprocmask(SIG_SETMASK, &originalMask_, nullptr);
  }

  // Once the child has been waited for, the launcher only reports its status and exits. A second
  // Ctrl-C, or a SIGTERM sent twice, that reaches the launcher in that last moment must not replace
  // the application's status with the launcher's own death by that signal: the terminal signals
  // stay ignored and the forwarding handler stays in place, with no child left to forward to, until
  // the process exits. The launcher waits for one child in its life, so nothing after relies on the
  // dispositions it started with.
  void keepUntilExit() { keepDispositions_ = true; }
  SignalsWhileWaiting(const SignalsWhileWaiting&) = delete;
  SignalsWhileWaiting& operator=(const SignalsWhileWaiting&) = delete;

  // Returns "" or the failed call. Forwarded signals stay blocked until startForwarding, so that
  // one arriving before the child's pid is known waits for it instead of being lost.
  std::string install() {
    Saved* next = saved_;
    for (int signalNumber : kTerminalSignals) (next++)->signalNumber = signalNumber;
    for (int signalNumber : kForwardedSignals) (next++)->signalNumber = signalNumber;
    for (Saved& saved : saved_) {
      if (sigaction(saved.signalNumber, nullptr, &saved.action) != 0) {
        return failure("sigaction", errno);
      }
      // Ignored ones stay ignored in the child (exec keeps that), which is what it would have
      // inherited from whoever started the launcher; only a signal the launcher found at its
      // default goes back to it.
      if (saved.action.sa_handler == SIG_DFL) sigaddset(&childDefaults_, saved.signalNumber);
    }

    for (const Saved& saved : saved_) {
      if (isForwarded(saved.signalNumber) && !ignoredOnEntry(saved)) {
        sigaddset(&forwarded_, saved.signalNumber);
      }
    }
    if (sigprocmask(SIG_BLOCK, &forwarded_, &originalMask_) != 0) {
      return failure("sigprocmask", errno);
    }
    maskChanged_ = true;

    for (Saved& saved : saved_) {
      // A signal ignored on entry (nohup, a background job) was meant to be ignored; the launcher
      // leaves it so, for itself and for the child.
      if (ignoredOnEntry(saved)) continue;
      struct sigaction action {};
      if (isForwarded(saved.signalNumber)) {
        action.sa_handler = forwardToChild;
        // One forwarding at a time: a second handler run between the first one's check and its
        // kill could reap the child in between.
        action.sa_mask = forwarded_;
      } else {
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
      }
      // No SA_RESTART: the wait is interrupted and resumed by the waiting loop.
      if (sigaction(saved.signalNumber, &action, nullptr) != 0) return failure("sigaction", errno);
      saved.changed = true;
    }
    return "";
  }

  const sigset_t& childDefaults() const { return childDefaults_; }
  const sigset_t& originalMask() const { return originalMask_; }

  // Names the child as the target and lets the forwarded signals in; one that arrived since install
  // is delivered and forwarded now. While waiting the launcher takes them even if it was started
  // with them blocked: the child has them blocked then, and holds them pending as it would have.
  std::string startForwarding(pid_t child) {
    reapedByHandler.store(false);
    forwardingTarget.store(child);
    sigset_t waitingMask = originalMask_;
    for (int signalNumber : kForwardedSignals) {
      if (sigismember(&forwarded_, signalNumber) == 1) sigdelset(&waitingMask, signalNumber);
    }
    if (sigprocmask(SIG_SETMASK, &waitingMask, nullptr) != 0) return failure("sigprocmask", errno);
    return "";
  }

  // True, with the status, when the forwarding handler reaped the child itself.
  static bool takeStatusReapedByHandler(int& status) {
    if (!reapedByHandler.load()) return false;
    status = statusReapedByHandler.load();
    return true;
  }

 private:
  struct Saved {
    int signalNumber = 0;
    struct sigaction action {};
    bool changed = false;
  };

  static bool isForwarded(int signalNumber) {
    for (int forwarded : kForwardedSignals) {
      if (forwarded == signalNumber) return true;
    }
    return false;
  }
  static bool ignoredOnEntry(const Saved& saved) { return saved.action.sa_handler == SIG_IGN; }

  Saved saved_[std::size(kTerminalSignals) + std::size(kForwardedSignals)];
  sigset_t childDefaults_;
  sigset_t forwarded_;
  sigset_t originalMask_;
  bool maskChanged_ = false;
  bool keepDispositions_ = false;
};

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

// The child gets back the signal state the launcher was started with; without this it would
// inherit the ignored terminal signals (an ignored disposition survives exec) and the blocked
// forwarded ones. Returns "" or the failed call.
std::string startWithOriginalSignals(ScopedSpawnAttributes& attributes,
                                     const SignalsWhileWaiting& signals) {
  if (int e = posix_spawnattr_setsigdefault(attributes.get(), &signals.childDefaults())) {
    return failure("posix_spawnattr_setsigdefault", e);
  }
  if (int e = posix_spawnattr_setsigmask(attributes.get(), &signals.originalMask())) {
    return failure("posix_spawnattr_setsigmask", e);
  }
  if (int e = posix_spawnattr_setflags(
          attributes.get(), static_cast<short>(POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK))) {
    return failure("posix_spawnattr_setflags", e);
  }
  return "";
}

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

  SignalsWhileWaiting signals;
  if (std::string failed = signals.install(); !failed.empty()) {
    error = failed;
    return std::nullopt;
  }

  pid_t pid = 0;
  int spawnError = 0;
  {
    ScopedSpawnAttributes attributes;
    if (attributes.initError() != 0) {
      error = failure("posix_spawnattr_init", attributes.initError());
      return std::nullopt;
    }
    if (std::string failed = startWithOriginalSignals(attributes, signals); !failed.empty()) {
      error = failed;
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

  // Even if forwarding cannot start, the child is waited for: the launcher never leaves it behind.
  const std::string forwardingFailed = signals.startForwarding(pid);

  // The launcher exists to report this child's status, so a signal that merely interrupts the wait
  // (a forwarded one does) must not end it: wait again.
  int status = 0;
  pid_t waited = 0;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  signals.keepUntilExit();
  if (waited < 0) {
    const int waitError = errno;
    if (waitError != ECHILD || !SignalsWhileWaiting::takeStatusReapedByHandler(status)) {
      error = failure("waitpid", waitError);
      return std::nullopt;
    }
  }
  if (!forwardingFailed.empty()) {
    error = forwardingFailed;
    return std::nullopt;
  }

  if (WIFEXITED(status)) return WEXITSTATUS(status);
  // Shells report a child ended by signal n as 128 + n; scripts expect the same from us.
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  error = "child process terminated in an unexpected way";
  return std::nullopt;
}

}  // namespace works::launcher
