// The configuration reader on any bytes: what it takes is always a
// configuration the program can run with, it takes a file's fields only
// when the file is sound (decoded here by offset, independently of the
// reader), a file it ignores changes nothing, and whatever it read is
// written back in a form it accepts whole.

#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "setup/config_file.h"
#include "setup/impedance_range.h"
#include "setup/setting_limits.h"

namespace {

fuzz::ScratchDir& scratch() {
  static fuzz::ScratchDir dir;
  return dir;
}

struct Held {
  MeasSetup setup;
  ComplexCurve micCal;
  bool micCalValid = true;
  char micFileName[kMicFileNameCapacity]{};

  Held() {
    // Values no file can hold as such (and a name no file was given), so
    // that anything the reader takes shows.
    for (int i = 0; i < kGridPoints; ++i) micCal[i] = Complex(0.25 + i, -1.5);
    std::strcpy(micFileName, "held-before-the-read.txt");
    setup.setSampleRate(7);  // 48000 Hz
    setup.setMlsOrder(2);
    setup.zMin = 2.0;
  }
  ConfigFields fields() { return {setup, micCal, micCalValid, micFileName}; }
};

bool within(double v, const SettingRange& r) { return v >= r.min && v <= r.max; }

// What a running program needs of the settings: every one inside its range.
void checkRunnable(const MeasSetup& m) {
  FUZZ_CHECK(m.sRateIndex >= 0 && m.sRateIndex < kSampleRateCount);
  if (m.sRateIndex == 0) {
    FUZZ_CHECK(within(m.sampleRate, kCustomRateRange));
  } else {
    FUZZ_CHECK(m.sampleRate == sampleRateTable[m.sRateIndex]);
  }
  FUZZ_CHECK(m.mlsOrder >= 12 && m.mlsOrder <= 15);
  FUZZ_CHECK(within(m.autoscaleOffset, kAutoscaleOffsetRange));
  FUZZ_CHECK(within(m.levelScale, kLevelScaleRange));
  FUZZ_CHECK(within(m.displayRange, kDisplayRangeRange));
  FUZZ_CHECK(zMinIndex(m.zMin) >= 0);
  FUZZ_CHECK(zMaxIndex(m.zMax) >= 0);
  FUZZ_CHECK(within(m.seriesR, kSeriesRRange));
}

bool sameStored(const MeasSetup& a, const MeasSetup& b) {
  return a.sampleRate == b.sampleRate && a.sRateIndex == b.sRateIndex && a.mlsOrder == b.mlsOrder &&
         a.autoscaleOffset == b.autoscaleOffset && a.levelScale == b.levelScale &&
         a.displayRange == b.displayRange && a.zMin == b.zMin && a.zMax == b.zMax &&
         a.seriesR == b.seriesR && a.micDataOff == b.micDataOff;
}

bool sameCurve(const ComplexCurve& a, const ComplexCurve& b) {
  for (int i = 0; i < kGridPoints; ++i)
    if (!(a[i].re == b[i].re && a[i].im == b[i].im)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch().write(kConfigFileName, data, size);
  Held held;
  const Held before;
  const bool accepted = readConfigFile(held.fields(), scratch().path());

  checkRunnable(held.setup);
  FUZZ_CHECK(std::memchr(held.micFileName, '\0', kMicFileNameCapacity) != nullptr);
  if (held.micCalValid) FUZZ_CHECK(allFinite(held.micCal));

  const int16_t version = fuzz::leI16(data, size, 0);
  const bool micBlock = size >= kConfigSettingsOffset;
  if (size < 2 || version <= 13 || !micBlock) {
    // Nothing of the file is taken, and only a sound file can reset.
    FUZZ_CHECK(!accepted);
    FUZZ_CHECK(sameCurve(held.micCal, before.micCal));
    FUZZ_CHECK(std::memcmp(held.micFileName, before.micFileName, kMicFileNameCapacity) == 0);
    if (size < 2 || version <= 13) {
      FUZZ_CHECK(held.micCalValid == before.micCalValid);
      FUZZ_CHECK(sameStored(held.setup, before.setup));
    }
  }

  if (accepted) {
    // Accepted whole: the end marker where the version puts it, the flag
    // bytes 0 or 1, the curve finite, and every field as the bytes say.
    const size_t marker = version >= 92 ? kConfigMarkerOffset : kConfigSettingsOffset;
    FUZZ_CHECK(size >= marker + 2);
    FUZZ_CHECK(fuzz::leI16(data, size, marker) == kConfigEndMarker);
    FUZZ_CHECK(data[16002] <= 1 && data[16003] <= 1);
    FUZZ_CHECK(held.micCalValid == (data[16002] == 1));
    FUZZ_CHECK(held.setup.micDataOff == (data[16003] == 1));
    for (int i = 0; i < kGridPoints; ++i) {
      const size_t at = kConfigMicOffset + 16 * static_cast<size_t>(i);
      const double re = fuzz::leF64(data, size, at);
      const double im = fuzz::leF64(data, size, at + 8);
      FUZZ_CHECK(std::isfinite(re) && std::isfinite(im));
      FUZZ_CHECK(held.micCal[i].re == re && held.micCal[i].im == im);
    }
    FUZZ_CHECK(std::memcmp(held.micFileName, data + kConfigFileNameOffset, kMicFileNameCapacity) ==
               0);
    const size_t s = kConfigSettingsOffset;
    if (version >= 92) {
      FUZZ_CHECK(held.setup.sampleRate == fuzz::leI32(data, size, s));
      FUZZ_CHECK(held.setup.sRateIndex == fuzz::leI32(data, size, s + 4));
      FUZZ_CHECK(held.setup.mlsOrder == fuzz::leI32(data, size, s + 8));
      FUZZ_CHECK(held.setup.autoscaleOffset == fuzz::leF64(data, size, s + 12));
      FUZZ_CHECK(held.setup.levelScale == fuzz::leF64(data, size, s + 20));
      FUZZ_CHECK(held.setup.displayRange == fuzz::leF64(data, size, s + 28));
      FUZZ_CHECK(held.setup.zMin == fuzz::leF64(data, size, s + 36));
      FUZZ_CHECK(held.setup.zMax == fuzz::leF64(data, size, s + 44));
      FUZZ_CHECK(held.setup.seriesR == fuzz::leF64(data, size, s + 52));
    } else {
      FUZZ_CHECK(sameStored(held.setup, [&] {
        MeasSetup m = before.setup;
        m.micDataOff = held.setup.micDataOff;
        return m;
      }()));
    }
  }

  // Whatever was read is written so that it reads back whole and the same.
  const ConfigView view{held.setup, held.micCal, held.micCalValid, held.micFileName};
  FUZZ_CHECK(writeConfigFile(view, scratch().path()));
  Held again;
  FUZZ_CHECK(readConfigFile(again.fields(), scratch().path()));
  FUZZ_CHECK(sameStored(again.setup, held.setup));
  FUZZ_CHECK(sameCurve(again.micCal, held.micCal));
  FUZZ_CHECK(again.micCalValid == held.micCalValid);
  FUZZ_CHECK(std::strcmp(again.micFileName, held.micFileName) == 0);
  return 0;
}
