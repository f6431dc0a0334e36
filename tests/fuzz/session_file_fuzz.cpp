// A session document of any bytes (sessionFromJson). A refused one says why;
// an accepted one keeps every field within its documented range, and
// writing it again gives a document that reads back to the same text (the
// hexadecimal numbers make every value come back bit for bit).

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "store/session_file.h"

namespace {

bool finite(const Complex& c) { return std::isfinite(c.re) && std::isfinite(c.im); }

void checkRecord(const MeasSetup& r) {
  FUZZ_CHECK(12 <= r.mlsOrder && r.mlsOrder <= 15);
  FUZZ_CHECK(0 <= r.sRateIndex && r.sRateIndex <= 10);
  FUZZ_CHECK(1000 <= r.sampleRate && r.sampleRate <= 200000);
  FUZZ_CHECK(5.0 <= r.freqLow && r.freqLow <= 500.0);
  FUZZ_CHECK(2000.0 <= r.freqHigh && r.freqHigh <= 50000.0);
  FUZZ_CHECK(0 <= r.winStart && r.winStart <= 4096);
  FUZZ_CHECK(100 <= r.winLength && r.winLength <= 32767);
  FUZZ_CHECK(r.smoothIndex <= 6);
  FUZZ_CHECK(0.1 <= r.seriesR && r.seriesR <= 1000.0);
  FUZZ_CHECK(-100.0 <= r.autoscaleOffset && r.autoscaleOffset <= 100.0);
  FUZZ_CHECK(-200.0 <= r.levelScale && r.levelScale <= 200.0);
  FUZZ_CHECK(5.0 <= r.displayRange && r.displayRange <= 100.0);
  FUZZ_CHECK(0.0 <= r.zMin && r.zMin < r.zMax);
  FUZZ_CHECK(0 <= r.responseRate && r.responseRate <= 200000);
  FUZZ_CHECK(r.title[sizeof r.title - 1] == '\0');
  for (const Complex& c : r.response) FUZZ_CHECK(finite(c));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static SessionData session;
  std::string error;
  if (!sessionFromJson(text, session, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(error.empty());
  checkRecord(session.live);
  for (const MeasSetup& slot : session.slots) checkRecord(slot);
  const MergeSetup& m = session.merge;
  FUZZ_CHECK(std::isfinite(m.transitionFreq) && m.transitionFreq >= 0.0);
  FUZZ_CHECK(std::isfinite(m.baffleFreq) && m.baffleFreq >= 0.0);
  FUZZ_CHECK(-1 <= m.storedSlot && m.storedSlot <= 7);

  const std::string written = sessionToJson(session);
  static SessionData again;
  FUZZ_CHECK(sessionFromJson(written, again, error));
  FUZZ_CHECK(sessionToJson(again) == written);
  return 0;
}
