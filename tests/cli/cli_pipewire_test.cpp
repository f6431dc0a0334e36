// sonrake-cli through PipeWire, the way a desktop user reaches it: the
// tests' private PipeWire server at one rate, through ALSA's "pipewire"
// device (with wireplumber linking it to a loopback) and through PipeWire's
// libjack (the program started as `pw-jack` starts it, with PipeWire's
// libjack first on LD_LIBRARY_PATH, and the null sink's monitor as input).
// Each run is a child process that finds the server through the environment
// PrivatePipeWire sets. Skipped (and said so) only where PipeWire can't be
// started.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../portaudio/private_pipewire.h"
#include "cli_process.h"

#ifndef SONRAKE_CLI_PATH
#error "SONRAKE_CLI_PATH must name the sonrake-cli binary"
#endif
#ifndef SONRAKE_PIPEWIRE_JACK_DIR
#error "SONRAKE_PIPEWIRE_JACK_DIR must name the folder of PipeWire's libjack"
#endif

namespace {

namespace fs = std::filesystem;
using Route = PrivatePipeWire::Route;

struct Case {
  Route route;
  int rate;
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
  return std::string(info.param.route == Route::jack ? "PwJack" : "Alsa") +
         std::to_string(info.param.rate);
}

// The device of `direction` ("input" or "output") in the lines
// "DIRECTION\tINDEX\tNAME" of `sonrake-cli devices` whose name begins with
// `prefix` and holds `host`; "" when there is none.
std::string deviceNamed(const std::string& devices, const std::string& direction,
                        const std::string& prefix, const std::string& host) {
  std::istringstream lines(devices);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(direction + "\t", 0) != 0) continue;
    const std::string name = line.substr(line.find('\t', direction.size() + 1) + 1);
    if (name.rfind(prefix, 0) == 0 && name.find(host) != std::string::npos) return name;
  }
  return "";
}

class CliPipeWire : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    const Case c = GetParam();
    server = std::make_unique<PrivatePipeWire>(c.route, c.rate);
    if (!server->ready()) GTEST_SKIP() << server->skipReason();
    std::printf("[ pipewire ] %s at %d Hz ready in %.3f s\n",
                c.route == Route::jack ? "pw-jack" : "ALSA", c.rate, server->startSeconds());
    if (c.route == Route::jack) {
      // What pw-jack does: PipeWire's libjack for the program it starts.
      if (!fs::exists(fs::path(SONRAKE_PIPEWIRE_JACK_DIR) / "libjack.so.0"))
        GTEST_SKIP()
            << "PipeWire's libjack (pipewire-jack) is not installed; the pw-jack tests are skipped";
      const char* old = getenv("LD_LIBRARY_PATH");
      if (old != nullptr) oldLibraryPath = old;
      setenv("LD_LIBRARY_PATH", SONRAKE_PIPEWIRE_JACK_DIR, 1);
    }
    std::string pattern = (fs::temp_directory_path() / "sonrake-cli-pipewire-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir = pattern;
  }
  void TearDown() override {
    if (server && server->ready()) {
      server->stop();
      std::printf("[ pipewire ] stopped in %.3f s\n", server->stopSeconds());
    }
    server.reset();
    if (oldLibraryPath) {
      setenv("LD_LIBRARY_PATH", oldLibraryPath->c_str(), 1);
    } else {
      unsetenv("LD_LIBRARY_PATH");
    }
    std::error_code ignored;
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }

  // sonrake-cli with this process's environment (the server's folders
  // included) and KALDER = dir; a run past 20 s is killed.
  CliResult runCli(std::vector<std::string> args) {
    return runCliProcess(SONRAKE_CLI_PATH, dir.string() + "/", std::move(args),
                         std::chrono::seconds(20));
  }

  // A run that fails (exit status 1: samples lost on a loaded machine) is
  // tried up to twice more; the last result.
  CliResult runRetried(const std::vector<std::string>& args) {
    CliResult r;
    for (int attempt = 0; attempt < 3; ++attempt) {
      r = runCli(args);
      if (r.code() != 1) break;
      std::printf("[ pipewire ] attempt %d again: %s", attempt + 1, r.err.c_str());
    }
    return r;
  }

  // The loopback's device as `sonrake-cli devices` names it, for both
  // directions: ALSA's "pipewire" PCM, or the null sink under JACK.
  std::string loopDevice() {
    const CliResult devices = runCli({"devices"});
    EXPECT_EQ(devices.code(), 0) << devices.describe();
    const bool jack = GetParam().route == Route::jack;
    const std::string prefix = jack ? std::string(PrivatePipeWire::kSinkName) + " (" : "pipewire (";
    const std::string host = jack ? "JACK" : "ALSA";
    const std::string in = deviceNamed(devices.out, "input", prefix, host);
    const std::string out = deviceNamed(devices.out, "output", prefix, host);
    EXPECT_EQ(in, out) << devices.out;
    EXPECT_FALSE(in.empty()) << devices.out;
    return in;
  }

  std::unique_ptr<PrivatePipeWire> server;
  std::optional<std::string> oldLibraryPath;
  fs::path dir;
};

// Calibrated through the loopback with MLS order 14 and then measured
// through it, unsmoothed, the loopback is flat against its own calibration:
// every exported level from 20 Hz to 20 kHz is 0 dB within 0.01 dB. The
// export is the CSV one, with four decimals. A run that fails on a loaded
// machine is tried again.
TEST_P(CliPipeWire, LoopbackMeasuredAgainstItsCalibrationIsFlat) {
  const std::string device = loopDevice();
  ASSERT_FALSE(device.empty());
  const std::string rate = std::to_string(GetParam().rate);
  const std::vector<std::string> common = {"--in",   device, "--out",   device,
                                           "--rate", rate,   "--order", "14"};
  std::vector<std::string> calibrate = {"-q", "calibrate"};
  calibrate.insert(calibrate.end(), common.begin(), common.end());
  const CliResult cal = runRetried(calibrate);
  ASSERT_EQ(cal.code(), 0) << cal.describe();

  const fs::path file = dir / "loop.csv";
  std::vector<std::string> measure = {
      "-q",      "measure",  "--unsmoothed", "--require-calibration",
      "--range", "20-20000", "--export",     file.string()};
  measure.insert(measure.end(), common.begin(), common.end());
  const CliResult meas = runRetried(measure);
  ASSERT_EQ(meas.code(), 0) << meas.describe();

  std::ifstream rows(file);
  std::string line;
  ASSERT_TRUE(std::getline(rows, line));  // the header
  int inRange = 0;
  double worst = 0.0, worstAt = 0.0;
  for (double f = 0, db = 0, phase = 0; std::getline(rows, line);) {
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &f, &db, &phase), 3) << line;
    if (f < 20.0 || f > 20000.0) continue;
    ++inRange;
    if (std::fabs(db) > worst) worst = std::fabs(db), worstAt = f;
  }
  // The grid has about 250 points a decade (a ratio of 1.00927 between neighbours).
  EXPECT_NEAR(inRange, 749, 2);
  EXPECT_LE(worst, 0.01) << "level " << worst << " dB off at " << worstAt << " Hz";
  std::printf("[ pipewire ] worst level %.4f dB at %.1f Hz\n", worst, worstAt);
}

INSTANTIATE_TEST_SUITE_P(Routes, CliPipeWire,
                         testing::Values(Case{Route::alsa, 48000}, Case{Route::alsa, 44100},
                                         Case{Route::jack, 48000}, Case{Route::jack, 44100}),
                         caseName);

// The server stops under the program, on either route at 48000 Hz.
class CliPipeWireGone : public CliPipeWire {};

// The server goes away in the middle of a measurement: the run ends with the
// sound card's error and exit status 1 (not a signal), no later than the
// recording's length (0.92 s at order 15 and 48000 Hz) and the 2 s the
// backend waits, with some slack; nothing is exported.
TEST_P(CliPipeWireGone, ServerGoneDuringAMeasurementExitsOneInTime) {
  const std::string device = loopDevice();
  ASSERT_FALSE(device.empty());
  CliChild child(SONRAKE_CLI_PATH, dir.string() + "/",
                 {"measure", "--in", device, "--out", device, "--rate", "48000", "--order", "15",
                  "--export", (dir / "m.txt").string()});
  // The progress line comes just before the run begins.
  ASSERT_TRUE(child.waitForErr("measuring:", std::chrono::seconds(10)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto killed = std::chrono::steady_clock::now();
  server->stop();
  const CliResult run = child.finish(std::chrono::seconds(15));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();

  EXPECT_EQ(run.code(), 1) << run.describe();
  EXPECT_NE(run.err.find("The sound card stopped responding."), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "m.txt"));
  EXPECT_LT(waited, 0.92 + 2.0 + 1.0);
  std::printf("[ pipewire ] the run ended %.2f s after the server\n", waited);
}

// A server gone before the program starts: its device is not listed, and a
// measurement on it is refused as a bad choice of device (exit status 2)
// with a message naming it, instead of hanging.
TEST_P(CliPipeWireGone, ServerGoneBeforeTheRunIsRefused) {
  const std::string device = loopDevice();
  ASSERT_FALSE(device.empty());
  server->stop();
  const CliResult run = runCli({"measure", "--in", device, "--out", device, "--rate", "48000",
                                "--order", "12", "--export", (dir / "m.txt").string()});
  EXPECT_EQ(run.code(), 2) << run.describe();
  EXPECT_NE(run.err.find("no output device matches '" + device + "'"), std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(dir / "m.txt"));
}

INSTANTIATE_TEST_SUITE_P(Routes, CliPipeWireGone,
                         testing::Values(Case{Route::alsa, 48000}, Case{Route::jack, 48000}),
                         caseName);

}  // namespace
