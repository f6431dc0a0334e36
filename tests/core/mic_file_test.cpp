// Microphone files as the makers ship them, through the tolerant reader,
// and what a refused file leaves on disk.

#include "analysis/mic_cal.h"
#include "app/mic_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/stored_state.h"
#include "dialog_recorder.h"
#include "file_test_support.h"

namespace {

double gridHz(int i) { return 5.0 * std::pow(10.0, 4.0 * i / 999.0); }
RealCurve grid() {
  RealCurve g{};
  for (int i = 0; i < kGridPoints; ++i) g[i] = gridHz(i);
  return g;
}
double levelDb(const Complex& c) { return 20.0 * std::log10(std::hypot(c.re, c.im)); }
double where(double g, double a, double b) { return std::log(g / a) / std::log(b / a); }

}  // namespace

// 20 Hz -1.5 dB, 1 kHz 0 dB, 20 kHz 2 dB in every style: the quoted maker's
// line, a '*' sensitivity line, blank lines, commas, semicolons with decimal
// commas, two or three columns, CRLF. Each gives the curve the space-separated
// file gives (constant below 20 Hz, linear in log frequency between the
// points, and from 20 kHz up the value at grid point 899, the last below it),
// and says how many points it read and their range.
TEST(MicFile, EveryMakerStyleGivesTheSameCurve) {
  TempDir dir;
  const RealCurve g = grid();
  struct Style {
    std::string text;
    bool sensFactor;
    bool starLine;
  };
  const Style styles[] = {
      {"20 -1.5 0\n1000 0 0\n20000 2 0\n", false, false},
      {"\"Sens Factor =-1.378dB, SERNO: 7000000\"\r\n*1000Hz -41.0\r\n\r\n20,-1.5,0\r\n\r\n1000,0,0\r\n20000,2,0\r\n",
       true, true},
      {"*1000Hz\t-41.0\n20\t-1.5\n1000\t0\n20000\t2\n", false, true},
      {"\"Sens Factor =-1.378dB\"\nFreq;dB;Phase\n20;-1,5;0\n1000;0;0\n20000;2;0\n", true, false},
      {"Frequency,dB\r\n20,-1.5\r\n1000,0\r\n20000,2\r\n", false, false},
  };
  const double at899 = 2.0 * where(gridHz(899), 1000, 20000);
  for (const Style& st : styles) {
    writeText(dir.file("mic.txt"), st.text);
    ComplexCurve mic{};
    MicFileInfo info;
    ASSERT_EQ(readMicCalFile(dir.file("mic.txt").c_str(), g, mic, &info), MicFileResult::loaded) << st.text;
    for (int i = 0; i < kGridPoints; ++i) {
      const double f = g[i];
      const double expected = f < 20 ? -1.5 : f <= 1000 ? -1.5 + 1.5 * where(f, 20, 1000) : f < 20000 ? 2.0 * where(f, 1000, 20000) : at899;
      ASSERT_NEAR(levelDb(mic[i]), expected, 1e-9) << st.text << i;
      ASSERT_NEAR(mic[i].im, 0.0, 1e-12) << i;
    }
    EXPECT_EQ(info.points, 3);
    EXPECT_EQ(info.firstHz, 20.0);
    EXPECT_EQ(info.lastHz, 20000.0);
    // The first sensitivity stated is kept: the maker's line before the '*' one.
    ASSERT_EQ(info.sensitivity.found, st.sensFactor || st.starLine) << st.text;
    if (st.sensFactor) {
      EXPECT_DOUBLE_EQ(info.sensitivity.levelDb, -1.378);
      EXPECT_EQ(micLoadedText(info).substr(0, 62),
                "Read 3 points from 20 Hz to 20000 Hz.\nSensitivity: Sens Factor");
    } else if (st.starLine) {
      EXPECT_DOUBLE_EQ(info.sensitivity.levelDb, -41.0);
      EXPECT_DOUBLE_EQ(info.sensitivity.freqHz, 1000.0);
    } else {
      EXPECT_EQ(micLoadedText(info), "Read 3 points from 20 Hz to 20000 Hz.");
    }
  }
}

// A refused file after a good one: the message in the "Mic calibration
// data" box, the calibration in force unchanged, and what the program writes
// at exit (sonrake.cfg and sonrake.cal) byte for byte what it wrote before.
TEST(MicFile, RefusedFileLeavesTheCalibrationInForceAndOnDisk) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  s->setup.setDefaults();
  DialogRecorder dialogs;
  writeText(dir.file("good.txt"), "\"Sens Factor =-1.378dB, SERNO: 7000000\"\n100,-3,0\n10000,3,0\n");
  dialogs.fileAnswers.push_back(dir.file("good.txt"));
  ASSERT_EQ(importMicCal(*s, dialogs), MicImport::loaded);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text,
            "Read 2 points from 100 Hz to 10000 Hz.\nSensitivity: Sens Factor =-1.378dB, SERNO: 7000000");
  dialogs.boxes.clear();
  const ComplexCurve before = s->micCal;
  ASSERT_TRUE(saveStoredState(*s, dir.path()));
  const std::vector<uint8_t> cfg = readBytes(dir.file("sonrake.cfg"));
  const std::vector<uint8_t> cal = readBytes(dir.file("sonrake.cal"));
  ASSERT_FALSE(cfg.empty());

  struct Refusal {
    std::string text;
    std::string message;
  };
  const Refusal refusals[] = {
      {"", "The file holds fewer than two calibration points.\nThe microphone calibration was not changed."},
      {"1", "The file holds fewer than two calibration points.\nThe microphone calibration was not changed."},
      {"*1000Hz -41\n1000,3\n", "The file holds fewer than two calibration points.\nThe microphone calibration was not changed."},
      {"1000;3\n2000;4\n1500;5\n",
       "The frequencies in the file do not ascend (line 3).\nThe microphone calibration was not changed."},
      {"1 3\n2 4\n", "The file holds no calibration point above 5 Hz.\nThe microphone calibration was not changed."},
  };
  for (const Refusal& r : refusals) {
    writeText(dir.file("bad.txt"), r.text);
    dialogs.fileAnswers.push_back(dir.file("bad.txt"));
    EXPECT_EQ(importMicCal(*s, dialogs), MicImport::failed) << r.text;
    ASSERT_EQ(dialogs.boxes.size(), 1u) << r.text;
    EXPECT_EQ(dialogs.boxes[0].text, r.message);
    EXPECT_EQ(dialogs.boxes[0].caption, "Mic calibration data");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::warning);
    dialogs.boxes.clear();
    EXPECT_TRUE(s->micCalValid);
    EXPECT_STREQ(s->micFileName, dir.file("good.txt").c_str());
    EXPECT_TRUE(s->micInfo.sensitivity.found);
    for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(s->micCal[i], before[i]) << i;
    ASSERT_TRUE(saveStoredState(*s, dir.path()));
    EXPECT_EQ(readBytes(dir.file("sonrake.cfg")), cfg) << r.text;
    EXPECT_EQ(readBytes(dir.file("sonrake.cal")), cal) << r.text;
  }
}
