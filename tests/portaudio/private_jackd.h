#pragma once
// A JACK server of the tests' own: the dummy driver (no hardware) at 48000 Hz
// with periods of 1024 frames and the built-in loopback client, whatever is
// played to loopback:playback_N comes back on loopback:capture_N. It runs
// under a private server name (JACK_DEFAULT_SERVER, set for this process) so
// it meets no other server, and lives until stop() or the destructor, which
// end it by its PID and wait for it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

class PrivateJackd {
 public:
  static constexpr int kRate = 48000;
  static constexpr int kPeriodFrames = 1024;

  // Starts jackd and waits up to 10 s for its loopback ports. skipReason()
  // says why it isn't running when ready() is false.
  PrivateJackd() {
    serverName_ = "sonrake_test_" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    const char* argv[] = {"jackd", "--no-realtime", "--silent", "--port-max", "64", "-L", "2",
                          "-d", "dummy", "-r", "48000", "-p", "1024", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int err = posix_spawnp(&pid_, "jackd", &actions, nullptr,
                                 const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
      pid_ = 0;
      skipReason_ = "jackd is not installed; the JACK loopback tests are skipped";
      return;
    }
    for (int i = 0; i < 100 && !portsUp(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ready_ = portsUp();
    if (!ready_) skipReason_ = "jackd did not come up; the JACK loopback tests are skipped";
  }
  ~PrivateJackd() {
    stop();
    unsetenv("JACK_DEFAULT_SERVER");
    unsetenv("JACK_NO_START_SERVER");
  }
  PrivateJackd(const PrivateJackd&) = delete;
  PrivateJackd& operator=(const PrivateJackd&) = delete;

  bool ready() const { return ready_; }
  const char* skipReason() const { return skipReason_; }

  // Ends the server (SIGTERM) and waits for it; nothing when not running.
  void stop() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
    ready_ = false;
  }

 private:
  // The loopback client's last port is listed (jack_lsp, its errors hidden).
  static bool portsUp() {
    FILE* p = popen("jack_lsp 2>/dev/null", "r");
    if (p == nullptr) return false;
    char line[256];
    bool found = false;
    while (std::fgets(line, sizeof line, p) != nullptr) {
      found = found || std::string(line) == "loopback:capture_2\n";
    }
    pclose(p);
    return found;
  }

  std::string serverName_;
  pid_t pid_ = 0;
  bool ready_ = false;
  const char* skipReason_ = "";
};
