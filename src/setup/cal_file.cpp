#include "setup/cal_file.h"

#include <vector>

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

// The version, table and flags, checked before anything is taken, so a
// damaged file leaves the tables as they were.
bool calTableSound(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  int16_t version = 0;
  if (!in.i16(version) || version < kFirstVersionWithTable) return false;
  Complex c;
  for (size_t i = 0; i < kCalFlagCount * 2 * kGridPoints; ++i)
    if (!in.complex(c) || !isFinite(c)) return false;
  bool flag;
  for (size_t i = 0; i < kCalFlagCount; ++i)
    if (!in.boolean(flag)) return false;
  return true;
}

// The microphone curve of a file whose table is sound: there (version 93 on,
// long enough) and finite throughout.
bool calMicSound(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  int16_t version = 0;
  if (!in.i16(version) || version < kFirstVersionWithMicCal || size < kCalFileSize) return false;
  in.bytes(kCalMicOffset - kCalTableOffset);
  Complex c;
  for (int i = 0; i < kGridPoints; ++i)
    if (!in.complex(c) || !isFinite(c)) return false;
  return true;
}

long readCalBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.resize(kCalFileSize);
  return readFileBytes(path, bytes.data(), bytes.size());
}

// One file: missing, refused (its table unusable) or loaded.
CalFileRead readCalFrom(SoundcardCal& cal, ComplexCurve& micCal, const std::string& path) {
  std::vector<uint8_t> bytes;
  const long got = readCalBytes(path, bytes);
  if (got < 0) return CalFileRead::missing;
  const size_t size = static_cast<size_t>(got);
  if (!calTableSound(bytes.data(), size)) return CalFileRead::refused;

  ByteReader in(bytes.data(), size);
  in.bytes(kCalTableOffset);
  for (auto& mode : cal.table)
    for (auto& rate : mode)
      for (auto& order : rate)
        for (auto& channel : order)
          for (Complex& p : channel) in.complex(p);
  for (auto& mode : cal.calibratedFlags)
    for (auto& rate : mode)
      for (bool& flag : rate) in.boolean(flag);
  if (calMicSound(bytes.data(), size))
    for (Complex& p : micCal) in.complex(p);
  return CalFileRead::loaded;
}

}  // namespace

CalFileRead readCalFile(SoundcardCal& cal, ComplexCurve& micCal, const std::string& dataDir) {
  const CalFileRead read = readCalFrom(cal, micCal, dataFilePath(dataDir, kCalFileName));
  if (read != CalFileRead::refused) return read;
  return readCalFrom(cal, micCal, dataFilePath(dataDir, kCalBackupFileName)) == CalFileRead::loaded
             ? CalFileRead::restoredFromBackup
             : CalFileRead::refused;
}

bool writeCalFile(const SoundcardCal& cal, const ComplexCurve& micCal, const std::string& dataDir) {
  std::vector<uint8_t> bytes(kCalFileSize);
  ByteWriter out(bytes.data(), bytes.size());
  out.i16(kCalFileVersion);
  // A length whose table is not finite throughout would make the reader
  // refuse the whole file; it is written as uncalibrated instead.
  bool writable[SoundcardCal::kModes][SoundcardCal::kRates][SoundcardCal::kOrders];
  for (int m = 0; m < SoundcardCal::kModes; ++m)
    for (int r = 0; r < SoundcardCal::kRates; ++r)
      for (int o = 0; o < SoundcardCal::kOrders; ++o) {
        writable[m][r][o] = allFinite(cal.table[m][r][o][0]) && allFinite(cal.table[m][r][o][1]);
        for (const ComplexCurve& channel : cal.table[m][r][o])
          for (const Complex& p : channel) out.complex(writable[m][r][o] ? p : Complex(1.0, 0.0));
      }
  for (int m = 0; m < SoundcardCal::kModes; ++m)
    for (int r = 0; r < SoundcardCal::kRates; ++r)
      for (int o = 0; o < SoundcardCal::kOrders; ++o)
        out.boolean(cal.calibratedFlags[m][r][o] && writable[m][r][o]);
  const bool micCalWritable = allFinite(micCal);
  for (const Complex& p : micCal) out.complex(micCalWritable ? p : Complex());
  if (!out.ok() || out.position() != bytes.size()) return false;

  // One generation back: the file about to be replaced, when its table can
  // still be read. A damaged file never overwrites a good backup.
  const std::string path = dataFilePath(dataDir, kCalFileName);
  std::vector<uint8_t> old;
  const long got = readCalBytes(path, old);
  if (got > 0 && calTableSound(old.data(), static_cast<size_t>(got)))
    writeFileAtomically(dataFilePath(dataDir, kCalBackupFileName), old.data(), static_cast<size_t>(got));
  return writeFileAtomically(path, bytes.data(), bytes.size());
}
