#include "store/curve_export.h"

#include <cmath>
#include <cstdio>

#include "setup/control_lists.h"
#include "store/text_export.h"

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWith(const std::string& path, const char* ext) {
  const std::string e(ext);
  if (path.size() < e.size()) return false;
  for (size_t i = 0; i < e.size(); ++i)
    if (lower(path[path.size() - e.size() + i]) != e[i]) return false;
  return true;
}

// The values of curve 0 the export writes at grid point j.
struct ExportCurve {
  const RealCurve& mag;
  const RealCurve& phase;
};

ExportCurve exportCurve(const MeasSetup& setup, const DisplayCurves& curves) {
  if (setup.impedanceMode != 0) return {curves.zMag[0], curves.zPhase[0]};
  return {curves.splMag[0], curves.splPhase[0]};
}

// Calls line(j) for each grid point the export writes.
template <class Line>
void forEachExportedPoint(const MeasSetup& setup, const ExportCurve& c, Line line) {
  for (int j = 0; j < kGridPoints; ++j) {
    if (!exportsGridPoint(setup, j)) continue;
    if (!std::isfinite(c.mag[j]) || !std::isfinite(c.phase[j])) continue;
    line(j);
  }
}

std::string smoothingText(const MeasSetup& setup, bool unsmoothed) {
  if (unsmoothed) return "none (unsmoothed export)";
  if (setup.impedanceMode != 0) return setup.impedanceSmooth ? "1/24th octave" : "none";
  return setup.smoothIndex < smoothingNames.size() ? smoothingNames[setup.smoothIndex] : "none";
}

}  // namespace

ExportFormat exportFormatForPath(const std::string& path) {
  if (endsWith(path, ".frd") || endsWith(path, ".zma")) return ExportFormat::frd;
  if (endsWith(path, ".csv")) return ExportFormat::csv;
  return ExportFormat::text;
}

std::string curveNumber(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string s(text);
  if (s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
  return s;
}

std::string exportFrd(const MeasSetup& setup, const DisplayCurves& curves, const ExportHeader& header) {
  const bool impedance = setup.impedanceMode != 0;
  std::string out;
  out.reserve(40 * (kGridPoints + 12));
  // A comment is one line, whatever a title or a file name holds.
  auto comment = [&out](std::string text) {
    for (char& ch : text)
      if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t') ch = ' ';
    out += "* " + text + "\n";
  };

  comment(std::string("Sonrake ") + kProgramVersion + (impedance ? " impedance" : " frequency response"));
  if (!header.date.empty()) comment("Date: " + header.date);
  if (setup.title[0] != '\0') comment(std::string("Title: ") + setup.title);
  comment(std::string("Mode: ") + (impedance ? "impedance" : "SPL") + (setup.fromFile ? ", read from a curve file" : ""));
  comment("Sample rate: " + (setup.responseRate > 0 ? std::to_string(setup.responseRate) + " Hz" : std::string("none")));
  // A curve read from a file was measured with settings nobody told us.
  if (setup.fromFile) {
    comment("MLS length: none");
    comment("Window: none");
  } else {
    comment("MLS length: " + std::to_string(setup.mlsSize) + " (order " + std::to_string(setup.mlsOrder) + ")");
    comment("Window: " + std::to_string(setup.winLength) + " samples from " + std::to_string(setup.winStart) +
            (setup.windowShape == kWindowFlatHann ? ", flat then half-Hann" : ", quarter cosine"));
  }
  comment("Smoothing: " + smoothingText(setup, header.unsmoothed));
  comment(std::string("Sound card calibration: ") + (header.soundcardCalibrated ? "applied" : "none"));
  comment("Microphone file: " + (header.micFile.empty() ? std::string("none") : header.micFile));
  comment(impedance ? "Freq(Hz)\tZ(ohm)\tPhase(deg)" : "Freq(Hz)\tSPL(dB)\tPhase(deg)");

  const ExportCurve c = exportCurve(setup, curves);
  forEachExportedPoint(setup, c, [&](int j) {
    out += curveNumber(setup.freqGrid[j]) + "\t" + curveNumber(c.mag[j]) + "\t" + curveNumber(c.phase[j]) + "\n";
  });
  return out;
}

std::string exportCsv(const MeasSetup& setup, const DisplayCurves& curves) {
  const bool impedance = setup.impedanceMode != 0;
  std::string out = impedance ? "Frequency (Hz),Impedance (ohm),Phase (deg)\n"
                              : "Frequency (Hz),Level (dB),Phase (deg)\n";
  const ExportCurve c = exportCurve(setup, curves);
  forEachExportedPoint(setup, c, [&](int j) {
    out += curveNumber(setup.freqGrid[j]) + "," + curveNumber(c.mag[j]) + "," + curveNumber(c.phase[j]) + "\n";
  });
  return out;
}

std::string exportFileText(const std::string& path, const MeasSetup& setup, const DisplayCurves& curves,
                           const ExportHeader& header) {
  switch (exportFormatForPath(path)) {
    case ExportFormat::frd: return exportFrd(setup, curves, header);
    case ExportFormat::csv: return exportCsv(setup, curves);
    case ExportFormat::text: break;
  }
  return exportText(setup, curves);
}
