// sonrake-cli with WAV files, as a child process: the excitation written,
// then analysed offline as a recording of itself (a perfect cable, gain 1),
// against a measurement through the simulated loopback cable (gain 0.9),
// with and without the sound card calibration, and its impulse response;
// and the exit status of refused recordings.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"

#ifndef SONRAKE_CLI_PATH
#error "SONRAKE_CLI_PATH must name the sonrake-cli binary"
#endif

namespace {

namespace fs = std::filesystem;

const char* const kSimOutput = "Simulator output";
const char* const kLoopInput = "Simulator: loopback cable";

// The data lines of an FRD file: frequency, level, phase.
std::vector<std::array<double, 3>> frdRows(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::array<double, 3>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '*') continue;
    std::istringstream s(line);
    std::array<double, 3> row{};
    s >> row[0] >> row[1] >> row[2];
    rows.push_back(row);
  }
  return rows;
}

class CliWav : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sonrake-cli-wav-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }
  CliResult run(const std::vector<std::string>& args) const {
    return runCliProcess(SONRAKE_CLI_PATH, dir_.string(), args);
  }
  std::string file(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// The level differences b - a over the rows both hold, smallest and largest.
std::array<double, 2> levelSpread(const std::vector<std::array<double, 3>>& a,
                                  const std::vector<std::array<double, 3>>& b) {
  EXPECT_EQ(a.size(), b.size());
  std::array<double, 2> range{1e9, -1e9};
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    EXPECT_DOUBLE_EQ(a[i][0], b[i][0]);
    const double d = b[i][1] - a[i][1];
    range[0] = std::min(range[0], d);
    range[1] = std::max(range[1], d);
  }
  return range;
}

}  // namespace

// The excitation analysed as its own recording is a path of gain 1; the
// loopback cable's is 0.9 (the simulated card's gain): 20 log10(1 / 0.9) =
// 0.915 dB apart at every frequency, before and after a calibration, and a
// calibration through the cable makes the analysed curve that 0.915 dB flat.
TEST_F(CliWav, ExcitationAnalysedAsItsOwnRecordingIsTheCableWithoutItsGain) {
  const std::vector<std::string> settings = {"--rate",  "48000",    "--order", "13",
                                             "--range", "20-20000", "-q"};
  const auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), settings.begin(), settings.end());
    return args;
  };
  CliResult r = run({"excitation", file("ex.wav"), "--rate", "48000", "--order", "13", "-q"});
  ASSERT_TRUE(r.exited(0)) << r.describe();
  r = run(with(
      {"analyse", file("ex.wav"), "--export", file("offline.frd"), "--export-ir", file("ir.wav")}));
  ASSERT_TRUE(r.exited(0)) << r.describe();
  // Its impulse response: one period of 32-bit float, a single sample of 1.0.
  SF_INFO info{};
  SNDFILE* sf = sf_open(file("ir.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(sf, nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, 48000);
  ASSERT_EQ(info.frames, 8191);
  std::vector<float> ir(8191);
  ASSERT_EQ(sf_readf_float(sf, ir.data(), 8191), 8191);
  sf_close(sf);
  const auto peak = std::max_element(ir.begin(), ir.end());
  EXPECT_NEAR(*peak, 1.0, 1e-3);
  *peak = 0.0f;
  for (size_t i = 0; i < ir.size(); ++i) ASSERT_LT(std::fabs(ir[i]), 1e-3) << i;
  r = run(with({"measure", "--in", kLoopInput, "--out", kSimOutput, "--export", file("live.frd")}));
  ASSERT_TRUE(r.exited(0)) << r.describe();
  const double expected = 20.0 * std::log10(1.0 / 0.9);
  std::array<double, 2> d = levelSpread(frdRows(file("live.frd")), frdRows(file("offline.frd")));
  EXPECT_NEAR(d[0], expected, 0.01);
  EXPECT_NEAR(d[1], expected, 0.01);

  r = run({"calibrate", "--in", kLoopInput, "--out", kSimOutput, "--rate", "48000", "--order", "13",
           "-q"});
  ASSERT_TRUE(r.exited(0)) << r.describe();
  r = run(with(
      {"analyse", file("ex.wav"), "--require-calibration", "--export", file("calibrated.frd")}));
  ASSERT_TRUE(r.exited(0)) << r.describe();
  const auto calibrated = frdRows(file("calibrated.frd"));
  ASSERT_GT(calibrated.size(), 500u);
  for (const auto& row : calibrated) ASSERT_NEAR(row[1], expected, 0.02) << row[0];
  std::ifstream header(file("calibrated.frd"));
  const std::string text((std::istreambuf_iterator<char>(header)),
                         std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("* Sound card calibration: applied"), std::string::npos)
      << text.substr(0, 400);
}

// Refused recordings: exit 1 with the reason after the file's name, no
// export; bad usage 2.
TEST_F(CliWav, RefusedRecordingsExitOneWithTheReason) {
  std::ofstream(file("text.wav")) << "not a wave file\n";
  CliResult r = run({"analyse", file("text.wav"), "--export", file("x.frd"), "-q"});
  EXPECT_TRUE(r.exited(1)) << r.describe();
  EXPECT_EQ(
      r.err.rfind(
          "sonrake-cli: " + file("text.wav") + ": The file is not a WAV file that can be read", 0),
      0u)
      << r.err;
  EXPECT_FALSE(fs::exists(file("x.frd")));

  r = run({"excitation", file("ex.wav"), "--rate", "44100", "--order", "12", "-q"});
  ASSERT_TRUE(r.exited(0)) << r.describe();
  r = run({"analyse", file("ex.wav"), "--rate", "48000", "--order", "12", "--export", file("x.frd"),
           "-q"});
  EXPECT_TRUE(r.exited(1)) << r.describe();
  EXPECT_NE(r.err.find("The recording was made at 44100 Hz; the measurement runs at 48000 Hz."),
            std::string::npos)
      << r.err;
  // A longer sequence than the file holds.
  r = run({"analyse", file("ex.wav"), "--rate", "44100", "--order", "13", "-q"});
  EXPECT_TRUE(r.exited(1)) << r.describe();
  EXPECT_NE(r.err.find("less than one period (8191 frames)"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(file("x.frd")));

  EXPECT_TRUE(run({"analyse"}).exited(2));
  EXPECT_TRUE(run({"excitation", file("e.wav"), "--repeats", "0"}).exited(2));
  EXPECT_TRUE(run({"analyse", file("ex.wav"), "--repeats", "2"}).exited(2));
}
