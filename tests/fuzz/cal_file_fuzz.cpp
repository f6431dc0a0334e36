// The calibration reader on damaged files: the table is taken whole or not
// at all, exactly when the bytes make it sound (decided here by scanning
// them, independently of the reader); the microphone curve on its own; the
// backup steps in only for an unusable file; and a table that was read is
// written back in a form that reads the same.
//
// The file is far larger than a fuzz input, so the input describes it: a
// control byte (bit 0: a good backup lies beside it; bits 1-2: the length,
// see fileLength), the version, and then patches of up to 16 bytes at any
// offset laid over a sound table of known values. After a read the table is
// compared at every point a patch touched and at a spread of the others.

#include <cmath>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "setup/cal_file.h"

namespace {

constexpr size_t kFlagCount = SoundcardCal::kModes * SoundcardCal::kRates * SoundcardCal::kOrders;
constexpr size_t kTablePoints = kFlagCount * 2 * kGridPoints;

fuzz::ScratchDir& scratch() {
  static fuzz::ScratchDir dir;
  return dir;
}

void putF64(std::vector<uint8_t>& b, size_t at, double v) {
  const uint64_t u = std::bit_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

// A sound version-93 file: point k of the table (k + 1, -k), flag i set for
// odd i, the microphone curve (0.5, k).
const std::vector<uint8_t>& soundFile() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(kCalFileSize, 0);
    b[0] = 93;
    for (size_t k = 0; k < kTablePoints; ++k) {
      putF64(b, kCalTableOffset + 16 * k, static_cast<double>(k + 1));
      putF64(b, kCalTableOffset + 16 * k + 8, -static_cast<double>(k));
    }
    for (size_t i = 0; i < kFlagCount; ++i) b[kCalFlagsOffset + i] = i % 2;
    for (size_t k = 0; k < kGridPoints; ++k) {
      putF64(b, kCalMicOffset + 16 * k, 0.5);
      putF64(b, kCalMicOffset + 16 * k + 8, static_cast<double>(k));
    }
    return b;
  }();
  return bytes;
}

// The backup: every table point (2, 0), every flag set, no microphone curve
// (version 92).
const std::vector<uint8_t>& backupFile() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(kCalMicOffset, 0);
    b[0] = 92;
    for (size_t k = 0; k < kTablePoints; ++k) putF64(b, kCalTableOffset + 16 * k, 2.0);
    for (size_t i = 0; i < kFlagCount; ++i) b[kCalFlagsOffset + i] = 1;
    return b;
  }();
  return bytes;
}

size_t fileLength(uint8_t control, fuzz::Input& in) {
  switch ((control >> 1) & 3) {
    case 0: return kCalFileSize;
    case 1: return kCalMicOffset;  // table and flags, as versions 91 and 92 have them
    case 2: return static_cast<size_t>(in.bits(3)) % (kCalFileSize + 1);
    default: return kCalFileSize + 1 + in.u8();  // bytes beyond the layout
  }
}

struct Tables {
  SoundcardCal cal;
  ComplexCurve micCal;
};

// Before the read: values that are in neither file.
void fillHeld(Tables& t) {
  for (auto& m : t.cal.table)
    for (auto& r : m)
      for (auto& o : r)
        for (auto& c : o) c.fill(Complex(-7.0, 7.0));
  for (auto& m : t.cal.calibratedFlags)
    for (auto& r : m)
      for (bool& f : r) f = true;
  t.micCal.fill(Complex(9.0, -9.0));
}

// The table point k in file order (mode, rate, length, channel, point).
const Complex& point(const SoundcardCal& c, size_t k) {
  const size_t g = kGridPoints;
  return c.table[k / (2 * g * SoundcardCal::kOrders * SoundcardCal::kRates)]
                [k / (2 * g * SoundcardCal::kOrders) % SoundcardCal::kRates]
                [k / (2 * g) % SoundcardCal::kOrders][k / g % 2][k % g];
}

// The table points looked at after a read: every point a patch touched and
// a spread of the others (comparing all 176000 on every run would leave the
// fuzzer few runs).
struct Probes {
  std::vector<size_t> touched;
  std::vector<size_t> all;
  std::vector<size_t> touchedMic;

  void patch(size_t at, size_t n) {
    for (size_t byte = at; byte < at + n; byte += 1) {
      if (byte >= kCalTableOffset && byte < kCalFlagsOffset) {
        const size_t k = (byte - kCalTableOffset) / 16;
        if (touched.empty() || touched.back() != k) touched.push_back(k);
      } else if (byte >= kCalMicOffset && byte < kCalFileSize) {
        const size_t k = (byte - kCalMicOffset) / 16;
        if (touchedMic.empty() || touchedMic.back() != k) touchedMic.push_back(k);
      }
    }
  }
  void finish() {
    all = touched;
    for (size_t k = 0; k < kTablePoints; k += 1009) all.push_back(k);
    all.push_back(kTablePoints - 1);
  }
};

bool sameFlags(const SoundcardCal& c, const std::vector<uint8_t>& b) {
  size_t i = 0;
  for (auto& m : c.calibratedFlags)
    for (auto& r : m)
      for (bool f : r)
        if (f != (b[kCalFlagsOffset + i++] == 1)) return false;
  return true;
}

// The table and flags equal those of file bytes b (sound and long enough).
bool tableIs(const Tables& t, const std::vector<uint8_t>& b, const Probes& probes) {
  for (size_t k : probes.all) {
    const size_t at = kCalTableOffset + 16 * k;
    const Complex& p = point(t.cal, k);
    if (!(p.re == fuzz::leF64(b.data(), b.size(), at) &&
          p.im == fuzz::leF64(b.data(), b.size(), at + 8)))
      return false;
  }
  return sameFlags(t.cal, b);
}

bool heldTable(const Tables& t, const Probes& probes) {
  for (size_t k : probes.all)
    if (!(point(t.cal, k).re == -7.0 && point(t.cal, k).im == 7.0)) return false;
  for (auto& m : t.cal.calibratedFlags)
    for (auto& r : m)
      for (bool f : r)
        if (!f) return false;
  return true;
}

bool micIs(const ComplexCurve& c, const std::vector<uint8_t>& b) {
  for (int k = 0; k < kGridPoints; ++k) {
    const size_t at = kCalMicOffset + 16 * static_cast<size_t>(k);
    if (!(c[k].re == fuzz::leF64(b.data(), b.size(), at) &&
          c[k].im == fuzz::leF64(b.data(), b.size(), at + 8)))
      return false;
  }
  return true;
}

// The points of a region, sound as laid out, are finite where no patch
// touched them; the touched ones are looked at.
bool finiteAt(const std::vector<uint8_t>& b, size_t first, const std::vector<size_t>& touched) {
  for (size_t k : touched)
    for (size_t half = 0; half < 2; ++half)
      if (!std::isfinite(fuzz::leF64(b.data(), b.size(), first + 16 * k + 8 * half))) return false;
  return true;
}

bool sameTables(const Tables& a, const Tables& b, const Probes& probes) {
  for (size_t k : probes.all) {
    const Complex& p = point(a.cal, k);
    const Complex& q = point(b.cal, k);
    if (!(p.re == q.re && p.im == q.im)) return false;
  }
  for (int m = 0; m < SoundcardCal::kModes; ++m)
    for (int r = 0; r < SoundcardCal::kRates; ++r)
      for (int o = 0; o < SoundcardCal::kOrders; ++o)
        if (a.cal.calibratedFlags[m][r][o] != b.cal.calibratedFlags[m][r][o]) return false;
  for (int k = 0; k < kGridPoints; ++k)
    if (!(a.micCal[k].re == b.micCal[k].re && a.micCal[k].im == b.micCal[k].im)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t control = in.u8();
  const bool withBackup = (control & 1) != 0;
  const int16_t version = static_cast<int16_t>(in.bits(2));
  const size_t length = fileLength(control, in);

  std::vector<uint8_t> file = soundFile();
  file.resize(length, 0);
  if (length >= 2) {
    file[0] = static_cast<uint8_t>(version);
    file[1] = static_cast<uint8_t>(static_cast<uint16_t>(version) >> 8);
  }
  Probes probes;
  while (length > 0 && in.restSize() >= 4) {
    const size_t at = static_cast<size_t>(in.bits(3)) % length;
    const size_t n = 1 + in.u8() % 16;
    for (size_t i = 0; i < n && at + i < length; ++i) file[at + i] = in.u8();
    probes.patch(at, n);
  }
  probes.finish();

  scratch().write(kCalFileName, file.data(), file.size());
  if (withBackup) {
    scratch().write(kCalBackupFileName, backupFile().data(), backupFile().size());
  } else {
    scratch().remove(kCalBackupFileName);
  }

  // What the bytes say, scanned here.
  const int16_t v = fuzz::leI16(file.data(), file.size(), 0);
  bool tableSound =
      file.size() >= kCalMicOffset && v >= 91 && finiteAt(file, kCalTableOffset, probes.touched);
  for (size_t i = 0; tableSound && i < kFlagCount; ++i) tableSound = file[kCalFlagsOffset + i] <= 1;
  const bool micSound = tableSound && v >= 93 && file.size() >= kCalFileSize &&
                        finiteAt(file, kCalMicOffset, probes.touchedMic);

  static const auto held = std::make_unique<Tables>();
  fillHeld(*held);
  const CalFileRead read = readCalFile(held->cal, held->micCal, scratch().path());

  if (tableSound) {
    FUZZ_CHECK(read == CalFileRead::loaded);
    FUZZ_CHECK(tableIs(*held, file, probes));
    if (micSound) {
      FUZZ_CHECK(micIs(held->micCal, file));
    } else {
      for (const Complex& c : held->micCal) FUZZ_CHECK(c.re == 9.0 && c.im == -9.0);
    }
  } else if (withBackup) {
    FUZZ_CHECK(read == CalFileRead::restoredFromBackup);
    FUZZ_CHECK(tableIs(*held, backupFile(), probes));
    for (const Complex& c : held->micCal) FUZZ_CHECK(c.re == 9.0 && c.im == -9.0);
  } else {
    FUZZ_CHECK(read == CalFileRead::refused);
    FUZZ_CHECK(heldTable(*held, probes));
    for (const Complex& c : held->micCal) FUZZ_CHECK(c.re == 9.0 && c.im == -9.0);
  }

  // A table that was taken goes back out and reads the same.
  if (read != CalFileRead::refused) {
    scratch().remember(kCalBackupFileName);
    FUZZ_CHECK(writeCalFile(held->cal, held->micCal, scratch().path()));
    static const auto again = std::make_unique<Tables>();
    fillHeld(*again);
    FUZZ_CHECK(readCalFile(again->cal, again->micCal, scratch().path()) == CalFileRead::loaded);
    FUZZ_CHECK(sameTables(*again, *held, probes));
  }
  return 0;
}
