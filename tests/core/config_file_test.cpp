#include "setup/config_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/stored_state.h"
#include "setup/cal_file.h"
#include "file_test_support.h"

namespace {

// Offsets of the configuration fields, from the file layout.
constexpr size_t kVersion = 0, kMicCal = 2, kMicValid = 16002, kMicOff = 16003, kName = 16004;
constexpr size_t kRate = 16264, kRateIndex = 16268, kOrder = 16272, kOffset = 16276,
                 kScale = 16284, kRange = 16292, kZMin = 16300, kZMax = 16308, kSeriesR = 16316,
                 kMarker93 = 16324, kMarker91 = 16264;

Complex micPoint(int i) { return {i + 0.5, -static_cast<double>(i)}; }

// A hand-made configuration with non-default content. Versions below 92 get
// the short layout with the end marker right after the file name.
Bytes makeConfig(int16_t version) {
  const bool settings = version >= 92;
  Bytes f(settings ? 16326 : 16266);
  f.i16(kVersion, version);
  for (int i = 0; i < 1000; ++i) {
    f.f64(kMicCal + 16 * i, micPoint(i).re);
    f.f64(kMicCal + 16 * i + 8, micPoint(i).im);
  }
  f.b[kMicValid] = 1;
  f.b[kMicOff] = 0;
  std::memcpy(&f.b[kName], "/home/u/mic.txt", 15);
  if (settings) {
    f.i32(kRate, 48000);
    f.i32(kRateIndex, 7);
    f.i32(kOrder, 14);
    f.f64(kOffset, 3.5);
    f.f64(kScale, -6.0);
    f.f64(kRange, 60.0);
    f.f64(kZMin, 0.5);
    f.f64(kZMax, 200.0);
    f.f64(kSeriesR, 8.2);
    f.i16(kMarker93, 12345);
  } else {
    f.i16(kMarker91, 12345);
  }
  return f;
}

void expectDefaultSettings(const MeasSetup& m) {
  EXPECT_EQ(m.sampleRate, 44100);
  EXPECT_EQ(m.sRateIndex, 6);
  EXPECT_EQ(m.mlsOrder, 13);
  EXPECT_EQ(m.mlsSize, 8192);
  EXPECT_EQ(m.autoscaleOffset, 0.0);
  EXPECT_EQ(m.levelScale, 0.0);
  EXPECT_EQ(m.displayRange, 40.0);
  EXPECT_EQ(m.zMin, 1.0);
  EXPECT_EQ(m.zMax, 100.0);
  EXPECT_EQ(m.seriesR, 12.0);
  EXPECT_TRUE(m.micDataOff);
}

void expectMadeSettings(const MeasSetup& m) {
  EXPECT_EQ(m.sampleRate, 48000);
  EXPECT_EQ(m.sRateIndex, 7);
  EXPECT_EQ(m.mlsOrder, 14);
  EXPECT_EQ(m.mlsSize, 16384);
  EXPECT_EQ(m.mlsSizeStereo, 32768);
  EXPECT_EQ(m.autoscaleOffset, 3.5);
  EXPECT_EQ(m.levelScale, -6.0);
  EXPECT_EQ(m.displayRange, 60.0);
  EXPECT_EQ(m.zMin, 0.5);
  EXPECT_EQ(m.zMax, 200.0);
  EXPECT_EQ(m.seriesR, 8.2);
  EXPECT_FALSE(m.micDataOff);
}

bool micCalIsMade(const AppState& s) {
  for (int i = 0; i < 1000; ++i)
    if (!(s.micCal[i] == micPoint(i))) return false;
  return true;
}

bool micCalIsZero(const AppState& s) {
  for (const Complex& c : s.micCal)
    if (!(c == Complex())) return false;
  return true;
}

// Reads a hand-made configuration (cut to length bytes) into a fresh state.
std::unique_ptr<AppState> readMade(const TempDir& dir, const Bytes& f, size_t length, bool* accepted = nullptr) {
  writeBytes(dir.file("sonrake.cfg"), f.b, length);
  auto s = std::make_unique<AppState>();
  const bool ok = loadStoredState(*s, dir.path());
  if (accepted) *accepted = ok;
  return s;
}

void setNonDefault(AppState& s) {
  s.micCal[0] = Complex(1.5, -2.25);
  s.micCal[999] = Complex(3.0, 4.0);
  s.micCalValid = true;
  std::strcpy(s.micFileName, "/home/u/mic.txt");
  MeasSetup& m = s.setup;
  m.micDataOff = false;
  m.setSampleRate(7);  // 48000
  m.setMlsOrder(3);    // order 15
  m.autoscaleOffset = 3.5;
  m.levelScale = -6.0;
  m.displayRange = 60.0;
  m.zMin = 0.5;
  m.zMax = 200.0;
  m.seriesR = 8.2;
}

TEST(ConfigFile, WritesFieldsAtTheirOffsets) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  setNonDefault(*s);
  ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));
  Bytes f(0);
  f.b = readBytes(dir.file("sonrake.cfg"));
  ASSERT_EQ(f.b.size(), 16326u);

  EXPECT_EQ(f.b[0], 0x5D);  // 93
  EXPECT_EQ(f.b[1], 0x00);
  EXPECT_EQ(f.get(2, 8), 0x3FF8000000000000u);                  // micCal[0].re = 1.5
  EXPECT_EQ(f.get(10, 8), 0xC002000000000000u);                 // micCal[0].im = -2.25
  EXPECT_EQ(f.get(2 + 999 * 16 + 8, 8), 0x4010000000000000u);   // micCal[999].im = 4
  EXPECT_EQ(f.b[16002], 1);
  EXPECT_EQ(f.b[16003], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f.b[16004])), "/home/u/mic.txt");
  for (size_t i = 16004 + 15; i < 16264; ++i) ASSERT_EQ(f.b[i], 0) << "name byte " << i;
  EXPECT_EQ(f.b[16264], 0x80);  // 48000 = 0x0000BB80
  EXPECT_EQ(f.b[16265], 0xBB);
  EXPECT_EQ(f.b[16266], 0x00);
  EXPECT_EQ(f.b[16267], 0x00);
  EXPECT_EQ(f.get(16268, 4), 7u);
  EXPECT_EQ(f.get(16272, 4), 15u);
  EXPECT_EQ(f.get(16276, 8), 0x400C000000000000u);  // 3.5
  EXPECT_EQ(f.get(16284, 8), 0xC018000000000000u);  // -6
  EXPECT_EQ(f.get(16292, 8), 0x404E000000000000u);  // 60
  EXPECT_EQ(f.get(16300, 8), 0x3FE0000000000000u);  // 0.5
  EXPECT_EQ(f.get(16308, 8), 0x4069000000000000u);  // 200
  EXPECT_EQ(f.get(16316, 8), 0x4020666666666666u);  // 8.2
  EXPECT_EQ(f.b[16324], 0x39);  // 12345 = 0x3039
  EXPECT_EQ(f.b[16325], 0x30);
}

TEST(ConfigFile, RoundTripRestoresStoredStateInStartUpOrder) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  setNonDefault(*s);
  ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));

  auto t = std::make_unique<AppState>();
  t->inDeviceId = 2;
  t->outDeviceId = 3;
  t->cyclicRunning = true;
  t->setup.cyclic = true;
  ASSERT_TRUE(loadStoredState(*t, dir.path()));
  EXPECT_TRUE(t->micCalValid);
  EXPECT_EQ(t->micCal[0], Complex(1.5, -2.25));
  EXPECT_EQ(t->micCal[999], Complex(3.0, 4.0));
  EXPECT_STREQ(t->micFileName, "/home/u/mic.txt");
  const MeasSetup& m = t->setup;
  EXPECT_FALSE(m.micDataOff);
  EXPECT_EQ(m.sampleRate, 48000);
  EXPECT_EQ(m.sRateIndex, 7);
  EXPECT_EQ(m.mlsOrder, 15);
  EXPECT_EQ(m.autoscaleOffset, 3.5);
  EXPECT_EQ(m.levelScale, -6.0);
  EXPECT_EQ(m.displayRange, 60.0);
  EXPECT_EQ(m.zMin, 0.5);
  EXPECT_EQ(m.zMax, 200.0);
  EXPECT_EQ(m.seriesR, 8.2);
  // The MLS sizes follow the order read: 2^15 and twice that.
  EXPECT_EQ(m.mlsSize, 32768);
  EXPECT_EQ(m.mlsSizeStereo, 65536);
  // The rate-derived sizes still hold the 44100 Hz values (0.2 * 44100,
  // 0.0125 * 44100 + 0.5 and 0.125 * 44100 + 0.5, truncated).
  EXPECT_EQ(m.delaySamples, 8820);
  EXPECT_EQ(m.bandSplitLow, 551);
  EXPECT_EQ(m.bandSplitHigh, 5513);
  // Devices and cyclic measurement never survive a restart.
  EXPECT_EQ(t->inDeviceId, 0);
  EXPECT_EQ(t->outDeviceId, 0);
  EXPECT_FALSE(t->cyclicRunning);
  EXPECT_FALSE(m.cyclic);

  // A custom rate travels as well.
  s->setup.sampleRate = 50000;
  s->setup.setSampleRate(0);
  ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));
  auto u = std::make_unique<AppState>();
  ASSERT_TRUE(loadStoredState(*u, dir.path()));
  EXPECT_EQ(u->setup.sRateIndex, 0);
  EXPECT_EQ(u->setup.sampleRate, 50000);
}

TEST(ConfigFile, VersionDecidesWhichBlocksAreRead) {
  TempDir dir;
  bool accepted = true;

  // 13 and below, and versions negative as signed 16-bit numbers: nothing
  // after the version is used, though the rest would be a valid file.
  for (int16_t version : {int16_t{13}, int16_t{0}, int16_t{-25536}}) {
    Bytes f = makeConfig(93);
    f.i16(kVersion, version);
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_FALSE(accepted) << version;
    EXPECT_TRUE(micCalIsZero(*s)) << version;
    EXPECT_FALSE(s->micCalValid) << version;
    EXPECT_EQ(s->micFileName[0], '\0') << version;
    expectDefaultSettings(s->setup);
  }

  // 14..91: the microphone block, then the end marker; settings stay default.
  for (int16_t version : {int16_t{14}, int16_t{50}, int16_t{91}}) {
    Bytes f = makeConfig(version);
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_TRUE(accepted) << version;
    EXPECT_TRUE(micCalIsMade(*s)) << version;
    EXPECT_TRUE(s->micCalValid) << version;
    EXPECT_STREQ(s->micFileName, "/home/u/mic.txt");
    EXPECT_FALSE(s->setup.micDataOff) << version;
    EXPECT_EQ(s->setup.sampleRate, 44100) << version;
    EXPECT_EQ(s->setup.displayRange, 40.0) << version;
  }

  // A version-91 file in the long layout has the settings where the marker
  // belongs: 48000 is no end marker.
  {
    Bytes f = makeConfig(93);
    f.i16(kVersion, 91);
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(s->micCalValid);
    expectDefaultSettings(s->setup);
  }

  // 92, 93 and a later version: the settings block as well.
  for (int16_t version : {int16_t{92}, int16_t{93}, int16_t{200}}) {
    Bytes f = makeConfig(version);
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_TRUE(accepted) << version;
    EXPECT_TRUE(micCalIsMade(*s)) << version;
    expectMadeSettings(s->setup);
  }
}

TEST(ConfigFile, WrongEndMarkerResetsSettingsButKeepsCurveAndName) {
  TempDir dir;
  Bytes f = makeConfig(93);
  f.i16(kMarker93, 12344);
  writeBytes(dir.file("sonrake.cfg"), f.b, f.b.size());
  auto s = std::make_unique<AppState>();
  // Values no default has, to see that every field is reset.
  s->setup.freqLow = 100.0;
  s->setup.winLength = 1000;
  std::strcpy(s->setup.title, "before");
  EXPECT_FALSE(loadStoredState(*s, dir.path()));
  expectDefaultSettings(s->setup);
  EXPECT_EQ(s->setup.freqLow, 20.0);
  EXPECT_EQ(s->setup.winLength, 8192);
  EXPECT_EQ(s->setup.title[0], '\0');
  EXPECT_FALSE(s->micCalValid);
  EXPECT_TRUE(micCalIsMade(*s));
  EXPECT_STREQ(s->micFileName, "/home/u/mic.txt");
}

struct Patch {
  const char* what;
  size_t offset;
  int size;  // 1, 4 or 8 (8 = double)
  double value;
};

TEST(ConfigFile, FieldOutsideItsControlRejectsTheFile) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Patch bad[] = {
      {"sRateIndex -1", kRateIndex, 4, -1},     {"sRateIndex 11", kRateIndex, 4, 11},
      {"rate not of index 7", kRate, 4, 44100}, {"mlsOrder 11", kOrder, 4, 11},
      {"mlsOrder 16", kOrder, 4, 16},           {"offset 100.5", kOffset, 8, 100.5},
      {"scale -200.5", kScale, 8, -200.5},      {"range 4.9", kRange, 8, 4.9},
      {"range 101", kRange, 8, 101},            {"zMin 0.3", kZMin, 8, 0.3},
      {"zMin 0", kZMin, 8, 0},                  {"zMax 100.5", kZMax, 8, 100.5},
      {"zMax 10", kZMax, 8, 10},                {"seriesR 0.09", kSeriesR, 8, 0.09},
      {"seriesR 1000.1", kSeriesR, 8, 1000.1},  {"offset NaN", kOffset, 8, nan},
      {"scale inf", kScale, 8, inf},            {"range NaN", kRange, 8, nan},
      {"zMin inf", kZMin, 8, inf},              {"zMax NaN", kZMax, 8, nan},
      {"seriesR -inf", kSeriesR, 8, -inf},      {"micCalValid byte 2", kMicValid, 1, 2},
      {"micDataOff byte 255", kMicOff, 1, 255},
  };
  TempDir dir;
  for (const Patch& p : bad) {
    Bytes f = makeConfig(93);
    if (p.size == 1) f.b[p.offset] = static_cast<uint8_t>(p.value);
    if (p.size == 4) f.i32(p.offset, static_cast<int32_t>(p.value));
    if (p.size == 8) f.f64(p.offset, p.value);
    bool accepted = true;
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_FALSE(accepted) << p.what;
    EXPECT_FALSE(s->micCalValid) << p.what;
    EXPECT_TRUE(micCalIsMade(*s)) << p.what;
    expectDefaultSettings(s->setup);
  }

  // A custom rate is checked against the limits of its own entry.
  for (int32_t rate : {999, 200001, 0, -44100}) {
    Bytes f = makeConfig(93);
    f.i32(kRateIndex, 0);
    f.i32(kRate, rate);
    bool accepted = true;
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_FALSE(accepted) << rate;
    expectDefaultSettings(s->setup);
  }

  // A non-finite microphone point: the curve is not taken and not loaded,
  // but the settings are.
  {
    Bytes f = makeConfig(93);
    f.f64(kMicCal + 16 * 500 + 8, nan);
    bool accepted = true;
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(s->micCalValid);
    EXPECT_TRUE(micCalIsZero(*s));
    EXPECT_EQ(s->setup.sampleRate, 48000);
    EXPECT_EQ(s->setup.seriesR, 8.2);
  }

  // A file name filling all 260 bytes has lost its NUL: rejected, and the
  // name read is not taken.
  {
    Bytes f = makeConfig(93);
    std::memset(&f.b[kName], 'a', 260);
    writeBytes(dir.file("sonrake.cfg"), f.b, f.b.size());
    auto s = std::make_unique<AppState>();
    std::strcpy(s->micFileName, "old.txt");
    EXPECT_FALSE(loadStoredState(*s, dir.path()));
    EXPECT_STREQ(s->micFileName, "old.txt");
    expectDefaultSettings(s->setup);
  }
}

TEST(ConfigFile, ValuesAtTheLimitsOfTheirControlsAreAccepted) {
  const Patch good[] = {
      {"range 5", kRange, 8, 5},           {"range 100", kRange, 8, 100},
      {"seriesR 0.1", kSeriesR, 8, 0.1},   {"seriesR 1000", kSeriesR, 8, 1000},
      {"zMin 0.1", kZMin, 8, 0.1},         {"zMin 10", kZMin, 8, 10},
      {"zMax 20", kZMax, 8, 20},           {"zMax 1000", kZMax, 8, 1000},
      {"offset -100", kOffset, 8, -100},   {"scale 200", kScale, 8, 200},
      {"mlsOrder 12", kOrder, 4, 12},      {"mlsOrder 15", kOrder, 4, 15},
  };
  TempDir dir;
  for (const Patch& p : good) {
    Bytes f = makeConfig(93);
    if (p.size == 4) f.i32(p.offset, static_cast<int32_t>(p.value));
    if (p.size == 8) f.f64(p.offset, p.value);
    bool accepted = false;
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_TRUE(accepted) << p.what;
  }
  for (auto [index, rate] : {std::pair{0, 1000}, std::pair{0, 200000}, std::pair{1, 8000},
                             std::pair{10, 96000}}) {
    Bytes f = makeConfig(93);
    f.i32(kRateIndex, index);
    f.i32(kRate, rate);
    bool accepted = false;
    auto s = readMade(dir, f, f.b.size(), &accepted);
    EXPECT_TRUE(accepted) << index << " " << rate;
    EXPECT_EQ(s->setup.sampleRate, rate);
  }
}

TEST(ConfigFile, TruncatedFileNeverReadsPastItsEnd) {
  TempDir dir;
  const Bytes f = makeConfig(93);
  // Every length up to a little past the version, the block borders, and a
  // spread of lengths through the microphone curve.
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 40; ++n) lengths.push_back(n);
  for (size_t n = 41; n < 16000; n += 397) lengths.push_back(n);
  for (size_t n : {16001, 16002, 16003, 16004, 16100, 16263, 16264, 16265, 16266, 16267,
                   16275, 16300, 16323, 16324, 16325})
    lengths.push_back(n);

  for (size_t n : lengths) {
    bool accepted = true;
    auto s = readMade(dir, f, n, &accepted);
    EXPECT_FALSE(accepted) << n;
    EXPECT_FALSE(s->micCalValid) << n;
    expectDefaultSettings(s->setup);
    // The curve and the name are taken only once they are wholly present.
    const bool micBlockWhole = n >= 16264;
    EXPECT_EQ(micCalIsMade(*s), micBlockWhole) << n;
    EXPECT_EQ(micCalIsZero(*s), !micBlockWhole) << n;
    EXPECT_EQ(std::string(s->micFileName), micBlockWhole ? "/home/u/mic.txt" : "") << n;
  }

  // The short layout of version 50 cut before its marker ends.
  const Bytes g = makeConfig(50);
  for (size_t n : {16264, 16265}) {
    bool accepted = true;
    auto s = readMade(dir, g, n, &accepted);
    EXPECT_FALSE(accepted) << n;
    EXPECT_FALSE(s->micCalValid) << n;
  }
}

TEST(ConfigFile, MissingFileLeavesDefaults) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  EXPECT_FALSE(loadStoredState(*s, dir.path()));
  EXPECT_FALSE(s->micCalValid);
  EXPECT_TRUE(micCalIsZero(*s));
  expectDefaultSettings(s->setup);
  EXPECT_FALSE(loadStoredState(*s, dir.path() + "no-such-dir/"));
}

TEST(ConfigFile, NameWithoutTerminatorIsWrittenCutTo259Characters) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  std::memset(s->micFileName, 'x', sizeof s->micFileName);
  ASSERT_TRUE(writeConfigFile(configView(*s), dir.path()));
  const auto b = readBytes(dir.file("sonrake.cfg"));
  ASSERT_EQ(b.size(), 16326u);
  EXPECT_EQ(b[16004 + 258], 'x');
  EXPECT_EQ(b[16004 + 259], 0);
  auto t = std::make_unique<AppState>();
  EXPECT_TRUE(loadStoredState(*t, dir.path()));
  EXPECT_EQ(std::strlen(t->micFileName), 259u);
}

}  // namespace
