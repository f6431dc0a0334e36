#pragma once
// sonrake-cli as a child process, for the tests that run the program itself:
// stdin on /dev/null, this process's environment with KALDER set to a data
// directory of the test's, stdout and stderr collected as they arrive.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

struct CliResult {
  bool spawned = false;
  bool timedOut = false;
  int status = 0;  // as waitpid gives it
  std::string out;
  std::string err;

  bool exited(int code) const {
    return spawned && !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == code;
  }
  // The exit code; -1 when the program did not start, was killed or died of a signal.
  int code() const { return spawned && !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
  // Everything about the run that helps when an expectation on it fails.
  std::string describe() const {
    std::ostringstream s;
    if (!spawned) return "could not start the program";
    if (timedOut) s << "killed at its time limit; ";
    if (WIFEXITED(status)) {
      s << "exit " << WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      s << "signal " << WTERMSIG(status);
    }
    s << "\n--- stdout ---\n" << out << "\n--- stderr ---\n" << err;
    return s.str();
  }
};

class CliChild {
 public:
  CliChild(const std::string& program, const std::string& dataDir, std::vector<std::string> args) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
      close(outPipe[0]);
      close(outPipe[1]);
      return;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
      if (std::strncmp(*e, "KALDER=", 7) != 0) env.emplace_back(*e);
    env.push_back("KALDER=" + dataDir);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program;
    std::vector<char*> argv{path.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    const int spawnError = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    run_.spawned = spawnError == 0;
    if (!run_.spawned) pid_ = -1;
  }
  ~CliChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      reap(0);
    }
    for (int fd : {outFd_, errFd_})
      if (fd >= 0) close(fd);
  }
  CliChild(const CliChild&) = delete;
  CliChild& operator=(const CliChild&) = delete;

  // Reads the child's output until its stderr holds `text` or `limit` has
  // passed; true when it does.
  bool waitForErr(std::string_view text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (run_.err.find(text) == std::string::npos) {
      if ((outFd_ < 0 && errFd_ < 0) || !readFor(deadline)) return false;
    }
    return true;
  }

  // Reads until the child has ended, killing it once `limit` has passed.
  CliResult finish(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Both pipes are read as data arrives, so a child filling one of them
    // never blocks while the other is waited on.
    while ((outFd_ >= 0 || errFd_ >= 0) && readFor(deadline)) {
    }
    // The child may still run after closing its outputs; it gets the rest of
    // the time limit.
    while (pid_ > 0) {
      if (reap(WNOHANG)) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        run_.timedOut = true;
        kill(pid_, SIGKILL);
        reap(0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return run_;
  }

 private:
  // One wait for output until the deadline; false once it has passed.
  bool readFor(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run_.timedOut = true;
      return false;
    }
    std::array<pollfd, 2> fds{pollfd{outFd_, POLLIN, 0}, pollfd{errFd_, POLLIN, 0}};
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) return true;
    if (outFd_ >= 0 && fds[0].revents != 0) drain(outFd_, run_.out);
    if (errFd_ >= 0 && fds[1].revents != 0) drain(errFd_, run_.err);
    return true;
  }
  // Reads whatever is ready on fd into text; closes it at the end of file.
  static void drain(int& fd, std::string& text) {
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      close(fd);
      fd = -1;
    }
  }
  // True once the child is reaped (its status in run_).
  bool reap(int options) {
    pid_t done;
    do {
      done = waitpid(pid_, &run_.status, options);
    } while (done < 0 && errno == EINTR);
    if (done == pid_ || done < 0) {
      pid_ = -1;
      return true;
    }
    return false;
  }

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  CliResult run_;
};

// One whole run of program, killed once `limit` has passed.
inline CliResult runCliProcess(const std::string& program, const std::string& dataDir,
                            std::vector<std::string> args,
                            std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  return CliChild(program, dataDir, std::move(args)).finish(limit);
}
