#include "setup/cal_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "app/app_state.h"
#include "app/stored_state.h"
#include "setup/config_file.h"
#include "file_test_support.h"

namespace {

// Offsets from the file layout: 176000 points of 16 bytes after the version,
// then 88 flag bytes, then 1000 microphone points.
constexpr size_t kTable = 2, kFlags = 2816002, kMic = 2816090, kFull = 2832090;

Complex tablePoint(size_t k) { return {1.0 + static_cast<double>(k), -0.25 * static_cast<double>(k)}; }
bool flagSet(size_t f) { return f % 3 == 0; }
Complex calMicPoint(int i) { return {2.0, static_cast<double>(i)}; }

// A hand-made calibration file of the given version in the full layout.
Bytes makeCal(int16_t version) {
  Bytes f(kFull);
  f.i16(0, version);
  for (size_t k = 0; k < 176000; ++k) {
    f.f64(kTable + 16 * k, tablePoint(k).re);
    f.f64(kTable + 16 * k + 8, tablePoint(k).im);
  }
  for (size_t i = 0; i < 88; ++i) f.b[kFlags + i] = flagSet(i) ? 1 : 0;
  for (int i = 0; i < 1000; ++i) {
    f.f64(kMic + 16 * i, calMicPoint(i).re);
    f.f64(kMic + 16 * i + 8, calMicPoint(i).im);
  }
  return f;
}

// Walks the state's table in the file's order (mode, rate, MLS, channel, point).
template <typename Fn>
bool allTable(const AppState& s, Fn fn) {
  size_t k = 0, f = 0;
  for (int mode = 0; mode < 2; ++mode)
    for (int rate = 0; rate < 11; ++rate)
      for (int order = 0; order < 4; ++order, ++f) {
        for (int ch = 0; ch < 2; ++ch)
          for (int pt = 0; pt < 1000; ++pt, ++k)
            if (!fn(s.soundcardCal.table[mode][rate][order][ch][pt], k)) return false;
        if (!fn(s.soundcardCal.calibratedFlags[mode][rate][order], f)) return false;
      }
  return true;
}

bool tableIsMade(const AppState& s) {
  struct Check {
    bool operator()(const Complex& c, size_t k) const { return c == tablePoint(k); }
    bool operator()(bool flag, size_t f) const { return flag == flagSet(f); }
  };
  return allTable(s, Check{});
}

bool tableIsInitial(const AppState& s) {
  struct Check {
    bool operator()(const Complex& c, size_t) const { return c == Complex(1.0, 0.0); }
    bool operator()(bool flag, size_t) const { return !flag; }
  };
  return allTable(s, Check{});
}

bool micIsCal(const AppState& s) {
  for (int i = 0; i < 1000; ++i)
    if (!(s.micCal[i] == calMicPoint(i))) return false;
  return true;
}

// The microphone curve a configuration would have left before the
// calibration file is read.
void presetMic(AppState& s) { s.micCal.fill(Complex(7.0, 8.0)); }
bool micIsPreset(const AppState& s) {
  for (const Complex& c : s.micCal)
    if (!(c == Complex(7.0, 8.0))) return false;
  return true;
}

std::unique_ptr<AppState> readMadeCal(const TempDir& dir, const Bytes& f, size_t length, bool* taken) {
  writeBytes(dir.file("sonrake.cal"), f.b, length);
  auto s = std::make_unique<AppState>();
  presetMic(*s);
  *taken = readCalFile(s->soundcardCal, s->micCal, dir.path()) == CalFileRead::loaded;
  return s;
}

TEST(CalFile, WritesTableFlagsAndCurveAtTheirOffsets) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  s->soundcardCal.table[1][7][2][1][500] = Complex(0.25, -0.75);
  s->soundcardCal.calibratedFlags[1][7][2] = true;
  s->micCal[3] = Complex(5.0, 6.0);
  ASSERT_TRUE(writeCalFile(s->soundcardCal, s->micCal, dir.path()));
  Bytes f(0);
  f.b = readBytes(dir.file("sonrake.cal"));
  ASSERT_EQ(f.b.size(), 2832090u);

  EXPECT_EQ(f.get(0, 2), 93u);
  EXPECT_EQ(f.get(2, 8), 0x3FF0000000000000u);  // first point (1, 0)
  EXPECT_EQ(f.get(10, 8), 0u);
  // Point ((1*11 + 7)*4 + 2)*2000 + 1*1000 + 500 = 149500 at 2 + 16*149500.
  EXPECT_EQ(f.get(2392002, 8), 0x3FD0000000000000u);   // 0.25
  EXPECT_EQ(f.get(2392010, 8), 0xBFE8000000000000u);   // -0.75
  // Flag (1*11 + 7)*4 + 2 = 74, and no other.
  for (size_t i = 0; i < 88; ++i) EXPECT_EQ(f.b[2816002 + i], i == 74 ? 1 : 0) << i;
  EXPECT_EQ(f.get(2816090 + 3 * 16, 8), 0x4014000000000000u);      // 5
  EXPECT_EQ(f.get(2816090 + 3 * 16 + 8, 8), 0x4018000000000000u);  // 6

  auto t = std::make_unique<AppState>();
  ASSERT_EQ(readCalFile(t->soundcardCal, t->micCal, dir.path()), CalFileRead::loaded);
  EXPECT_EQ(t->soundcardCal.table[1][7][2][1][500], Complex(0.25, -0.75));
  EXPECT_EQ(t->soundcardCal.table[1][7][2][0][500], Complex(1.0, 0.0));
  EXPECT_TRUE(t->soundcardCal.calibratedFlags[1][7][2]);
  EXPECT_FALSE(t->soundcardCal.calibratedFlags[1][7][1]);
  EXPECT_EQ(t->micCal[3], Complex(5.0, 6.0));
}

TEST(CalFile, VersionDecidesWhichBlocksAreRead) {
  TempDir dir;
  bool taken = true;
  for (int16_t version : {int16_t{90}, int16_t{0}, int16_t{-1}}) {
    auto s = readMadeCal(dir, makeCal(version), kFull, &taken);
    EXPECT_FALSE(taken) << version;
    EXPECT_TRUE(tableIsInitial(*s)) << version;
    EXPECT_TRUE(micIsPreset(*s)) << version;
  }
  // 91 and 92 need only the table and the flags.
  for (int16_t version : {int16_t{91}, int16_t{92}}) {
    auto s = readMadeCal(dir, makeCal(version), kMic, &taken);
    EXPECT_TRUE(taken) << version;
    EXPECT_TRUE(tableIsMade(*s)) << version;
    EXPECT_TRUE(micIsPreset(*s)) << version;
  }
  for (int16_t version : {int16_t{93}, int16_t{94}}) {
    auto s = readMadeCal(dir, makeCal(version), kFull, &taken);
    EXPECT_TRUE(taken) << version;
    EXPECT_TRUE(tableIsMade(*s)) << version;
    EXPECT_TRUE(micIsCal(*s)) << version;
  }
}

TEST(CalFile, ReadAfterConfigurationDecidesTheMicrophoneCurve) {
  TempDir dir;
  // A configuration with a microphone curve of (9, 1) everywhere.
  auto writer = std::make_unique<AppState>();
  writer->micCal.fill(Complex(9.0, 1.0));
  writer->micCalValid = true;
  ASSERT_TRUE(writeConfigFile(configView(*writer), dir.path()));

  writeBytes(dir.file("sonrake.cal"), makeCal(92).b, kMic);
  auto s = std::make_unique<AppState>();
  ASSERT_TRUE(loadStoredState(*s, dir.path()));
  EXPECT_TRUE(tableIsMade(*s));
  EXPECT_EQ(s->micCal[0], Complex(9.0, 1.0));
  EXPECT_EQ(s->micCal[999], Complex(9.0, 1.0));

  writeBytes(dir.file("sonrake.cal"), makeCal(93).b, kFull);
  auto t = std::make_unique<AppState>();
  ASSERT_TRUE(loadStoredState(*t, dir.path()));
  EXPECT_TRUE(micIsCal(*t));
  EXPECT_TRUE(t->micCalValid);  // the flag comes from the configuration only
}

TEST(CalFile, ShortOrDamagedTableChangesNothing) {
  TempDir dir;
  bool taken = true;
  const Bytes f93 = makeCal(93);
  for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{1000}, kFlags - 1, kFlags,
                   kMic - 1}) {
    auto s = readMadeCal(dir, f93, n, &taken);
    EXPECT_FALSE(taken) << n;
    EXPECT_TRUE(tableIsInitial(*s)) << n;
    EXPECT_TRUE(micIsPreset(*s)) << n;
  }
  const Bytes f92 = makeCal(92);
  for (size_t n : {kFlags + 10, kMic - 1}) {
    auto s = readMadeCal(dir, f92, n, &taken);
    EXPECT_FALSE(taken) << n;
    EXPECT_TRUE(tableIsInitial(*s)) << n;
  }

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Bytes badFlag = makeCal(93);
  badFlag.b[kFlags + 87] = 2;
  Bytes nanPoint = makeCal(93);
  nanPoint.f64(kTable + 16 * 175999 + 8, nan);
  for (const Bytes* f : {&badFlag, &nanPoint}) {
    auto s = readMadeCal(dir, *f, kFull, &taken);
    EXPECT_FALSE(taken);
    EXPECT_TRUE(tableIsInitial(*s));
    EXPECT_TRUE(micIsPreset(*s));
  }

  // A microphone curve cut short or not finite costs only the curve.
  Bytes infMic = makeCal(93);
  infMic.f64(kMic + 16 * 999, inf);
  for (size_t n : {kMic, kMic + 1, kFull - 1, kFull}) {
    auto s = readMadeCal(dir, infMic, n, &taken);
    EXPECT_TRUE(taken) << n;
    EXPECT_TRUE(tableIsMade(*s)) << n;
    EXPECT_TRUE(micIsPreset(*s)) << n;
  }

  // The same non-finite curve in a version-92 file lies past its layout.
  infMic.i16(0, 92);
  auto s = readMadeCal(dir, infMic, kFull, &taken);
  EXPECT_TRUE(taken);
  EXPECT_TRUE(micIsPreset(*s));

  // Bytes beyond the layout are ignored.
  Bytes longer = makeCal(93);
  longer.b.resize(kFull + 100, 0xFF);
  auto t = readMadeCal(dir, longer, longer.b.size(), &taken);
  EXPECT_TRUE(taken);
  EXPECT_TRUE(tableIsMade(*t));
  EXPECT_TRUE(micIsCal(*t));
}

}  // namespace
