#pragma once
// A PipeWire server of the tests' own, headless, at one sample rate, with a
// loopback to measure through. Two set-ups, one for each way a PortAudio
// program reaches PipeWire:
//
// - Route::jack: pipewire alone with a null sink, "loop_sink". Reached
//   through PipeWire's libjack (what `pw-jack` puts on LD_LIBRARY_PATH):
//   PortAudio's JACK host API lists the device "loop_sink", whose playback
//   ports are the sink's input and whose capture ports are its monitor, so
//   what is played comes back. PortAudio links the ports itself; no session
//   manager is needed.
// - Route::alsa: pipewire with its loopback module ("loop_sink" feeding
//   "loop_source") and a headless wireplumber, which makes them the default
//   sink and source and links ALSA's "pipewire" PCM to them.
//
// Everything the server keeps lives in a scratch folder of the fixture's:
// XDG_RUNTIME_DIR (mode 0700, the socket), XDG_CONFIG_HOME (the drop-ins
// below) and XDG_STATE_HOME (fresh, so no volume saved by an earlier run is
// restored). These are set for this process, so that PortAudio here and the
// programs it starts reach this server, and are put back at the end. The
// servers start without D-Bus or a display, die with the test process
// (PR_SET_PDEATHSIG) and are ended by stop() or the destructor.
//
// The graph runs at `rate` only (default.clock.rate and allowed-rates), so a
// stream at another rate is refused or resampled: one server per rate.
// ready() is false only when PipeWire could not be started; skipReason()
// then says why.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

class PrivatePipeWire {
 public:
  enum class Route { jack, alsa };

  static constexpr const char* kSinkName = "loop_sink";

  PrivatePipeWire(Route route, int rate) : route_(route), rate_(rate) {
    const auto begin = std::chrono::steady_clock::now();
    if (!makeScratch()) {
      skipReason_ = "no scratch folder for PipeWire could be made; the PipeWire tests are skipped";
      return;
    }
    for (const char* name : kEnvironment) saved_.emplace_back(name, value(name));
    setenv("XDG_RUNTIME_DIR", runtimeDir().c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", runtimeDir().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch_ / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (scratch_ / "state").c_str(), 1);
    // The client libraries find the server by the runtime folder alone.
    unsetenv("PIPEWIRE_REMOTE");
    unsetenv("JACK_DEFAULT_SERVER");
    // A JACK library that finds no server must not start one of its own.
    setenv("JACK_NO_START_SERVER", "1", 1);

    pipewire_ = spawn("pipewire", "pipewire.log");
    if (!waitFor([&] { return std::filesystem::exists(runtimeDir() / "pipewire-0"); }, pipewire_)) {
      skipReason_ = endedReason("pipewire");
      return;
    }
    if (route_ == Route::alsa) {
      wireplumber_ = spawn("wireplumber", "wireplumber.log");
      // Ready once wireplumber has made the loopback the default sink and
      // source, which is where it links the streams of ALSA's "pipewire".
      if (!waitFor([&] { return defaultsChosen(); }, wireplumber_)) {
        skipReason_ = endedReason("wireplumber");
        stop();
        return;
      }
    } else if (!waitFor([&] { return sinkListed(); }, pipewire_)) {
      skipReason_ = endedReason("pipewire");
      stop();
      return;
    }
    ready_ = true;
    startSeconds_ = secondsSince(begin);
  }

  ~PrivatePipeWire() {
    stop();
    for (const auto& [name, old] : saved_) {
      if (old) {
        setenv(name.c_str(), old->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    std::error_code ignored;
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ignored);
  }
  PrivatePipeWire(const PrivatePipeWire&) = delete;
  PrivatePipeWire& operator=(const PrivatePipeWire&) = delete;

  bool ready() const { return ready_; }
  const std::string& skipReason() const { return skipReason_; }
  int rate() const { return rate_; }
  // From the first process started until the loopback could be used.
  double startSeconds() const { return startSeconds_; }
  // How long the last stop() took (the processes ended and reaped).
  double stopSeconds() const { return stopSeconds_; }

  // Ends the session manager and the server (SIGTERM, SIGKILL after 5 s) and
  // waits for them; nothing for what is not running.
  void stop() {
    if (pipewire_ <= 0 && wireplumber_ <= 0) return;
    const auto begin = std::chrono::steady_clock::now();
    end(wireplumber_);
    end(pipewire_);
    ready_ = false;
    stopSeconds_ = secondsSince(begin);
  }

 private:
  static constexpr const char* kEnvironment[] = {
      "XDG_RUNTIME_DIR", "PIPEWIRE_RUNTIME_DIR", "XDG_CONFIG_HOME",     "XDG_STATE_HOME",
      "PIPEWIRE_REMOTE", "JACK_DEFAULT_SERVER",  "JACK_NO_START_SERVER"};

  std::filesystem::path runtimeDir() const { return scratch_ / "runtime"; }

  static std::optional<std::string> value(const char* name) {
    const char* v = getenv(name);
    return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
  }
  static double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  }

  // The folders and the configuration drop-ins.
  bool makeScratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "sonrake-pipewire-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return false;
    scratch_ = pattern;
    std::error_code e;
    const std::filesystem::path config = scratch_ / "config";
    std::filesystem::create_directories(config / "pipewire" / "pipewire.conf.d", e);
    std::filesystem::create_directories(config / "wireplumber" / "main.lua.d", e);
    std::filesystem::create_directories(config / "wireplumber" / "bluetooth.lua.d", e);
    std::filesystem::create_directories(scratch_ / "state", e);
    if (mkdir(runtimeDir().c_str(), 0700) != 0) return false;

    std::string conf = "context.properties = {\n  default.clock.rate = " + std::to_string(rate_) +
                       "\n  default.clock.allowed-rates = [ " + std::to_string(rate_) + " ]\n}\n";
    if (route_ == Route::jack) {
      conf +=
          "context.objects = [\n"
          "  { factory = adapter\n"
          "    args = {\n"
          "      factory.name = support.null-audio-sink\n"
          "      node.name = \"loop_sink\"\n"
          "      media.class = \"Audio/Sink\"\n"
          "      object.linger = true\n"
          "      audio.position = [ FL FR ]\n"
          "      adapter.auto-port-config = { mode = dsp monitor = true position = preserve }\n"
          "    }\n"
          "  }\n"
          "]\n";
    } else {
      conf +=
          "context.modules = [\n"
          "  { name = libpipewire-module-loopback\n"
          "    args = {\n"
          "      audio.position = [ FL FR ]\n"
          "      capture.props = { node.name = \"loop_sink\" media.class = \"Audio/Sink\" }\n"
          "      playback.props = { node.name = \"loop_source\" media.class = \"Audio/Source\" }\n"
          "    }\n"
          "  }\n"
          "]\n";
    }
    // wireplumber without D-Bus ends at once unless its device monitors are
    // off; the names sort before the file that switches everything on.
    return write(config / "pipewire" / "pipewire.conf.d" / "50-sonrake-test.conf", conf) &&
           write(config / "wireplumber" / "main.lua.d" / "51-headless.lua",
                 "alsa_monitor.enabled = false\n"
                 "v4l2_monitor.enabled = false\n"
                 "libcamera_monitor.enabled = false\n"
                 "default_access.properties[\"enable-flatpak-portal\"] = false\n") &&
           write(config / "wireplumber" / "bluetooth.lua.d" / "51-headless.lua",
                 "bluez_monitor.enabled = false\n");
  }
  static bool write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file);
    out << text;
    return static_cast<bool>(out);
  }

  // `program` as a child that the kernel kills when this process dies,
  // without D-Bus or a display, its output in `log` in the scratch folder.
  // Exit status 127: there is no such program.
  pid_t spawn(const char* program, const char* log) const {
    const std::string logPath = (scratch_ / log).string();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);  // the parent died before the line above
    const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execlp(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }

  // Polls `ok` every 10 ms for up to 10 s while `pid` runs; false when it
  // never held or the process ended (its status then in lastStatus_).
  template <typename Ok>
  bool waitFor(Ok ok, pid_t& pid) {
    if (pid < 0) {
      pid = 0;
      lastStatus_ = -1;
      return false;
    }
    for (int i = 0; i < 1000; ++i) {
      if (ok()) return true;
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = 0;
        lastStatus_ = status;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    lastStatus_ = -2;
    return ok();
  }
  std::string endedReason(const char* program) const {
    std::string why;
    if (lastStatus_ == -1) {
      why = "could not be started";
    } else if (lastStatus_ == -2) {
      why = "did not become ready within 10 s";
    } else if (WIFEXITED(lastStatus_) && WEXITSTATUS(lastStatus_) == 127) {
      why = "is not installed";
    } else {
      why = "ended at start-up (see its log)";
    }
    return std::string(program) + " " + why + "; the PipeWire tests are skipped";
  }

  // What the server's own tools say, their errors hidden.
  static std::string output(const char* command) {
    std::string text;
    FILE* p = popen(command, "r");
    if (p == nullptr) return text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p) != nullptr) text += buf;
    pclose(p);
    return text;
  }
  static bool sinkListed() {
    return output("pw-cli ls Node 2>/dev/null").find("node.name = \"loop_sink\"") !=
           std::string::npos;
  }
  static bool defaultsChosen() {
    const std::string m = output("pw-metadata -n default 0 2>/dev/null");
    return m.find("\"loop_sink\"") != std::string::npos &&
           m.find("\"loop_source\"") != std::string::npos;
  }

  static void end(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) {
        pid = 0;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = 0;
  }

  Route route_;
  int rate_;
  std::filesystem::path scratch_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  pid_t pipewire_ = 0;
  pid_t wireplumber_ = 0;
  bool ready_ = false;
  int lastStatus_ = 0;
  std::string skipReason_;
  double startSeconds_ = 0.0;
  double stopSeconds_ = 0.0;
};
