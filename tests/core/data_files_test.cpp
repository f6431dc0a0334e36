// The two data files together: whatever state the program is in, what it
// writes at exit is read back whole at the next start, and a damaged
// calibration file falls back on the generation before it.

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "analysis/mic_cal.h"
#include "file_test_support.h"
#include "app/app_state.h"
#include "app/stored_state.h"
#include "setup/cal_file.h"
#include "setup/config_file.h"
#include "setup/impedance_range.h"

namespace {

namespace fs = std::filesystem;

bool sameBits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }
bool sameBits(const Complex& a, const Complex& b) { return sameBits(a.re, b.re) && sameBits(a.im, b.im); }

// The reproducer: two neighbouring frequencies with the same logarithm.
constexpr const char* kDuplicateMicFile =
    "100 0 0\n20071.212452496606 1 0\n20071.21245249661 2 0\n60000 3 0\n";

// Values chosen to break a reader or a writer: the extremes of a double, the
// limits of each setting and the first values beyond them, and raw bits.
class Picker {
 public:
  explicit Picker(uint32_t seed) : rng_(seed) {}

  int below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  bool coin() { return below(2) == 1; }

  double anyDouble(std::initializer_list<double> limits) {
    static const double extremes[] = {std::numeric_limits<double>::quiet_NaN(),
                                      -std::numeric_limits<double>::quiet_NaN(),
                                      HUGE_VAL,
                                      -HUGE_VAL,
                                      DBL_MAX,
                                      -DBL_MAX,
                                      DBL_MIN,
                                      std::numeric_limits<double>::denorm_min(),
                                      -std::numeric_limits<double>::denorm_min(),
                                      0.0,
                                      -0.0};
    switch (below(4)) {
      case 0:
        return extremes[below(std::size(extremes))];
      case 1: {
        const double l = *(limits.begin() + below(static_cast<int>(limits.size())));
        const int side = below(3);
        return side == 0 ? l : side == 1 ? std::nextafter(l, HUGE_VAL) : std::nextafter(l, -HUGE_VAL);
      }
      case 2:
        return std::bit_cast<double>(static_cast<uint64_t>(rng_()) << 32 | rng_());
      default:
        return std::uniform_real_distribution<double>(-1500.0, 1500.0)(rng_);
    }
  }
  int32_t anyInt(std::initializer_list<int32_t> usual) {
    switch (below(3)) {
      case 0: {
        static const int32_t extremes[] = {INT32_MIN, INT32_MAX, -1, 0, 1};
        return extremes[below(std::size(extremes))];
      }
      case 1:
        return *(usual.begin() + below(static_cast<int>(usual.size())));
      default:
        return static_cast<int32_t>(rng_());
    }
  }

 private:
  std::mt19937 rng_;
};

// What the reader accepts of each setting, stated here on its own.
bool rateAccepted(int32_t rate, int32_t index) {
  static const int32_t table[] = {0, 8000, 11025, 16000, 22050, 32000, 44100, 48000, 64000, 88200, 96000};
  if (index < 0 || index > 10) return false;
  return index == 0 ? rate >= 1000 && rate <= 200000 : rate == table[index];
}
bool inside(double v, double lo, double hi) { return v >= lo && v <= hi; }
bool listed(double v, std::initializer_list<double> values) {
  for (double x : values)
    if (v == x) return true;
  return false;
}

void fillRandomState(Picker& p, AppState& s, const RealCurve& grid, const TempDir& dir) {
  MeasSetup& m = s.setup;
  m.sRateIndex = p.anyInt({0, 3, 6, 7, 10, 11});
  m.sampleRate = p.anyInt({999, 1000, 44100, 48000, 96000, 200000, 200001});
  if (p.coin() && m.sRateIndex > 0 && m.sRateIndex < 11) m.sampleRate = sampleRateTable[m.sRateIndex];
  m.mlsOrder = p.anyInt({11, 12, 13, 15, 16});
  m.autoscaleOffset = p.anyDouble({-100.0, 100.0});
  m.levelScale = p.anyDouble({-200.0, 200.0});
  m.displayRange = p.anyDouble({5.0, 100.0});
  m.zMin = p.anyDouble({0.1, 0.5, 10.0});
  m.zMax = p.anyDouble({20.0, 200.0, 1000.0});
  m.seriesR = p.anyDouble({0.1, 1000.0});
  m.micDataOff = p.coin();

  switch (p.below(3)) {
    case 0:  // the reproducer, imported as the window imports it
      std::ofstream(dir.file("dup.txt")) << kDuplicateMicFile;
      ASSERT_EQ(readMicCalFile(dir.file("dup.txt").c_str(), grid, s.micCal), MicFileResult::loaded);
      break;
    case 1:  // a curve with one extreme point somewhere
      s.micCal.fill(Complex(0.5, -0.25));
      s.micCal[p.below(kGridPoints)] = Complex(p.anyDouble({1.0}), p.anyDouble({-1.0}));
      break;
    default:
      for (Complex& c : s.micCal) c = Complex(p.anyDouble({1e-10, 1e10}), p.anyDouble({0.0}));
      break;
  }
  s.micCalValid = p.coin();
  const int nameLength = p.below(3) == 0 ? kMicFileNameCapacity : p.below(kMicFileNameCapacity);
  for (int i = 0; i < kMicFileNameCapacity; ++i)
    s.micFileName[i] = i < nameLength ? static_cast<char>(1 + p.below(255)) : '\0';

  // A few lengths calibrated, some of them holding a value no reader takes.
  for (int k = 0; k < 6; ++k) {
    const int mode = p.below(2), rate = p.below(11), order = p.below(4);
    s.soundcardCal.calibratedFlags[mode][rate][order] = p.coin();
    for (ComplexCurve& channel : s.soundcardCal.table[mode][rate][order])
      for (Complex& c : channel) c = Complex(std::sin(c.re + k), 0.5);
    if (p.coin())
      s.soundcardCal.table[mode][rate][order][p.below(2)][p.below(kGridPoints)] =
          Complex(p.anyDouble({0.0}), p.anyDouble({0.0}));
  }
}

// Write, read back into a fresh state: everything the reader would accept
// comes back bit for bit; everything else was replaced by the writer with its
// documented stand-in, so the reader still accepts both files whole.
TEST(DataFiles, WhatIsWrittenIsReadBackOrWasRefusedByTheWriter) {
  TempDir dir;
  const MeasSetup defaults;
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    Picker p(seed);
    auto s = std::make_unique<AppState>();
    fillRandomState(p, *s, defaults.freqGrid, dir);
    ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));
    ASSERT_TRUE(writeCalFile(s->soundcardCal, s->micCal, dir.path()));

    auto t = std::make_unique<AppState>();
    CalFileRead cal = CalFileRead::missing;
    EXPECT_TRUE(loadStoredState(*t, dir.path(), &cal));
    EXPECT_EQ(cal, CalFileRead::loaded);

    const MeasSetup& m = s->setup;
    const MeasSetup& r = t->setup;
    if (rateAccepted(m.sampleRate, m.sRateIndex)) {
      EXPECT_EQ(r.sampleRate, m.sampleRate);
      EXPECT_EQ(r.sRateIndex, m.sRateIndex);
    } else {
      EXPECT_EQ(r.sampleRate, 44100);
      EXPECT_EQ(r.sRateIndex, 6);
    }
    EXPECT_EQ(r.mlsOrder, m.mlsOrder >= 12 && m.mlsOrder <= 15 ? m.mlsOrder : 13);
    const auto expectSetting = [](double read, double written, bool accepted, double standIn) {
      EXPECT_TRUE(sameBits(read, accepted ? written : standIn)) << written << " read as " << read;
    };
    expectSetting(r.autoscaleOffset, m.autoscaleOffset, inside(m.autoscaleOffset, -100, 100), 0.0);
    expectSetting(r.levelScale, m.levelScale, inside(m.levelScale, -200, 200), 0.0);
    expectSetting(r.displayRange, m.displayRange, inside(m.displayRange, 5, 100), 40.0);
    expectSetting(r.zMin, m.zMin, listed(m.zMin, {0.1, 0.2, 0.5, 1, 2, 5, 10}), 1.0);
    expectSetting(r.zMax, m.zMax, listed(m.zMax, {20, 50, 100, 200, 500, 1000}), 100.0);
    expectSetting(r.seriesR, m.seriesR, inside(m.seriesR, 0.1, 1000), 12.0);
    EXPECT_EQ(r.micDataOff, m.micDataOff);

    bool micFinite = true;
    for (const Complex& c : s->micCal) micFinite = micFinite && std::isfinite(c.re) && std::isfinite(c.im);
    EXPECT_EQ(t->micCalValid, s->micCalValid && micFinite);
    for (int i = 0; i < kGridPoints; ++i)
      ASSERT_TRUE(sameBits(t->micCal[i], micFinite ? s->micCal[i] : Complex())) << i;

    const size_t nameLength = strnlen(s->micFileName, kMicFileNameCapacity - 1);
    for (int i = 0; i < kMicFileNameCapacity; ++i)
      ASSERT_EQ(t->micFileName[i], static_cast<size_t>(i) < nameLength ? s->micFileName[i] : '\0') << i;

    for (int mode = 0; mode < 2; ++mode)
      for (int rate = 0; rate < 11; ++rate)
        for (int order = 0; order < 4; ++order) {
          const auto& written = s->soundcardCal.table[mode][rate][order];
          const auto& read = t->soundcardCal.table[mode][rate][order];
          bool finite = true;
          for (const ComplexCurve& ch : written)
            for (const Complex& c : ch) finite = finite && std::isfinite(c.re) && std::isfinite(c.im);
          EXPECT_EQ(t->soundcardCal.calibratedFlags[mode][rate][order],
                    finite && s->soundcardCal.calibratedFlags[mode][rate][order]);
          for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < kGridPoints; ++i)
              ASSERT_TRUE(sameBits(read[ch][i], finite ? written[ch][i] : Complex(1.0, 0.0)))
                  << mode << " " << rate << " " << order << " " << ch << " " << i;
        }
  }
}

// The calibration file's generation before: kept when it could be read, never
// replaced by a damaged one, and used when the file itself is damaged.
TEST(DataFiles, DamagedCalibrationFallsBackOnItsBackup) {
  TempDir dir;
  auto first = std::make_unique<AppState>();
  first->soundcardCal.calibratedFlags[0][7][2] = true;
  first->soundcardCal.table[0][7][2][0][10] = Complex(0.5, 0.25);
  ASSERT_TRUE(writeCalFile(first->soundcardCal, first->micCal, dir.path()));
  EXPECT_FALSE(fs::exists(dir.file("sonrake.cal.bak")));  // nothing before it
  const std::vector<uint8_t> firstBytes = readBytes(dir.file("sonrake.cal"));

  auto second = std::make_unique<AppState>();
  second->soundcardCal.calibratedFlags[1][6][1] = true;
  ASSERT_TRUE(writeCalFile(second->soundcardCal, second->micCal, dir.path()));
  EXPECT_EQ(readBytes(dir.file("sonrake.cal.bak")), firstBytes);
  const std::vector<uint8_t> secondBytes = readBytes(dir.file("sonrake.cal"));

  // Damaged in place: a flag byte no writer writes, then cut short.
  std::vector<uint8_t> damaged = secondBytes;
  damaged[kCalFlagsOffset + 3] = 7;
  writeBytes(dir.file("sonrake.cal"), damaged, damaged.size());
  auto t = std::make_unique<AppState>();
  EXPECT_EQ(readCalFile(t->soundcardCal, t->micCal, dir.path()), CalFileRead::restoredFromBackup);
  EXPECT_TRUE(t->soundcardCal.calibratedFlags[0][7][2]);
  EXPECT_EQ(t->soundcardCal.table[0][7][2][0][10], Complex(0.5, 0.25));
  EXPECT_FALSE(t->soundcardCal.calibratedFlags[1][6][1]);

  // The next write keeps the good backup rather than the damaged file.
  ASSERT_TRUE(writeCalFile(t->soundcardCal, t->micCal, dir.path()));
  EXPECT_EQ(readBytes(dir.file("sonrake.cal.bak")), firstBytes);

  // Both damaged: refused, nothing taken. A missing file is not damaged: the
  // backup is left alone.
  writeBytes(dir.file("sonrake.cal"), secondBytes, 1000);
  writeBytes(dir.file("sonrake.cal.bak"), secondBytes, kCalFlagsOffset);
  auto u = std::make_unique<AppState>();
  EXPECT_EQ(readCalFile(u->soundcardCal, u->micCal, dir.path()), CalFileRead::refused);
  EXPECT_FALSE(u->soundcardCal.calibratedFlags[1][6][1]);
  writeBytes(dir.file("sonrake.cal.bak"), firstBytes, firstBytes.size());
  fs::remove(dir.file("sonrake.cal"));
  EXPECT_EQ(readCalFile(u->soundcardCal, u->micCal, dir.path()), CalFileRead::missing);
  EXPECT_FALSE(u->soundcardCal.calibratedFlags[0][7][2]);
}

}  // namespace
