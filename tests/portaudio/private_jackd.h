#pragma once
// A JACK server of the tests' own: the dummy driver (no hardware) at 48000 Hz
// with periods of 1024 frames and the built-in loopback client, whatever is
// played to loopback:playback_N comes back on loopback:capture_N. It runs
// under a private server name (JACK_DEFAULT_SERVER, set for this process) so
// it meets no other server, and lives until stop() or the destructor, which
// end it by its PID and wait for it, or until the test process dies: the
// kernel kills it then (PR_SET_PDEATHSIG), so no server outlives a crashed
// test. The name is the same for every test process: JACK's registry has
// few slots, and a server that starts under the name of a dead one takes
// its slot back, so a crash cannot use one up for good.
//
// Only one such server runs at a time on the machine: JACK creates its shared
// registry in /dev/shm when the first server starts, and two servers starting
// together on a machine without one can both fail to be reached; and they
// share one name. The tests that start one are in executables of their own,
// which CTest runs one at a time (RESOURCE_LOCK private_jackd).

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

class PrivateJackd {
 public:
  static constexpr int kRate = 48000;
  static constexpr int kPeriodFrames = 1024;

  // Starts jackd and waits up to 10 s for its loopback ports. skipReason()
  // says why it isn't running when ready() is false.
  PrivateJackd() {
    serverName_ = kServerName;
    setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    start();
  }
  ~PrivateJackd() {
    stop();
    unsetenv("JACK_DEFAULT_SERVER");
    unsetenv("JACK_NO_START_SERVER");
  }
  PrivateJackd(const PrivateJackd&) = delete;
  PrivateJackd& operator=(const PrivateJackd&) = delete;

  // A server under the same name again, after stop(): as the constructor.
  void restart() {
    stop();
    skipReason_ = "";
    start();
  }

  static constexpr const char* kServerName = "sonrake_test";

 private:
  void start() {
    pid_ = spawnJackd();
    if (pid_ < 0) {
      pid_ = 0;
      skipReason_ = "jackd could not be started; the JACK loopback tests are skipped";
      return;
    }
    for (int i = 0; i < 100 && !portsUp(); ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {  // it ended before it came up
        pid_ = 0;
        skipReason_ = WIFEXITED(status) && WEXITSTATUS(status) == 127
                          ? "jackd is not installed; the JACK loopback tests are skipped"
                          : "jackd ended at start-up; the JACK loopback tests are skipped";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ready_ = portsUp();
    if (!ready_) skipReason_ = "jackd did not come up; the JACK loopback tests are skipped";
  }

 public:
  bool ready() const { return ready_; }
  pid_t pid() const { return pid_; }
  const char* skipReason() const { return skipReason_; }

  // The server stops answering (SIGSTOP) without going away, as a hung
  // server does; stop() still ends it.
  void freeze() {
    if (pid_ != 0) kill(pid_, SIGSTOP);
  }

  // Ends the server (SIGTERM) and waits for it; nothing when not running.
  void stop() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    kill(pid_, SIGCONT);  // a frozen server must run to end
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
    ready_ = false;
    removeLeftSemaphores();
  }

 private:
  // jackd as a child that the kernel kills when this process dies, its
  // output thrown away; -1 when no process could be made. Exit status 127:
  // there is no jackd to run.
  static pid_t spawnJackd() {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);  // the parent died before the line above
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    const char* argv[] = {"jackd", "--no-realtime", "--silent", "--port-max", "64", "-L", "2",
                          "-d", "dummy", "-r", "48000", "-p", "1024", nullptr};
    execvp("jackd", const_cast<char* const*>(argv));
    _exit(127);
  }

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

  // Clients still connected when the server ends leave their semaphores
  // (jack_sem.<uid>_<server>_<client>) behind in /dev/shm; this server's go.
  void removeLeftSemaphores() const {
    DIR* dir = opendir("/dev/shm");
    if (dir == nullptr) return;
    const std::string tag = "_" + serverName_ + "_";
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.rfind("jack_sem.", 0) == 0 && name.find(tag) != std::string::npos) {
        unlink(("/dev/shm/" + name).c_str());
      }
    }
    closedir(dir);
  }

  std::string serverName_;
  pid_t pid_ = 0;
  bool ready_ = false;
  const char* skipReason_ = "";
};
