#include "setup/config_file.h"

#include <array>
#include <cmath>
#include <cstring>

#include "setup/byte_codec.h"
#include "setup/data_dir.h"
#include "setup/file_io.h"
#include "setup/impedance_range.h"
#include "setup/setting_limits.h"

namespace {

constexpr int16_t kLastIgnoredVersion = 13;
constexpr int16_t kFirstVersionWithSettings = 92;

static_assert(kConfigFileNameOffset == kConfigMicOffset + 16 * kGridPoints + 2);
static_assert(kConfigSettingsOffset == kConfigFileNameOffset + kMicFileNameCapacity);
static_assert(kConfigMarkerOffset == kConfigSettingsOffset + 3 * 4 + 6 * 8);
static_assert(kConfigFileSize == kConfigMarkerOffset + 2);

bool within(double v, const SettingRange& r) { return v >= r.min && v <= r.max; }  // false for NaN

// The settings block as the file holds it, with the rules the reader applies
// to each field. The writer applies the same rules, so that nothing it writes
// is refused when read back.
struct StoredSettings {
  int32_t sampleRate = 0;
  int32_t sRateIndex = 0;
  int32_t mlsOrder = 0;
  double autoscaleOffset = 0.0;
  double levelScale = 0.0;
  double displayRange = 0.0;
  double zMin = 0.0;
  double zMax = 0.0;
  double seriesR = 0.0;

  static StoredSettings of(const MeasSetup& m) {
    return {m.sampleRate, m.sRateIndex,   m.mlsOrder, m.autoscaleOffset, m.levelScale,
            m.displayRange, m.zMin,       m.zMax,     m.seriesR};
  }

  bool rateSound() const {
    if (sRateIndex < 0 || sRateIndex >= kSampleRateCount) return false;
    if (sRateIndex == 0) return within(sampleRate, kCustomRateRange);
    return sampleRate == sampleRateTable[sRateIndex];
  }
  bool orderSound() const { return mlsOrder >= mlsOrderTable.front() && mlsOrder <= mlsOrderTable.back(); }
  // Each value must be one its control can hold (zMin and zMax one of their
  // list values): a file carrying anything else was not written intact.
  bool offsetSound() const { return within(autoscaleOffset, kAutoscaleOffsetRange); }
  bool scaleSound() const { return within(levelScale, kLevelScaleRange); }
  bool rangeSound() const { return within(displayRange, kDisplayRangeRange); }
  bool zMinSound() const { return zMinIndex(zMin) >= 0; }
  bool zMaxSound() const { return zMaxIndex(zMax) >= 0; }
  bool seriesRSound() const { return within(seriesR, kSeriesRRange); }
  bool sound() const {
    return rateSound() && orderSound() && offsetSound() && scaleSound() && rangeSound() &&
           zMinSound() && zMaxSound() && seriesRSound();
  }

  // The same settings with every field the reader would refuse replaced by
  // its default (the rate and its index as a pair).
  StoredSettings writable() const {
    static const StoredSettings defaults = of(MeasSetup());
    StoredSettings w = *this;
    if (!rateSound()) {
      w.sampleRate = defaults.sampleRate;
      w.sRateIndex = defaults.sRateIndex;
    }
    if (!orderSound()) w.mlsOrder = defaults.mlsOrder;
    if (!offsetSound()) w.autoscaleOffset = defaults.autoscaleOffset;
    if (!scaleSound()) w.levelScale = defaults.levelScale;
    if (!rangeSound()) w.displayRange = defaults.displayRange;
    if (!zMinSound()) w.zMin = defaults.zMin;
    if (!zMaxSound()) w.zMax = defaults.zMax;
    if (!seriesRSound()) w.seriesR = defaults.seriesR;
    return w;
  }

  void applyTo(MeasSetup& m) const {
    m.sampleRate = sampleRate;
    m.sRateIndex = sRateIndex;
    m.mlsOrder = mlsOrder;
    m.autoscaleOffset = autoscaleOffset;
    m.levelScale = levelScale;
    m.displayRange = displayRange;
    m.zMin = zMin;
    m.zMax = zMax;
    m.seriesR = seriesR;
  }
};

// One configuration file as decoded, before anything of it is taken.
struct ConfigRecord {
  bool micBlockComplete = false;  // micCal, both flags and the file name present
  bool micCalFinite = true;
  bool flagsSound = true;  // both flag bytes 0 or 1
  bool nameTerminated = false;
  ComplexCurve micCal{};
  bool micCalValid = false;
  bool micDataOff = true;
  char fileName[kMicFileNameCapacity]{};

  bool settingsSound = true;  // present (when the version has them) and in range
  StoredSettings settings;

  bool markerRight = false;

  // A non-finite microphone curve costs only the curve: it is not part of
  // this test, the reader drops it on its own.
  bool sound() const {
    return micBlockComplete && flagsSound && nameTerminated && settingsSound && markerRight;
  }
};

// Decodes the part after the version. Stops at the first field that is not
// there; what was complete up to that point stays usable.
void decodeConfig(ByteReader& in, int16_t version, ConfigRecord& r) {
  if (in.remaining() < kConfigSettingsOffset - kConfigMicOffset) return;
  for (Complex& p : r.micCal) in.complex(p);
  r.micCalFinite = allFinite(r.micCal);
  uint8_t valid = 0;
  uint8_t off = 0;
  in.u8(valid);
  in.u8(off);
  r.flagsSound = valid <= 1 && off <= 1;
  r.micCalValid = valid == 1;
  r.micDataOff = off == 1;
  std::memcpy(r.fileName, in.bytes(kMicFileNameCapacity), kMicFileNameCapacity);
  r.nameTerminated = std::memchr(r.fileName, '\0', kMicFileNameCapacity) != nullptr;
  r.micBlockComplete = true;

  if (version >= kFirstVersionWithSettings) {
    StoredSettings& v = r.settings;
    r.settingsSound = in.i32(v.sampleRate) && in.i32(v.sRateIndex) && in.i32(v.mlsOrder) &&
                      in.f64(v.autoscaleOffset) && in.f64(v.levelScale) &&
                      in.f64(v.displayRange) && in.f64(v.zMin) && in.f64(v.zMax) &&
                      in.f64(v.seriesR) && v.sound();
    if (!r.settingsSound) return;
  }
  int16_t marker = 0;
  r.markerRight = in.i16(marker) && marker == kConfigEndMarker;
}

}  // namespace

bool readConfigFile(const ConfigFields& s, const std::string& dataDir) {
  std::array<uint8_t, kConfigFileSize> bytes{};
  const long got = readFileBytes(dataFilePath(dataDir, kConfigFileName), bytes.data(), bytes.size());
  if (got < 0) return false;
  ByteReader in(bytes.data(), static_cast<size_t>(got));
  int16_t version = 0;
  if (!in.i16(version) || version <= kLastIgnoredVersion) return false;

  ConfigRecord r;
  decodeConfig(in, version, r);

  // Even a reset file hands back the microphone curve and the file name as
  // read, as long as they came through whole.
  if (r.micBlockComplete && r.micCalFinite) s.micCal = r.micCal;
  if (r.micBlockComplete && r.nameTerminated) std::memcpy(s.micFileName, r.fileName, sizeof s.micFileName);

  if (!r.sound()) {
    s.micCalValid = false;
    s.setup.setDefaults();
    return false;
  }
  // A curve that is not finite throughout is no calibration to apply.
  s.micCalValid = r.micCalValid && r.micCalFinite;
  s.setup.micDataOff = r.micDataOff;
  if (version >= kFirstVersionWithSettings) r.settings.applyTo(s.setup);
  return r.micCalFinite;
}

bool writeConfigFile(const ConfigView& s, const std::string& dataDir) {
  std::array<uint8_t, kConfigFileSize> bytes{};
  ByteWriter out(bytes.data(), bytes.size());
  out.i16(kConfigFileVersion);
  // The reader refuses a curve that is not finite throughout: such a curve
  // is dropped here (written as zeros, not loaded) rather than stored.
  const bool micCalWritable = allFinite(s.micCal);
  for (const Complex& p : s.micCal) out.complex(micCalWritable ? p : Complex());
  out.boolean(s.micCalValid && micCalWritable);
  out.boolean(s.setup.micDataOff);
  // The name up to its NUL, the rest of the field zero; the last byte is
  // always a NUL, so a name without one is cut to 259 characters.
  const size_t nameLength = strnlen(s.micFileName, kMicFileNameCapacity - 1);
  for (size_t i = 0; i < static_cast<size_t>(kMicFileNameCapacity); ++i)
    out.u8(i < nameLength ? static_cast<uint8_t>(s.micFileName[i]) : 0);
  const StoredSettings m = StoredSettings::of(s.setup).writable();
  out.i32(m.sampleRate);
  out.i32(m.sRateIndex);
  out.i32(m.mlsOrder);
  out.f64(m.autoscaleOffset);
  out.f64(m.levelScale);
  out.f64(m.displayRange);
  out.f64(m.zMin);
  out.f64(m.zMax);
  out.f64(m.seriesR);
  out.i16(kConfigEndMarker);
  if (!out.ok() || out.position() != bytes.size()) return false;
  return writeFileAtomically(dataFilePath(dataDir, kConfigFileName), bytes.data(), bytes.size());
}
