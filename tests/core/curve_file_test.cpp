// The curve files: the tolerant reader, curve files onto the grid, the
// FRD/ZMA/CSV export and the round trip through it.

#include "setup/curve_text.h"
#include "store/curve_export.h"
#include "store/curve_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/curve_prep.h"
#include "analysis/impedance_curves.h"
#include "analysis/mic_cal.h"
#include "file_test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The grid worked out here on its own: 5 * 10^(4 i / 999) Hz.
double gridHz(int i) { return 5.0 * std::pow(10.0, 4.0 * i / 999.0); }
RealCurve grid() {
  RealCurve g{};
  for (int i = 0; i < kGridPoints; ++i) g[i] = gridHz(i);
  return g;
}
// The first grid index at or above f and the last at or below it.
int firstAtOrAbove(double f) { return static_cast<int>(std::ceil(999.0 / 4.0 * std::log10(f / 5.0))); }
int lastAtOrBelow(double f) { return static_cast<int>(std::floor(999.0 / 4.0 * std::log10(f / 5.0))); }

double levelDb(const Complex& c) { return 20.0 * std::log10(std::hypot(c.re, c.im)); }
double phaseDeg(const Complex& c) { return std::atan2(c.im, c.re) * 180.0 / kPi; }
// a - b in degrees, brought into -180..180.
double angleDiff(double a, double b) { return std::remainder(a - b, 360.0); }

}  // namespace

// Fields in every separator style, the decimal comma, numbers as the reader
// takes them and the extra columns it ignores.
TEST(CurveText, FieldsInEveryStyle) {
  struct Case {
    const char* text;
    int count;
    double v0, v1, v2;
    bool n1, n2;
  };
  const Case cases[] = {
      {"100\t-1.5\t10", 3, 100, -1.5, 10, true, true},
      {"  100   -1.5 10  ", 3, 100, -1.5, 10, true, true},
      {"100,-1.5,10", 3, 100, -1.5, 10, true, true},
      {"100, -1.5 , 10,", 3, 100, -1.5, 10, true, true},
      {"100;-1,5;10", 3, 100, -1.5, 10, true, true},  // semicolons: decimal comma
      {"100\t-1,5\t10", 3, 100, -1.5, 10, true, true},  // tabs: decimal comma
      {"100;-1.5;10;7;8", 3, 100, -1.5, 10, true, true},  // extra columns dropped
      {"100,,10", 3, 100, 0, 10, false, true},          // an empty field keeps its place
      {"100 3dB 12deg", 3, 100, 3, 12, true, true},
      {"1e3 2E-1 +5.", 3, 1000, 0.2, 5, true, true},
      {"100 x", 2, 100, 0, 0, false, false},
      {"100", 1, 100, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    const std::string t = c.text;
    const TextFields f = splitFields(t.data(), t.data() + t.size(), FieldSplit::tolerant);
    EXPECT_EQ(f.count, c.count) << t;
    EXPECT_TRUE(f.numeric[0]) << t;
    EXPECT_DOUBLE_EQ(f.value[0], c.v0) << t;
    EXPECT_DOUBLE_EQ(f.value[1], c.v1) << t;
    EXPECT_DOUBLE_EQ(f.value[2], c.v2) << t;
    EXPECT_EQ(f.numeric[1], c.n1) << t;
    EXPECT_EQ(f.numeric[2], c.n2) << t;
  }
  // Without the tolerant split, commas and semicolons stay in the field.
  const std::string t = "100,5;6 7";
  const TextFields f = splitFields(t.data(), t.data() + t.size(), FieldSplit::whitespace);
  EXPECT_EQ(f.count, 2);
  EXPECT_DOUBLE_EQ(f.value[0], 100.0);
  EXPECT_DOUBLE_EQ(f.value[1], 7.0);

  double v = 5;
  for (const char* word : {"nan", "inf", "-", ".", "e5", "x1"}) {
    const std::string w = word;
    EXPECT_FALSE(leadingNumber(w.data(), w.data() + w.size(), false, v)) << w;
    EXPECT_EQ(v, 0.0) << w;
  }
  const std::string huge = "1e400";
  ASSERT_TRUE(leadingNumber(huge.data(), huge.data() + huge.size(), false, v));
  EXPECT_TRUE(std::isinf(v));
  const std::string longDigits(2000, '7');
  EXPECT_FALSE(leadingNumber(longDigits.data(), longDigits.data() + longDigits.size(), false, v));
}

// The sensitivity as microphone makers state it in their headers.
TEST(CurveText, SensitivityLines) {
  auto parse = [](const std::string& line) { return parseSensitivityLine(line.data(), line.data() + line.size()); };
  CurveSensitivity s = parse("\"Sens Factor =-1.378dB, SERNO: 7000000\"");
  ASSERT_TRUE(s.found);
  EXPECT_DOUBLE_EQ(s.levelDb, -1.378);
  EXPECT_EQ(s.freqHz, 0.0);
  EXPECT_STREQ(s.text, "Sens Factor =-1.378dB, SERNO: 7000000");

  s = parse("*1000Hz -41.0");
  ASSERT_TRUE(s.found);
  EXPECT_DOUBLE_EQ(s.freqHz, 1000.0);
  EXPECT_DOUBLE_EQ(s.levelDb, -41.0);
  EXPECT_STREQ(s.text, "1000Hz -41.0");

  s = parse("* Sensitivity: -38.5 dBV");
  ASSERT_TRUE(s.found);
  EXPECT_DOUBLE_EQ(s.levelDb, -38.5);

  for (const char* line : {"* Sonrake 1.00", "Freq dB Phase", "\"SERNO: 7000000\"", "* Sens Factor", "*Hz 3"}) {
    EXPECT_FALSE(parse(line).found) << line;
  }
}

// One curve, 100 Hz 0 dB 0 degrees to 1 kHz 20 dB 90 degrees, written in
// every style the common tools use. Each gives on the grid, from the first
// grid point at or above 100 Hz (325: 999/4 log10(20) = 324.93) to the last
// at or below 1 kHz (574: 999/4 log10(200) = 574.68), the level
// 20 log10(g / 100) dB and the phase 90 log10(g / 100) degrees (linear in log
// frequency: t = log10(g/100) / log10(10)); the other points are absent and
// hold a copy of the nearest point present.
TEST(CurveFile, EveryStyleGivesTheSameGridValues) {
  TempDir dir;
  const std::vector<std::string> styles = {
      "* FRD from a tool\n* Freq  dB  deg\n100\t0\t0\n1000\t20\t90\n",
      "Frequency,SPL,Phase\r\n100,0,0\r\n1000,20,90\r\n",
      "# comment\n; another\n\"quoted header\"\n\n100 0 0 55 66\n\n1000 20 90 77 88\n",
      "Freq;dB;Phase\r\n100;0,0;0,0\r\n1000;20,0;90,0\r\n",
      "100\t0,0\t0\r1000\t20,0\t90\r",  // CR line ends, decimal commas
      "0 -3 0\n100 0 0\n500 x 3\n1000 20 90\n",  // 0 Hz and a word: passed over
  };
  ASSERT_EQ(firstAtOrAbove(100), 325);
  ASSERT_EQ(lastAtOrBelow(1000), 574);
  const RealCurve g = grid();
  for (const std::string& text : styles) {
    writeText(dir.file("c.frd"), text);
    ComplexCurve r{};
    GridMask held;
    const CurveFileRead read = readCurveFile(dir.file("c.frd"), false, g, r, held);
    ASSERT_EQ(read.result, CurveFileResult::loaded) << text;
    EXPECT_EQ(read.points, 2) << text;
    EXPECT_EQ(read.firstGrid, 325) << text;
    EXPECT_EQ(read.lastGrid, 574) << text;
    EXPECT_EQ(held.count(), 250u) << text;
    for (int i = 0; i < kGridPoints; ++i) {
      ASSERT_EQ(held.test(i), i >= 325 && i <= 574) << text << i;
      const int k = std::clamp(i, 325, 574);
      const double t = std::log10(g[k] / 100.0);
      ASSERT_NEAR(levelDb(r[i]), 20.0 * t, 1e-9) << text << i;
      ASSERT_NEAR(phaseDeg(r[i]), 90.0 * t, 1e-9) << text << i;
    }
  }
  // Two columns: phase 0.
  writeText(dir.file("two.txt"), "100 0\n1000 20\n");
  ComplexCurve r{};
  GridMask held;
  ASSERT_EQ(readCurveFile(dir.file("two.txt"), false, g, r, held).result, CurveFileResult::loaded);
  EXPECT_NEAR(levelDb(r[450]), 20.0 * std::log10(g[450] / 100.0), 1e-9);
  EXPECT_NEAR(r[450].im, 0.0, 1e-12);
}

// The phase follows the shorter way round: 170 then -170 degrees is a rise
// of 20 degrees through 180. An impedance is interpolated in log |Z|: from
// 6 ohm at 10 Hz to 60 ohm at 100 Hz it is 6 g / 10 ohm.
TEST(CurveFile, PhaseUnwrapsAndImpedanceInterpolatesInLog) {
  TempDir dir;
  const RealCurve g = grid();
  writeText(dir.file("w.frd"), "100 0 170\n1000 0 -170\n");
  ComplexCurve r{};
  GridMask held;
  ASSERT_EQ(readCurveFile(dir.file("w.frd"), false, g, r, held).result, CurveFileResult::loaded);
  int beyond180 = 0;
  for (int i = 325; i <= 574; ++i) {
    const double expected = 170.0 + 20.0 * std::log10(g[i] / 100.0);
    ASSERT_NEAR(angleDiff(phaseDeg(r[i]), expected), 0.0, 1e-9) << i;
    beyond180 += expected > 180.0;
  }
  EXPECT_GT(beyond180, 100);

  writeText(dir.file("z.zma"), "10 6 0\n100 60 -45\n");
  EXPECT_TRUE(curveFileIsImpedance(dir.file("z.zma"), false));
  EXPECT_FALSE(curveFileIsImpedance("a.FRD", true));
  EXPECT_TRUE(curveFileIsImpedance("a.txt", true));
  ASSERT_EQ(readCurveFile(dir.file("z.zma"), true, g, r, held).result, CurveFileResult::loaded);
  for (int i = firstAtOrAbove(10); i <= lastAtOrBelow(100); ++i) {
    ASSERT_NEAR(std::hypot(r[i].re, r[i].im), 6.0 * g[i] / 10.0, 1e-9) << i;
    ASSERT_NEAR(phaseDeg(r[i]), -45.0 * std::log10(g[i] / 10.0), 1e-9) << i;
  }
}

// Every refusal, its text, and the slot left as it was.
TEST(CurveFile, RefusalsSayWhyAndChangeNothing) {
  TempDir dir;
  const RealCurve g = grid();
  struct Case {
    const char* text;
    CurveFileResult result;
    const char* message;
  };
  const Case cases[] = {
      {"", CurveFileResult::tooFewPoints, "The file holds fewer than two usable points."},
      {"*only comments\n", CurveFileResult::tooFewPoints, "The file holds fewer than two usable points."},
      {"100 3 0\n", CurveFileResult::tooFewPoints, "The file holds fewer than two usable points."},
      {"100\n200\n", CurveFileResult::tooFewPoints, "The file holds fewer than two usable points."},
      {"100 3 x\n200 3 y\n", CurveFileResult::tooFewPoints, "The file holds fewer than two usable points."},
      {"100 3 0\n200 1 0\n150 2 0\n", CurveFileResult::notAscending,
       "The frequencies in the file do not ascend (line 3)."},
      {"* h\n100 3 0\n100 4 0\n", CurveFileResult::notAscending,
       "The frequencies in the file do not ascend (line 3)."},
      {"1000 3 0\n1001 4 0\n", CurveFileResult::offGrid,
       "The file's points (2 points from 1000 Hz to 1001 Hz) cover no frequency of the graph's grid (5 Hz to 50 kHz)."},
      {"60000 3 0\n70000 4 0\n", CurveFileResult::offGrid,
       "The file's points (2 points from 60000 Hz to 70000 Hz) cover no frequency of the graph's grid (5 Hz to 50 kHz)."},
  };
  for (const Case& c : cases) {
    writeText(dir.file("bad.txt"), c.text);
    ComplexCurve r;
    r.fill({7, 7});
    GridMask held;
    held.set();
    const CurveFileRead read = readCurveFile(dir.file("bad.txt"), false, g, r, held);
    EXPECT_EQ(read.result, c.result) << c.text;
    EXPECT_EQ(curveRefusalText(read), c.message) << c.text;
    EXPECT_EQ(held.count(), static_cast<size_t>(kGridPoints)) << c.text;
    for (const Complex& p : r) ASSERT_TRUE(p.re == 7 && p.im == 7) << c.text;
  }
  ComplexCurve r{};
  GridMask held;
  const CurveFileRead missing = readCurveFile(dir.file("missing.frd"), false, g, r, held);
  EXPECT_EQ(missing.result, CurveFileResult::cannotOpen);
  EXPECT_EQ(curveRefusalText(missing), "Could not open file.\nCheck if path and filename is correct.");
  EXPECT_EQ(readCurveFile(dir.path(), false, g, r, held).result, CurveFileResult::cannotOpen);
}

// The bad-file set: nothing crashes, hangs or reads outside its buffers (the
// suite runs under AddressSanitizer too), and whatever is taken is finite.
TEST(CurveFile, BadFilesAreSurvived) {
  TempDir dir;
  const RealCurve g = grid();
  std::vector<std::pair<std::string, std::string>> files;
  files.push_back({"empty", ""});
  files.push_back({"one byte", "1"});
  std::string noise;
  uint32_t x = 12345;
  for (int n = 0; n < 200000; ++n) {
    x = x * 1664525u + 1013904223u;
    noise += static_cast<char>(x >> 24);
  }
  files.push_back({"noise", noise});
  files.push_back({"50 MB line", "100 1 0\n" + std::string(50 * 1024 * 1024, '9') + "\n200 2 0\n300 3 0\n"});
  files.push_back({"numbers", "100 nan 0\n150 inf 0\n200 1e400 0\n250 1 1e400\n300 -1e400 0\n1e400 1 0\n"
                              "350 1e300 0\n400 3 0\n500 4 1e300\n"});
  files.push_back({"descending", "1000 1 0\n500 2 0\n100 3 0\n"});
  std::string many;
  many.reserve(20 * 1000000);
  for (int n = 1; n <= 1000000; ++n) many += std::to_string(10 + n * 0.04) + " -3 45\n";
  files.push_back({"10^6 lines", many});

  for (const auto& [name, text] : files) {
    writeText(dir.file("bad.txt"), text);
    ComplexCurve r{};
    GridMask held;
    const CurveFileRead read = readCurveFile(dir.file("bad.txt"), false, g, r, held);
    if (read.result == CurveFileResult::loaded) {
      for (const Complex& p : r) ASSERT_TRUE(std::isfinite(p.re) && std::isfinite(p.im)) << name;
    }
    ComplexCurve mic{};
    readMicCalFile(dir.file("bad.txt").c_str(), g, mic);
    for (const Complex& p : mic) ASSERT_TRUE(std::isfinite(p.re) && std::isfinite(p.im)) << name;
  }

  // What the cases give. The long line is passed over: 100, 200, 300 Hz.
  ComplexCurve r{};
  GridMask held;
  writeText(dir.file("long.txt"), files[3].second);
  CurveFileRead read = readCurveFile(dir.file("long.txt"), false, g, r, held);
  EXPECT_EQ(read.result, CurveFileResult::loaded);
  EXPECT_EQ(read.points, 3);
  EXPECT_EQ(read.skipped, 1);
  // Of the odd numbers only 400 Hz 3 dB and 500 Hz 4 dB (phase 1e300, finite) are usable.
  writeText(dir.file("num.txt"), files[4].second);
  read = readCurveFile(dir.file("num.txt"), false, g, r, held);
  EXPECT_EQ(read.result, CurveFileResult::loaded);
  EXPECT_EQ(read.points, 2);
  EXPECT_DOUBLE_EQ(read.firstHz, 400.0);
  // A phase as large as a double goes (1e308 degrees, infinite in radians)
  // is an angle like any other: the curve stays finite, its levels as read.
  writeText(dir.file("turns.txt"), "42 1 1e308\n420 2 0\n");
  read = readCurveFile(dir.file("turns.txt"), false, g, r, held);
  ASSERT_EQ(read.result, CurveFileResult::loaded);
  for (int i = read.firstGrid; i <= read.lastGrid; ++i) {
    ASSERT_TRUE(std::isfinite(r[i].re) && std::isfinite(r[i].im)) << i;
    const double expected = 1.0 + std::log10(g[i] / 42.0);  // 1 dB per decade from 42 Hz
    EXPECT_NEAR(levelDb(r[i]), expected, 1e-9) << i;
  }
  writeText(dir.file("many.txt"), many);
  read = readCurveFile(dir.file("many.txt"), false, g, r, held);
  EXPECT_EQ(read.result, CurveFileResult::loaded);
  EXPECT_EQ(read.points, 1000000);
  EXPECT_NEAR(levelDb(r[500]), -3.0, 1e-9);
  EXPECT_NEAR(phaseDeg(r[500]), 45.0, 1e-9);
}

namespace {

// A record with a known curve on it: level 3 sin(ln f) dB, phase that turns
// three times over the grid, measured at 48 kHz, shown from 20 Hz to 20 kHz.
std::unique_ptr<MeasSetup> knownRecord() {
  auto m = std::make_unique<MeasSetup>();
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = m->freqGrid[i];
    const double mag = std::pow(10.0, 0.15 * std::sin(std::log(f)));
    const double ph = -3.0 * 2.0 * kPi * i / kGridPoints;
    m->response[i] = {mag * std::cos(ph), mag * std::sin(ph)};
  }
  m->responseRate = 48000;
  return m;
}

std::unique_ptr<DisplayCurves> shownCurves(MeasSetup& m) {
  auto c = std::make_unique<DisplayCurves>();
  const ComplexCurve noMic{};
  prepareSplCurves(m, {}, noMic, false, MergeSetup{}, *c, false);
  return c;
}

// An FRD parser written from the format's rules, not the program's reader:
// '*' lines are comments, every other line is three numbers separated by
// tabs, point decimals, LF line ends.
struct FrdLine {
  double f, v, ph;
};
std::vector<FrdLine> parseFrd(const std::string& text, std::vector<std::string>& comments, std::string& error) {
  std::vector<FrdLine> lines;
  const std::regex number("-?[0-9]+\\.[0-9]{4,}");
  std::istringstream in(text);
  std::string line;
  if (text.find('\r') != std::string::npos) error = "CR in file";
  if (!text.empty() && text.back() != '\n') error = "no LF at the end";
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '*') {
      comments.push_back(line);
      continue;
    }
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
      const size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() != 3) {
      error = "not three fields: " + line;
      continue;
    }
    for (const std::string& f : fields) {
      if (!std::regex_match(f, number)) error = "bad number " + f;
      if (std::regex_match(f, std::regex("-0\\.0+"))) error = "negative zero " + f;
    }
    std::istringstream a(fields[0]), b(fields[1]), c(fields[2]);
    FrdLine l{};
    a >> l.f;
    b >> l.v;
    c >> l.ph;
    if (!lines.empty() && !(l.f > lines.back().f)) error = "not ascending at " + fields[0];
    lines.push_back(l);
  }
  return lines;
}

}  // namespace

// An exported FRD read by a parser written from the format's rules: the
// comment header, one line per grid point of the shown range below half the
// rate, tab-separated numbers with four decimals, no "-0.0000", ascending,
// LF only, values as shown.
TEST(CurveExport, FrdFollowsTheFormatRules) {
  auto m = knownRecord();
  m->freqLow = 5.0;
  m->freqHigh = 50000.0;
  auto c = shownCurves(*m);
  c->splPhase[0][400] = -0.00001;  // would print as "-0.0000"
  ExportHeader h;
  h.date = "2024-05-01 12:00:00";
  h.soundcardCalibrated = true;
  h.micFile = "/data/mic.txt";
  std::strcpy(m->title, "Woofer\nleft");
  const std::string text = exportFrd(*m, *c, h);

  std::vector<std::string> comments;
  std::string error;
  const std::vector<FrdLine> lines = parseFrd(text, comments, error);
  EXPECT_EQ(error, "");
  // 24 kHz lies between grid points 919 (999/4 log10(4800) = 919.4) and
  // 920; points 0..919 are written.
  ASSERT_EQ(lastAtOrBelow(24000), 919);
  ASSERT_EQ(lines.size(), 920u);
  for (size_t k = 0; k < lines.size(); ++k) {
    ASSERT_NEAR(lines[k].f, gridHz(static_cast<int>(k)), 0.5e-4 + 1e-9) << k;
    ASSERT_NEAR(lines[k].v, c->splMag[0][k], 0.5e-4 + 1e-12) << k;
    ASSERT_NEAR(lines[k].ph, c->splPhase[0][k], 0.5e-4 + 1e-12) << k;
    ASSERT_LT(lines[k].f, 24000.0);
  }
  EXPECT_EQ(lines[400].ph, 0.0);
  const std::vector<std::string> expected = {
      "* Sonrake 1.00 frequency response", "* Date: 2024-05-01 12:00:00", "* Title: Woofer left",
      "* Mode: SPL", "* Sample rate: 48000 Hz", "* MLS length: 8192 (order 13)",
      "* Window: 8192 samples from 0, quarter cosine", "* Smoothing: none",
      "* Sound card calibration: applied", "* Microphone file: /data/mic.txt",
      "* Freq(Hz)\tSPL(dB)\tPhase(deg)"};
  EXPECT_EQ(comments, expected);

  // Impedance: |Z| and "ZMA" columns; unsmoothed said in the header.
  m->impedanceMode = 1;
  for (int i = 0; i < kGridPoints; ++i) {
    c->zMag[0][i] = 6.0 + i / 1000.0;
    c->zPhase[0][i] = -0.5;
  }
  h.unsmoothed = true;
  comments.clear();
  const std::vector<FrdLine> z = parseFrd(exportFrd(*m, *c, h), comments, error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(z.size(), 920u);
  EXPECT_DOUBLE_EQ(z[10].v, 6.01);
  EXPECT_EQ(comments[0], "* Sonrake 1.00 impedance");
  EXPECT_EQ(comments[7], "* Smoothing: none (unsmoothed export)");
  EXPECT_EQ(comments.back(), "* Freq(Hz)\tZ(ohm)\tPhase(deg)");
}

// The numbers, the CSV layout, the format by extension, absent points.
TEST(CurveExport, NumbersCsvAndAbsentPoints) {
  EXPECT_EQ(curveNumber(-0.00004), "0.0000");
  EXPECT_EQ(curveNumber(-0.0), "0.0000");
  EXPECT_EQ(curveNumber(-0.00005001), "-0.0001");
  EXPECT_EQ(curveNumber(1234.56789), "1234.5679");
  EXPECT_EQ(curveNumber(-12.5), "-12.5000");
  EXPECT_EQ(exportFormatForPath("a.FRD"), ExportFormat::frd);
  EXPECT_EQ(exportFormatForPath("dir.frd/a.Zma"), ExportFormat::frd);
  EXPECT_EQ(exportFormatForPath("a.csv"), ExportFormat::csv);
  EXPECT_EQ(exportFormatForPath("a.txt"), ExportFormat::text);
  EXPECT_EQ(exportFormatForPath("frd"), ExportFormat::text);

  auto m = knownRecord();
  auto c = std::make_unique<DisplayCurves>();
  for (int i = 0; i < kGridPoints; ++i) {
    c->splMag[0][i] = -i / 8.0;
    c->splPhase[0][i] = i / 16.0;
  }
  // Only 100 Hz .. 1 kHz held, as a curve read from a file; the default
  // range 20 Hz .. 20 kHz.
  m->held.reset();
  for (int i = 325; i <= 574; ++i) m->held.set(i);
  m->responseRate = 0;
  const std::string csv = exportCsv(*m, *c);
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "Frequency (Hz),Level (dB),Phase (deg)");
  std::getline(in, line);
  // Grid point 325: 5 * 10^(1300/999) = 100.17 Hz, -40.625 dB, 20.3125 degrees.
  char expected[80];
  std::snprintf(expected, sizeof expected, "%.4f,-40.6250,20.3125", gridHz(325));
  EXPECT_EQ(line, expected);
  int rows = 1;
  while (std::getline(in, line)) ++rows;
  EXPECT_EQ(rows, 250);
  EXPECT_EQ(csv.find('\r'), std::string::npos);
}

// Export FRD, read it back onto the grid: the same curve within what four
// decimals hold, the same points present, nothing outside.
TEST(CurveExport, RoundTripThroughFrdAndZma) {
  TempDir dir;
  auto m = knownRecord();
  auto c = shownCurves(*m);
  writeText(dir.file("rt.frd"), exportFrd(*m, *c, ExportHeader{}));
  ComplexCurve r{};
  GridMask held;
  const CurveFileRead read = readCurveFile(dir.file("rt.frd"), false, m->freqGrid, r, held);
  ASSERT_EQ(read.result, CurveFileResult::loaded);
  // Written: 20 Hz .. 20 kHz, grid points 151 to 899.
  EXPECT_EQ(read.firstGrid, 151);
  EXPECT_EQ(read.lastGrid, 899);
  for (int i = 0; i < kGridPoints; ++i) {
    ASSERT_EQ(held.test(i), i >= 151 && i <= 899) << i;
    if (!held.test(i)) continue;
    ASSERT_NEAR(levelDb(r[i]), c->splMag[0][i], 1e-4) << i;
    // The phase turns 1.08 degrees per grid step, and a frequency rounded
    // by up to 0.5e-4 Hz sits up to 2.7e-4 of a step off at 20 Hz
    // (0.5e-4 / 20.1 / ln(10^(4/999))): 3e-4 degrees more than the digits.
    ASSERT_NEAR(angleDiff(phaseDeg(r[i]), c->splPhase[0][i]), 0.0, 0.5e-4 + 3e-4) << i;
  }

  // An impedance through ZMA.
  m->impedanceMode = 1;
  for (int i = 0; i < kGridPoints; ++i) m->response[i] = {6.0 + 20.0 * std::exp(-std::pow(std::log(m->freqGrid[i] / 45.0), 2)), 0.0};
  auto cz = std::make_unique<DisplayCurves>();
  prepareImpedanceCurves(*m, {}, MergeSetup{}, *cz, false);
  writeText(dir.file("rt.zma"), exportFrd(*m, *cz, ExportHeader{}));
  ASSERT_EQ(readCurveFile(dir.file("rt.zma"), true, m->freqGrid, r, held).result, CurveFileResult::loaded);
  for (int i = 151; i <= 899; ++i) {
    // |Z| of 6..26 ohm with four decimals: within 0.5e-4 ohm, about 1e-5 relative.
    ASSERT_NEAR(std::hypot(r[i].re, r[i].im), cz->zMag[0][i], 1e-4) << i;
  }
}
