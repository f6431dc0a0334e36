#include "setup/cal_file.h"

#include <cmath>
#include <vector>

#include "setup/app_state.h"
#include "setup/byte_codec.h"
#include "setup/data_dir.h"
#include "setup/file_io.h"

namespace {

constexpr int16_t kFirstVersionWithTable = 91;
constexpr int16_t kFirstVersionWithMicCal = 93;
constexpr size_t kCalFlagCount = SoundcardCal::kModes * SoundcardCal::kRates * SoundcardCal::kOrders;
static_assert(kCalFlagsOffset == kCalTableOffset + kCalFlagCount * 2 * kGridPoints * 16);
static_assert(kCalMicOffset == kCalFlagsOffset + kCalFlagCount);
static_assert(kCalFileSize == kCalMicOffset + kGridPoints * 16);

// Walks the table in file order: mode, rate index, MLS index, channel, point.
template <typename Cal, typename Fn>
void forEachCalPoint(Cal& cal, Fn fn) {
  for (auto& mode : cal.table)
    for (auto& rate : mode)
      for (auto& order : rate)
        for (auto& channel : order)
          for (auto& point : channel) fn(point);
}

template <typename Cal, typename Fn>
void forEachCalFlag(Cal& cal, Fn fn) {
  for (auto& mode : cal.calibratedFlags)
    for (auto& rate : mode)
      for (auto& flag : rate) fn(flag);
}

bool finite(const Complex& c) { return std::isfinite(c.re) && std::isfinite(c.im); }

// Checks everything the version promises before anything is taken, so a
// damaged file leaves the tables as they were.
bool calBytesSound(const uint8_t* data, size_t size, bool withMicCal) {
  ByteReader in(data, size);
  int16_t version;
  if (!in.i16(version)) return false;
  Complex c;
  for (size_t i = 0; i < kCalFlagCount * 2 * kGridPoints; ++i)
    if (!in.complex(c) || !finite(c)) return false;
  bool flag;
  for (size_t i = 0; i < kCalFlagCount; ++i)
    if (!in.boolean(flag)) return false;
  if (withMicCal)
    for (int i = 0; i < kGridPoints; ++i)
      if (!in.complex(c) || !finite(c)) return false;
  return true;
}

}  // namespace

bool readCalFile(AppState& s, const std::string& dataDir) {
  std::vector<uint8_t> bytes(kCalFileSize);
  const long got = readFileBytes(dataFilePath(dataDir, kCalFileName), bytes.data(), bytes.size());
  if (got < 0) return false;
  const size_t size = static_cast<size_t>(got);

  ByteReader in(bytes.data(), size);
  int16_t version;
  if (!in.i16(version) || version < kFirstVersionWithTable) return false;
  const bool withMicCal = version >= kFirstVersionWithMicCal;
  if (!calBytesSound(bytes.data(), size, withMicCal)) return false;

  forEachCalPoint(s.soundcardCal, [&](Complex& p) { in.complex(p); });
  forEachCalFlag(s.soundcardCal, [&](bool& f) { in.boolean(f); });
  if (withMicCal)
    for (Complex& p : s.micCal) in.complex(p);
  return true;
}

bool writeCalFile(const AppState& s, const std::string& dataDir) {
  std::vector<uint8_t> bytes(kCalFileSize);
  ByteWriter out(bytes.data(), bytes.size());
  out.i16(kCalFileVersion);
  forEachCalPoint(s.soundcardCal, [&](const Complex& p) { out.complex(p); });
  forEachCalFlag(s.soundcardCal, [&](bool f) { out.boolean(f); });
  for (const Complex& p : s.micCal) out.complex(p);
  if (!out.ok() || out.position() != bytes.size()) return false;
  return writeFileAtomically(dataFilePath(dataDir, kCalFileName), bytes.data(), bytes.size());
}
