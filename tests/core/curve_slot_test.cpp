// A curve file in a memory slot: loaded, recalled, drawn only where it holds
// points, merged and added like a measured curve, exported again.

#include "app/slot_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "analysis/curve_prep.h"
#include "app/curve_ops.h"
#include "store/curve_export.h"
#include "app/app_state.h"
#include "app/export_ops.h"
#include "canvas_records.h"
#include "display/curve_drawing.h"
#include "display/graph_layout.h"
#include "display/recording_canvas.h"
#include "file_test_support.h"

namespace {

double levelDb(const Complex& c) { return 20.0 * std::log10(std::hypot(c.re, c.im)); }

// 100 Hz 0 dB to 1 kHz 20 dB: grid points 325..574 held (see the reader's
// tests), level 20 log10(g / 100) there.
const char* kCurve = "* a curve\n100\t0\t0\n1000\t20\t0\n";

}  // namespace

// Loading fills the slot as a stored curve with the file's name; a refused
// file or a slot no button has changes nothing.
TEST(CurveSlot, LoadFillsTheSlot) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  writeText(dir.file("woofer.zma"), "10 6 0\n100 60 0\n");
  s->setup.autoscaleOffset = 4.5;
  const CurveFileRead read = loadSlotFromFile(*s, 3, dir.file("woofer.zma"));
  ASSERT_EQ(read.result, CurveFileResult::loaded);
  const MeasSetup& slot = s->slots[2];
  EXPECT_TRUE(slot.hasResponse);
  EXPECT_TRUE(slot.fromFile);
  EXPECT_EQ(slot.impedanceMode, 1);  // .zma, whatever the live mode
  EXPECT_EQ(slot.responseRate, 0);
  EXPECT_EQ(slot.autoscaleOffset, 4.5);
  EXPECT_STREQ(slot.title, "woofer.zma");
  EXPECT_EQ(curveLoadedText(read), "Read 2 points from 10 Hz to 100 Hz.");

  writeText(dir.file("bad.frd"), "100 1 0\n50 2 0\n");
  const MeasSetup before = s->slots[4];
  EXPECT_EQ(loadSlotFromFile(*s, 5, dir.file("bad.frd")).result, CurveFileResult::notAscending);
  EXPECT_FALSE(s->slots[4].hasResponse);
  EXPECT_EQ(s->slots[4].held, before.held);
  EXPECT_EQ(loadSlotFromFile(*s, 9, dir.file("woofer.zma")).result, CurveFileResult::cannotOpen);
  EXPECT_EQ(loadSlotFromFile(*s, 0, dir.file("woofer.zma")).result, CurveFileResult::cannotOpen);
}

// Recalled, the curve is shown as the file has it: the microphone
// calibration in force is not applied to it (it is to a measured curve), and
// it can be exported: only the points it holds are written.
TEST(CurveSlot, RecalledCurveShowsTheFileWithoutTheMicrophone) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  writeText(dir.file("c.txt"), kCurve);
  ASSERT_EQ(loadSlotFromFile(*s, 1, dir.file("c.txt")).result, CurveFileResult::loaded);
  EXPECT_EQ(s->slots[0].impedanceMode, 0);  // a .txt in SPL mode
  s->micCal.fill({2.0, 0.0});               // +6.02 dB
  s->micCalValid = true;
  s->setup.micDataOff = false;
  s->responseValid = false;
  GainEntrySetup gains;
  ASSERT_TRUE(recallSlot(*s, 1, gains));
  EXPECT_TRUE(s->responseValid);
  EXPECT_TRUE(s->setup.fromFile);
  prepareSplCurves(*s, false);
  for (int i = 325; i <= 574; ++i)
    ASSERT_NEAR(s->curves.splMag[0][i], 20.0 * std::log10(s->setup.freqGrid[i] / 100.0), 1e-9) << i;

  // A measured curve of the same values is divided by the microphone.
  s->setup.fromFile = false;
  prepareSplCurves(*s, false);
  EXPECT_NEAR(s->curves.splMag[0][400], 20.0 * std::log10(s->setup.freqGrid[400] / 100.0) - 20.0 * std::log10(2.0), 1e-9);
  s->setup.fromFile = true;

  // The export holds the 250 points from 100 Hz to 1 kHz, none outside.
  prepareSplCurves(*s, false);
  const ExportHeader h = exportHeaderFor(*s, false, "");
  EXPECT_EQ(h.micFile, "");
  const std::string text = exportFrd(s->setup, s->curves, h);
  int lines = 0;
  for (size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', p + 1)) ++lines;
  EXPECT_EQ(lines, 250 + 10);  // ten comment lines: no date given, the title "c.txt"
}

// The graph draws a curve only where it holds points: a gap breaks it into
// two polylines, absent ends are left out.
TEST(CurveSlot, AbsentPointsAreNotDrawn) {
  auto setup = std::make_unique<MeasSetup>();
  auto curves = std::make_unique<DisplayCurves>();
  auto impulse = std::make_unique<ImpulseResponse>();
  setup->freqLow = 5;
  setup->freqHigh = 50000;
  setup->phaseHidden = true;
  curves->dBTop = 100;
  curves->splMag[0].fill(80);
  setup->held.reset();
  for (int i = 325; i <= 574; ++i) setup->held.set(i);
  for (int i = 400; i < 410; ++i) setup->held.reset(i);
  RecordingCanvas plot(kPlotWidth, kPlotHeight);
  const GraphInputs in{*setup, *curves, *impulse, true, false, {}};
  drawSplCurves(in, plot);
  const std::vector<Polyline> lines = polylinesOf(plot);
  ASSERT_EQ(lines.size(), 2u);
  // A polyline of n points: a move, a line to itself, n - 1 lines more.
  EXPECT_EQ(lines[0].points.size(), 75u + 1);   // 325..399
  EXPECT_EQ(lines[1].points.size(), 165u + 1);  // 410..574
  const double span = std::log(10000.0);
  EXPECT_EQ(lines[0].points[0].x, static_cast<int>(kPlotWidth * std::log(setup->freqGrid[325] / 5.0) / span));
  EXPECT_EQ(lines[1].points.back().x, static_cast<int>(kPlotWidth * std::log(setup->freqGrid[574] / 5.0) / span));
}

// Merged with a measured curve: below the transition the measurement, above
// it the file's points as far as they go; added: only where both hold. With
// a microphone in use the measured part takes it into the result, which is
// then a curve with its corrections in it.
TEST(CurveSlot, MergeAndAddKeepTrackOfThePointsHeld) {
  TempDir dir;
  auto s = std::make_unique<AppState>();
  writeText(dir.file("c.frd"), kCurve);
  ASSERT_EQ(loadSlotFromFile(*s, 2, dir.file("c.frd")).result, CurveFileResult::loaded);
  s->setup.response.fill({1.0, 0.0});
  s->setup.responseRate = 48000;  // measured: points below 24 kHz (0..919)
  s->micCal.fill({0.5, 0.0});     // -6.02 dB
  s->micCalValid = true;
  s->setup.micDataOff = false;
  MergeSetup& g = s->mergeSetup;
  g.mergeShown = true;
  g.storedSlot = 1;
  g.transitionFreq = s->setup.freqGrid[450];
  g.computeMergeWeights(s->setup.freqGrid);

  prepareSplCurves(*s, true);
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(s->setup.held.test(i), i <= 574) << i;
  EXPECT_TRUE(s->setup.fromFile);
  // Below: the measurement divided by the microphone (+6.02 dB); above: the file.
  EXPECT_NEAR(levelDb(s->setup.response[300]), 20.0 * std::log10(2.0), 1e-9);
  EXPECT_NEAR(levelDb(s->setup.response[500]), 20.0 * std::log10(s->setup.freqGrid[500] / 100.0), 1e-9);

  s->setup.fromFile = false;
  s->setup.held.set();
  s->setup.response.fill({1.0, 0.0});
  g.addMode = true;
  g.computeMergeWeights(s->setup.freqGrid);
  prepareSplCurves(*s, true);
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(s->setup.held.test(i), i >= 325 && i <= 574) << i;
  // 2 (measured / microphone) + the file's value.
  EXPECT_NEAR(s->setup.response[400].re, 2.0 + std::pow(10.0, std::log10(s->setup.freqGrid[400] / 100.0)), 1e-9);
}
