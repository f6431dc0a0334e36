#include "store/text_export.h"

#include <cstdio>

#include "platform/dialogs.h"
#include "setup/meas_setup.h"
#include "setup/file_io.h"
#include "store/curve_export.h"

namespace {

// Appends one formatted line. A line of three doubles printed in full stays
// well below the buffer (a double has at most 309 digits before the point).
template <typename... Args>
void appendLine(std::string& out, const char* format, Args... args) {
  char line[1024];
  const int n = std::snprintf(line, sizeof line, format, args...);
  if (n > 0) out.append(line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
}

}  // namespace

bool exportsGridPoint(const MeasSetup& setup, int j) {
  const double f = setup.freqGrid[j];
  // From half the rate up the curve only repeats its last measured point;
  // writing those lines would hand a reader values nobody measured.
  if (setup.responseRate > 0 && f >= setup.responseRate / 2.0) return false;
  return setup.freqLow <= f && f <= setup.freqHigh && setup.held.test(static_cast<size_t>(j));
}

std::string exportText(const MeasSetup& setup, const DisplayCurves& curves) {
  const bool impedance = setup.impedanceMode != 0;
  const RealCurve& mag = impedance ? curves.zMag[0] : curves.splMag[0];
  const RealCurve& phase = impedance ? curves.zPhase[0] : curves.splPhase[0];

  std::string out;
  out.reserve(32 * (kGridPoints + 1));
  appendLine(out, "%7s \t%8s \t%8s\r\n", "Freq", "Mag", "Phase");
  for (int j = 0; j < kGridPoints; ++j) {
    if (exportsGridPoint(setup, j))
      appendLine(out, "%8.2f \t%8.1f \t%8.1f\r\n", setup.freqGrid[j], mag[j], phase[j]);
  }
  return out;
}

ExportResult exportResponse(const MeasSetup& setup, const DisplayCurves& curves, bool responseValid,
                            Dialogs& dialogs, const ExportHeader* header) {
  if (!responseValid) {
    dialogs.messageBox("You must perform a measurement first", "Data export", MsgIcon::warning,
                       MsgButtons::ok);
    return ExportResult::noMeasurement;
  }
  char path[kDialogPathCapacity]{};
  const FileDialogRequest request{"txt", kExportFileFilter, ""};
  if (!dialogs.saveFileDialog(request, path, sizeof path)) return ExportResult::cancelled;

  // Written beside the target and renamed over it only when complete, so a
  // full disk or a bad path never leaves a cut-off file behind.
  const std::string text = exportFileText(path, setup, curves, header != nullptr ? *header : ExportHeader{});
  if (!writeFileAtomically(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    dialogs.messageBox("Could not open file.\nCheck if path and filename is correct.",
                       "Data export", MsgIcon::warning, MsgButtons::ok);
    return ExportResult::failed;
  }
  return ExportResult::written;
}
