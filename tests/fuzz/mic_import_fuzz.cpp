// The microphone import on any text: a refused file changes nothing (the
// curve, its flag and its file name stay) and says why in the "Mic
// calibration data" box; a loaded one says how many points it read over
// which range (at least two, ascending), and its curve is finite, nowhere
// zero and within the import's level limit of +-200 dB.

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "../core/dialog_recorder.h"
#include "app/app_state.h"
#include "app/mic_import.h"
#include "fuzz_support.h"

namespace {

constexpr const char* kFileName = "mic.txt";

fuzz::ScratchDir& scratch() {
  static fuzz::ScratchDir dir;
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch().write(kFileName, data, size);
  const std::string path = scratch().path() + kFileName;

  static const auto state = std::make_unique<AppState>();
  AppState& s = *state;
  s.micCal.fill(Complex(3.0, 4.0));
  s.micCalValid = false;
  s.micImportAsk = true;
  std::memset(s.micFileName, 0, sizeof s.micFileName);
  std::strcpy(s.micFileName, "before.txt");
  DialogRecorder dialogs;
  dialogs.fileAnswers.push_back(path);

  const MicImport result = importMicCal(s, dialogs);
  FUZZ_CHECK(dialogs.boxes.size() == 1);
  FUZZ_CHECK(dialogs.boxes[0].caption == "Mic calibration data");

  if (result != MicImport::loaded) {
    FUZZ_CHECK(result == MicImport::failed);
    FUZZ_CHECK(!dialogs.boxes[0].text.empty());
    for (const Complex& c : s.micCal) FUZZ_CHECK(c.re == 3.0 && c.im == 4.0);
    FUZZ_CHECK(!s.micCalValid);
    FUZZ_CHECK(std::strcmp(s.micFileName, "before.txt") == 0);
    return 0;
  }

  FUZZ_CHECK(dialogs.boxes[0].text.rfind("Read ", 0) == 0);
  FUZZ_CHECK(s.micCalValid);
  FUZZ_CHECK(path == s.micFileName);
  FUZZ_CHECK(s.micInfo.points >= 2);
  FUZZ_CHECK(std::isfinite(s.micInfo.firstHz) && std::isfinite(s.micInfo.lastHz));
  FUZZ_CHECK(0.0 < s.micInfo.firstHz && s.micInfo.firstHz < s.micInfo.lastHz);
  FUZZ_CHECK(s.micInfo.descendingLine == 0);
  const double lo = std::pow(10.0, -200.0 / 20.0) * (1 - 1e-9);
  const double hi = std::pow(10.0, 200.0 / 20.0) * (1 + 1e-9);
  for (const Complex& c : s.micCal) {
    FUZZ_CHECK(std::isfinite(c.re) && std::isfinite(c.im));
    const double mag = std::hypot(c.re, c.im);
    FUZZ_CHECK(mag >= lo && mag <= hi);
  }
  return 0;
}
