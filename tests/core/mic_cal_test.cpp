#include "analysis/mic_cal.h"
#include "app/mic_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "dialog_recorder.h"
#include "file_test_support.h"
#include "app/app_state.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The grid, worked out here on its own: 5 * 10^(4 i / 999) Hz.
double gridHz(int i) { return 5.0 * std::pow(10.0, 4.0 * i / 999.0); }

RealCurve grid() {
  RealCurve g{};
  for (int i = 0; i < kGridPoints; ++i) g[i] = gridHz(i);
  return g;
}

double levelDb(const Complex& c) { return 20.0 * std::log10(std::hypot(c.re, c.im)); }
double phaseDeg(const Complex& c) { return std::atan2(c.im, c.re) * 180.0 / kPi; }

// log-frequency position of g between a and b
double where(double g, double a, double b) { return std::log(g / a) / std::log(b / a); }

ComplexCurve filled(Complex c) {
  ComplexCurve curve;
  curve.fill(c);
  return curve;
}

}  // namespace

// Fields are split at runs of spaces and tabs and read from their leading
// number; what is not a number reads as 0; level limited, phase in radians.
TEST(MicCal, LineParsing) {
  struct Case {
    const char* text;
    double freq, level, phaseDeg;
  };
  const Case cases[] = {
      {"1000 -1.5 90\n", 1000, -1.5, 90},
      {"  20\t\t 1e1  -45\r\n", 20, 10, -45},
      {"+2.5E3 +3. .5", 2500, 3, 0.5},
      {"100 250 0", 100, 200, 0},      // level limited from above
      {"100 -300.5 0", 100, -200, 0},  // and from below
      {"100 3dB 12deg", 100, 3, 12},   // trailing text after a number
      {"100 x 10", 100, 0, 10},        // no number: 0
      {"100", 100, 0, 0},              // missing fields: 0
      {"100 6", 100, 6, 0},
      {"1.5e 3 4", 1.5, 3, 4},         // an 'e' without digits is not an exponent
      {"Freq dB Phase\n", 0, 0, 0},    // heading: no data point
      {"", 0, 0, 0},
      {"\n", 0, 0, 0},
      {"nan 1 1", 0, 0, 0},            // words are not numbers
      {"inf 1 1", 0, 0, 0},
      {"0x10 1 1", 0, 0, 0},           // reads the leading 0 only
      {"-50 1 1", 0, 0, 0},            // no negative frequencies
      {"1e999 1 1", 0, 0, 0},          // beyond a double
      {"100 1 1e999", 0, 0, 0},        // a phase beyond a double
      {"100 1e999 0", 100, 200, 0},    // a huge level is limited
      {"100,5,5", 100, 0, 0},          // commas do not separate
  };
  for (const Case& c : cases) {
    const MicPoint p = parseMicLine(c.text);
    EXPECT_DOUBLE_EQ(p.freq, c.freq) << c.text;
    if (c.freq == 0.0) continue;
    EXPECT_DOUBLE_EQ(p.levelDb, c.level) << c.text;
    EXPECT_NEAR(p.phaseRad, c.phaseDeg * kPi / 180.0, 1e-15) << c.text;
  }
}

// A line is read 199 characters at a time; the rest of a longer one comes as
// the next line. The end of the file ends the reading.
TEST(MicCal, LongLinesAreSplit) {
  TempDir dir;
  std::string first = "1000 3 0";
  first.resize(199, ' ');
  writeText(dir.file("long.txt"), first + "2000 6 10\n\n");
  std::FILE* f = std::fopen(dir.file("long.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  MicPoint p;
  ASSERT_TRUE(readMicLine(f, p));
  EXPECT_EQ(p.freq, 1000.0);
  EXPECT_EQ(p.levelDb, 3.0);
  ASSERT_TRUE(readMicLine(f, p));
  EXPECT_EQ(p.freq, 2000.0);
  EXPECT_EQ(p.levelDb, 6.0);
  ASSERT_TRUE(readMicLine(f, p));  // the empty line
  EXPECT_EQ(p.freq, 0.0);
  EXPECT_FALSE(readMicLine(f, p));
  std::fclose(f);

  writeText(dir.file("empty.txt"), "");
  f = std::fopen(dir.file("empty.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(readMicLine(f, p));
  std::fclose(f);
}

// Three points, 20 Hz -1.5 dB, 1 kHz 0 dB, 20 kHz 2 dB: constant below the
// first, linear in log frequency between points, and from the first grid
// point at or above 20 kHz the value of the last grid point below it
// (19887.02 Hz, index 899).
TEST(MicCal, LevelInterpolatesInLogFrequency) {
  TempDir dir;
  writeText(dir.file("mic.txt"), "Freq dB Phase\n20 -1.5 0\n1000 0 0\n20000 2 0\n");
  ComplexCurve mic = filled({7, 7});
  ASSERT_EQ(readMicCalFile(dir.file("mic.txt").c_str(), grid(), mic), MicFileResult::loaded);

  const double at899 = 2.0 * where(gridHz(899), 1000, 20000);
  for (int i = 0; i < kGridPoints; ++i) {
    const double g = gridHz(i);
    double expected;
    if (g < 20) {
      expected = -1.5;
    } else if (g <= 1000) {
      expected = -1.5 + 1.5 * where(g, 20, 1000);
    } else if (g < 20000) {
      expected = 2.0 * where(g, 1000, 20000);
    } else {
      expected = at899;
    }
    ASSERT_NEAR(levelDb(mic[i]), expected, 1e-9) << i << " " << g;
    ASSERT_EQ(mic[i].im, 0.0) << i;
  }
  // Half-way in log frequency between 20 Hz and 1 kHz (141.4 Hz) it is -0.75 dB:
  // the grid point nearest below and above bracket it.
  const int k = static_cast<int>(std::floor(999.0 / 4.0 * std::log10(std::sqrt(20000.0) / 5.0)));
  EXPECT_LT(levelDb(mic[k]), -0.75);
  EXPECT_GT(levelDb(mic[k + 1]), -0.75);
  EXPECT_NEAR(at899, 1.9962, 1e-4);  // 2 * ln(19.887) / ln(20)
}

// Phases follow the shorter way round: 170 and -170 degrees blend through
// 180; phases of opposite sign (+10, -10) are taken from the nearer point.
TEST(MicCal, PhaseUnwrapsAndDoesNotBlendAcrossZero) {
  TempDir dir;
  const RealCurve g = grid();

  writeText(dir.file("wrap.txt"), "100 0 170\n200 0 -170\n");
  ComplexCurve mic{};
  ASSERT_EQ(readMicCalFile(dir.file("wrap.txt").c_str(), g, mic), MicFileResult::loaded);
  int above180 = 0;
  for (int i = 0; i < kGridPoints; ++i) {
    if (g[i] >= 200) break;
    const double expectedDeg = g[i] < 100 ? 170.0 : 170.0 + 20.0 * where(g[i], 100, 200);
    const double rad = expectedDeg * kPi / 180.0;
    ASSERT_NEAR(mic[i].re, std::cos(rad), 1e-12) << i;
    ASSERT_NEAR(mic[i].im, std::sin(rad), 1e-12) << i;
    above180 += expectedDeg > 180.0;
  }
  EXPECT_GT(above180, 10);  // the interval really passes 180 degrees

  writeText(dir.file("sign.txt"), "100 0 10\n200 0 -10\n");
  ASSERT_EQ(readMicCalFile(dir.file("sign.txt").c_str(), g, mic), MicFileResult::loaded);
  int lower = 0, upper = 0;
  for (int i = 0; i < kGridPoints && g[i] < 200; ++i) {
    if (g[i] < 100) continue;
    const double expected = where(g[i], 100, 200) < 0.5 ? 10.0 : -10.0;
    ASSERT_NEAR(phaseDeg(mic[i]), expected, 1e-9) << i;
    (expected > 0 ? lower : upper)++;
  }
  EXPECT_GT(lower, 0);
  EXPECT_GT(upper, 0);
}

// A point every 1 Hz from 900 to 1100 Hz (level f/100 dB): each grid point is
// interpolated between the first data point above the grid point before and
// the first data point above itself; the points in between are skipped.
TEST(MicCal, DenseDataUsesTheNeighboursOfTheGridPoints) {
  TempDir dir;
  std::string text;
  for (int f = 900; f <= 1100; ++f) text += std::to_string(f) + " " + std::to_string(f / 100.0) + " 0\n";
  writeText(dir.file("dense.txt"), text);
  ComplexCurve mic{};
  ASSERT_EQ(readMicCalFile(dir.file("dense.txt").c_str(), grid(), mic), MicFileResult::loaded);
  int checked = 0;
  for (int i = 1; i < kGridPoints; ++i) {
    const double g = gridHz(i), before = gridHz(i - 1);
    if (before < 900 || g >= 1100) continue;
    const double a = std::floor(before) + 1, b = std::floor(g) + 1;
    const double expected = a / 100 + (b / 100 - a / 100) * where(g, a, b);
    ASSERT_NEAR(levelDb(mic[i]), expected, 1e-9) << i << " " << g;
    ++checked;
  }
  EXPECT_GE(checked, 15);
}

// Files that are odd in one way or another: what they give, without a crash
// or a value that is not a number.
TEST(MicCal, OddFiles) {
  TempDir dir;
  const RealCurve g = grid();
  const Complex untouched{7, 7};
  const auto read = [&](const std::string& text, ComplexCurve& mic) {
    writeText(dir.file("odd.txt"), text);
    mic = filled(untouched);
    return readMicCalFile(dir.file("odd.txt").c_str(), g, mic);
  };
  const auto all = [](const ComplexCurve& mic, Complex c) {
    for (const Complex& p : mic) {
      if (std::fabs(p.re - c.re) > 1e-12 || std::fabs(p.im - c.im) > 1e-12) return false;
    }
    return true;
  };
  ComplexCurve mic;

  // Fewer than two usable points, or none above the lowest grid point: the
  // file is refused and the curve stays as it was.
  for (const char* text : {"", "Freq dB Phase\n", "\n\n\n", "nan nan nan\n", "-10 3 0\n", "x",
                           "5 3 0\n", "1000 3 0", "100 3 90\n"}) {
    EXPECT_EQ(read(text, mic), MicFileResult::tooFewPoints) << text;
    EXPECT_TRUE(all(mic, untouched)) << text;
  }
  // A repeated or falling frequency: refused as not ascending.
  for (const char* text : {"1000 3 0\n1000 4 0\n", "1000 3 0\n900 4 0\n"}) {
    EXPECT_EQ(read(text, mic), MicFileResult::notAscending) << text;
    EXPECT_TRUE(all(mic, untouched)) << text;
  }
  EXPECT_EQ(read(std::string(1000000, '1'), mic), MicFileResult::tooFewPoints);  // one point
  EXPECT_TRUE(all(mic, untouched));
  EXPECT_EQ(read("2 3 0\n4 -1 0\n", mic), MicFileResult::belowGrid);
  EXPECT_TRUE(all(mic, untouched));

  // Two points above the grid or two of the same value: the whole grid takes
  // the first one.
  const Complex plus3{std::pow(10.0, 0.15), 0};
  EXPECT_EQ(read("60000 3 0\n70000 -5 0\n", mic), MicFileResult::loaded);
  EXPECT_TRUE(all(mic, plus3));
  EXPECT_EQ(read("100 3 90\n200 3 90\n", mic), MicFileResult::loaded);
  EXPECT_TRUE(all(mic, {0, std::pow(10.0, 0.15)}));

  // An out-of-order point and a repeated frequency used to be passed over;
  // such a file is now refused and the curve stays. Without them the file
  // gives the interpolation from 1 kHz 0 dB to 2 kHz 6 dB, and from 2 kHz up
  // the value of the last grid point below it (1984 Hz, index 649:
  // 999/4 * log10(2000/5) = 649.95).
  for (const char* text : {"1000 0 0\n500 9 0\n2000 6 0\n", "1000 0 0\n1000 9 0\n2000 6 0\n"}) {
    EXPECT_EQ(read(text, mic), MicFileResult::notAscending) << text;
    EXPECT_TRUE(all(mic, untouched)) << text;
  }
  const double lastBelow2k = gridHz(649);
  ASSERT_LT(lastBelow2k, 2000.0);
  ASSERT_GT(gridHz(650), 2000.0);
  ASSERT_EQ(read("1000 0 0\n2000 6 0\n", mic), MicFileResult::loaded);
  for (int i = 0; i < kGridPoints; ++i) {
    const double expected = g[i] <= 1000 ? 0.0 : 6.0 * where(std::fmin(g[i], lastBelow2k), 1000, 2000);
    ASSERT_NEAR(levelDb(mic[i]), expected, 1e-9) << i;
  }

  // Phases too large to turn round in steps, and bytes of every value:
  // finite values and an end.
  ASSERT_EQ(read("100 0 1e300\n200 0 -1e300\n300 0 0\n", mic), MicFileResult::loaded);
  for (const Complex& p : mic) ASSERT_TRUE(std::isfinite(p.re) && std::isfinite(p.im));
  std::string bytes;
  for (int n = 0; n < 20000; ++n) bytes += static_cast<char>((n * 7919) & 0xFF);
  read(bytes, mic);
  for (const Complex& p : mic) ASSERT_TRUE(std::isfinite(p.re) && std::isfinite(p.im));

  // What is not a regular file is not opened, and a FIFO never blocks.
  FifoWatch watch(dir.file("fifo.txt"));
  mic = filled(untouched);
  EXPECT_EQ(readMicCalFile(dir.file("fifo.txt").c_str(), g, mic), MicFileResult::cannotOpen);
  EXPECT_FALSE(watch.done());
  EXPECT_EQ(readMicCalFile(dir.path().c_str(), g, mic), MicFileResult::cannotOpen);
  EXPECT_TRUE(all(mic, untouched));

  mic = filled(untouched);
  EXPECT_EQ(readMicCalFile(dir.file("missing.txt").c_str(), g, mic), MicFileResult::cannotOpen);
  EXPECT_TRUE(all(mic, untouched));
}

// Two neighbouring frequencies that differ by less than their logarithms
// can tell: the later one is passed over, on the program's own grid (where a
// grid point falls on the first of them) and on the grid worked out here.
TEST(MicCal, FrequenciesEqualInTheirLogarithmGiveAFiniteCurve) {
  TempDir dir;
  const double f1 = 20071.212452496606;
  const double f2 = 20071.21245249661;
  ASSERT_LT(f1, f2);
  ASSERT_EQ(std::log(f1), std::log(f2));
  writeText(dir.file("dup.txt"), "100 0 0\n20071.212452496606 1 0\n20071.21245249661 2 0\n60000 3 0\n");
  const MeasSetup program;
  for (const RealCurve& g : {program.freqGrid, grid()}) {
    ComplexCurve mic = filled({7, 7});
    ASSERT_EQ(readMicCalFile(dir.file("dup.txt").c_str(), g, mic), MicFileResult::loaded);
    for (int i = 0; i < kGridPoints; ++i) {
      ASSERT_TRUE(std::isfinite(mic[i].re) && std::isfinite(mic[i].im)) << i;
      const double expected = g[i] <= 100 ? 0.0 : g[i] <= f1 ? where(g[i], 100, f1) : 1.0 + 2.0 * where(g[i], f1, 60000);
      ASSERT_NEAR(levelDb(mic[i]), expected, 1e-9) << i;
    }
  }
}

// The import from the program state: the dialog's request, the name kept,
// the validity flag, the message for a file that cannot be opened, and the
// silent re-read of the file named last.
TEST(MicCal, ImportThroughTheDialog) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  s->setup.setDefaults();
  DialogRecorder dialogs;
  std::strcpy(s->micFileName, "old.txt");
  s->micCalValid = true;

  // Cancelled: nothing changes.
  EXPECT_EQ(importMicCal(*s, dialogs), MicImport::cancelled);
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_FALSE(dialogs.fileDialogs[0].save);
  EXPECT_EQ(dialogs.fileDialogs[0].defaultExt, "txt");
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "Text files (*.txt)|*.TXT|All files (*.*)|*.*");
  EXPECT_EQ(dialogs.fileDialogs[0].fileName, "old.txt");
  EXPECT_TRUE(s->micCalValid);
  EXPECT_STREQ(s->micFileName, "old.txt");

  const std::string path = dir.file("mic.txt");
  writeText(path, "1000 -6 0\n2000 -6 0\n");
  dialogs.fileAnswers.push_back(path);
  EXPECT_EQ(importMicCal(*s, dialogs), MicImport::loaded);
  EXPECT_TRUE(s->micCalValid);
  EXPECT_STREQ(s->micFileName, path.c_str());
  for (int k = static_cast<int>(path.size()); k < kMicFileNameCapacity; ++k) {
    ASSERT_EQ(s->micFileName[k], '\0') << k;
  }
  EXPECT_NEAR(s->micCal[500].re, std::pow(10.0, -0.3), 1e-12);
  // A file chosen in the dialog: what it read is said.
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Read 2 points from 1000 Hz to 2000 Hz.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Mic calibration data");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::information);
  dialogs.boxes.clear();

  // Read again without asking, from the same name.
  writeText(path, "1000 6 0\n2000 6 0\n");
  s->micImportAsk = false;
  EXPECT_EQ(importMicCal(*s, dialogs), MicImport::loaded);
  EXPECT_EQ(dialogs.fileDialogs.size(), 2u);
  EXPECT_NEAR(s->micCal[500].re, std::pow(10.0, 0.3), 1e-12);
  EXPECT_TRUE(dialogs.boxes.empty());  // a silent re-read says nothing
  s->micImportAsk = true;

  // Files that cannot serve as a calibration: said so, and the calibration
  // before them (curve, flag and name) stays.
  writeText(dir.file("words.txt"), "no data here\n");
  writeText(dir.file("low.txt"), "1 0 0\n2 0 0\n");
  for (const char* name : {"words.txt", "low.txt"}) {
    dialogs.fileAnswers.push_back(dir.file(name));
    EXPECT_EQ(importMicCal(*s, dialogs), MicImport::failed) << name;
    EXPECT_TRUE(s->micCalValid) << name;
    EXPECT_STREQ(s->micFileName, path.c_str()) << name;
    EXPECT_NEAR(s->micCal[500].re, std::pow(10.0, 0.3), 1e-12) << name;
  }
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[0].text,
            "The file holds fewer than two calibration points.\nThe microphone calibration was not changed.");
  EXPECT_EQ(dialogs.boxes[1].text,
            "The file holds no calibration point above 5 Hz.\nThe microphone calibration was not changed.");
  for (const auto& box : dialogs.boxes) {
    EXPECT_EQ(box.caption, "Mic calibration data");
    EXPECT_EQ(box.icon, MsgIcon::warning);
    EXPECT_EQ(box.buttons, MsgButtons::ok);
  }
  dialogs.boxes.clear();

  // A file that is not there: the message, not loaded.
  s->micCalValid = true;
  dialogs.fileAnswers.push_back(dir.file("gone.txt"));
  EXPECT_EQ(importMicCal(*s, dialogs), MicImport::failed);
  EXPECT_FALSE(s->micCalValid);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Could not open file.\nCheck if path and filename is correct.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Mic calibration data");
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::warning);
  EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::okCancel);
}
