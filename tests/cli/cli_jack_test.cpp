// sonrake-cli through a real audio server: the tests' private JACK server on
// its dummy driver, whose loopback client returns what is played. A
// calibration and a measurement through the same loopback, each a child
// process that finds the server through the environment PrivateJackd sets.
// Skipped (and said so) only where jackd can't be started.

#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../portaudio/private_jackd.h"
#include "cli_process.h"

#ifndef SONRAKE_CLI_PATH
#error "SONRAKE_CLI_PATH must name the sonrake-cli binary"
#endif

namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// sonrake-cli with this process's environment (the JACK server's name
// included) and KALDER = dir; a run past 15 s is killed.
CliResult runCli(const fs::path& dir, std::vector<std::string> args) {
  return runCliProcess(SONRAKE_CLI_PATH, dir.string() + "/", std::move(args), std::chrono::seconds(15));
}

// The name of the JACK loopback device of `direction` ("input" or
// "output") in the lines "DIRECTION\tINDEX\tNAME" of `sonrake-cli devices`.
std::string loopbackName(const std::string& devices, const std::string& direction) {
  std::istringstream lines(devices);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(direction + "\t", 0) != 0) continue;
    const std::string name = line.substr(line.find('\t', direction.size() + 1) + 1);
    if (name.rfind("loopback (", 0) == 0 && name.find("JACK") != std::string::npos) return name;
  }
  return "";
}

class CliJack : public ::testing::Test {
 protected:
  void SetUp() override {
    jackd = std::make_unique<PrivateJackd>();
    if (!jackd->ready()) GTEST_SKIP() << jackd->skipReason();
    std::string pattern = (fs::temp_directory_path() / "sonrake-cli-jack-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir = pattern;
  }
  void TearDown() override {
    jackd.reset();
    std::error_code ignored;
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }

  std::unique_ptr<PrivateJackd> jackd;
  fs::path dir;
};

// Calibrated through the loopback at 48000 Hz with MLS order 12 and then
// measured through it, the loopback is flat against its own calibration:
// every exported level from 100 Hz to 10 kHz is 0 dB within 0.2 dB.
TEST_F(CliJack, LoopbackMeasuredAgainstItsCalibrationIsFlat) {
  const CliResult devices = runCli(dir, {"devices"});
  ASSERT_EQ(devices.code(), 0) << devices.err;
  const std::string in = loopbackName(devices.out, "input");
  const std::string out = loopbackName(devices.out, "output");
  ASSERT_FALSE(in.empty()) << devices.out;
  ASSERT_FALSE(out.empty()) << devices.out;

  const std::vector<std::string> common = {"--in", in, "--out", out, "--rate", "48000", "--order", "12"};
  std::vector<std::string> calibrate = {"-q", "calibrate"};
  calibrate.insert(calibrate.end(), common.begin(), common.end());
  const CliResult cal = runCli(dir, calibrate);
  ASSERT_EQ(cal.code(), 0) << cal.err;

  const fs::path file = dir / "loop.txt";
  std::vector<std::string> measure = {"-q", "measure", "--export", file.string()};
  measure.insert(measure.end(), common.begin(), common.end());
  const CliResult meas = runCli(dir, measure);
  ASSERT_EQ(meas.code(), 0) << meas.err;

  std::istringstream rows(readBytes(file));
  std::string line;
  ASSERT_TRUE(std::getline(rows, line));  // the header
  int inRange = 0;
  double worst = 0.0, worstAt = 0.0;
  for (double f = 0, db = 0, phase = 0; std::getline(rows, line);) {
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf \t%lf \t%lf", &f, &db, &phase), 3) << line;
    if (f < 100.0 || f > 10000.0) continue;
    ++inRange;
    if (std::fabs(db) > worst) worst = std::fabs(db), worstAt = f;
  }
  EXPECT_EQ(inRange, 500);  // the grid points from 100 Hz to 10 kHz
  EXPECT_LE(worst, 0.2) << "level " << worst << " dB off at " << worstAt << " Hz";
}

// The server goes away in the middle of a measurement: the run ends with the
// sound card's error and exit status 1, no later than the recording's length
// (0.92 s at order 15 and 48000 Hz) and the 2 s the backend waits, with some
// slack.
TEST_F(CliJack, ServerGoneDuringAMeasurementExitsOneInTime) {
  const CliResult devices = runCli(dir, {"devices"});
  ASSERT_EQ(devices.code(), 0) << devices.err;
  const std::string in = loopbackName(devices.out, "input");
  const std::string out = loopbackName(devices.out, "output");
  ASSERT_FALSE(in.empty()) << devices.out;

  CliChild child(SONRAKE_CLI_PATH, dir.string() + "/",
                 {"measure", "--in", in, "--out", out, "--rate", "48000", "--order", "15", "--export",
                  (dir / "m.txt").string()});
  // The progress line comes just before the run begins.
  ASSERT_TRUE(child.waitForErr("measuring:", std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto killed = std::chrono::steady_clock::now();
  jackd->stop();
  const CliResult run = child.finish(std::chrono::seconds(15));
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();

  EXPECT_EQ(run.code(), 1) << run.err;
  EXPECT_NE(run.err.find("The sound card stopped responding."), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "m.txt"));
  EXPECT_LT(waited, 0.92 + 2.0 + 1.0);
}

// Export rows of a measurement: the worst level from 0 dB between 100 Hz and
// 10 kHz, and how many rows lie there.
struct Flatness {
  int rows = 0;
  double worst = 0.0;
};
Flatness flatness(const fs::path& file) {
  Flatness f;
  std::istringstream rows(readBytes(file));
  std::string line;
  std::getline(rows, line);  // the header
  for (double hz = 0, db = 0, phase = 0; std::getline(rows, line);) {
    if (std::sscanf(line.c_str(), "%lf \t%lf \t%lf", &hz, &db, &phase) != 3) continue;
    if (hz < 100.0 || hz > 10000.0) continue;
    ++f.rows;
    f.worst = std::max(f.worst, std::fabs(db));
  }
  return f;
}

// The server goes away after one program has measured through it and comes
// back: a program started meanwhile lists no JACK device, says so for the
// device asked for, and ends cleanly; one started after the server is back
// measures through it again, flat against the calibration made before.
TEST_F(CliJack, ServerGoneAndBackBetweenRuns) {
  const CliResult devices = runCli(dir, {"devices"});
  ASSERT_EQ(devices.code(), 0) << devices.err;
  const std::string in = loopbackName(devices.out, "input");
  const std::string out = loopbackName(devices.out, "output");
  ASSERT_FALSE(in.empty()) << devices.out;
  const std::vector<std::string> common = {"--in",   in,      "--out",   out,
                                           "--rate", "48000", "--order", "12"};
  std::vector<std::string> calibrate = {"-q", "calibrate"};
  calibrate.insert(calibrate.end(), common.begin(), common.end());
  const CliResult cal = runCli(dir, calibrate);
  ASSERT_EQ(cal.code(), 0) << cal.err;

  jackd->stop();
  const CliResult listed = runCli(dir, {"devices"});
  EXPECT_EQ(listed.code(), 0) << listed.describe();
  EXPECT_EQ(loopbackName(listed.out, "input"), "");
  std::vector<std::string> measure = {"-q", "measure", "--export", (dir / "gone.txt").string()};
  measure.insert(measure.end(), common.begin(), common.end());
  const CliResult gone = runCli(dir, measure);
  EXPECT_EQ(gone.code(), 2) << gone.describe();
  EXPECT_NE(gone.err.find("no output device matches"), std::string::npos) << gone.err;
  EXPECT_FALSE(fs::exists(dir / "gone.txt"));

  jackd->restart();
  ASSERT_TRUE(jackd->ready()) << jackd->skipReason();
  measure[3] = (dir / "back.txt").string();
  const CliResult back = runCli(dir, measure);
  ASSERT_EQ(back.code(), 0) << back.describe();
  const Flatness f = flatness(dir / "back.txt");
  EXPECT_EQ(f.rows, 500);
  EXPECT_LE(f.worst, 0.2);
}

// The server hangs in the middle of a measurement (it stops answering
// without going away): the run ends with the sound card's error, the close
// that follows gives up on PortAudio's abort after the backend's limit
// (5 s) instead of its ten minutes, and the program exits 1 by itself.
TEST_F(CliJack, ServerHungDuringAMeasurementExitsOneInTime) {
  const CliResult devices = runCli(dir, {"devices"});
  ASSERT_EQ(devices.code(), 0) << devices.err;
  const std::string in = loopbackName(devices.out, "input");
  const std::string out = loopbackName(devices.out, "output");
  ASSERT_FALSE(in.empty()) << devices.out;

  CliChild child(SONRAKE_CLI_PATH, dir.string() + "/",
                 {"measure", "--in", in, "--out", out, "--rate", "48000", "--order", "15",
                  "--export", (dir / "m.txt").string()});
  ASSERT_TRUE(child.waitForErr("measuring:", std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto frozen = std::chrono::steady_clock::now();
  jackd->freeze();
  const CliResult run = child.finish(std::chrono::seconds(20));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - frozen).count();
  jackd->stop();

  EXPECT_EQ(run.code(), 1) << run.describe();
  EXPECT_NE(run.err.find("The sound card stopped responding."), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "m.txt"));
  EXPECT_LT(waited, 0.92 + 2.0 + 5.0 + 2.0);
}

}  // namespace
