// Memory slots drawn over the live curve: the palette, the drawing (where,
// in which colour, in which order, where the line breaks), the legend, the
// preparation of each slot's curve from the program state, and the
// application's operation that chooses them.

#include "display/overlay_drawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "app/curve_ops.h"
#include "app/overlays.h"
#include "canvas_records.h"
#include "dialog_recorder.h"
#include "display/graph_layout.h"
#include "display/redraw.h"
#include "fake_wave_audio.h"
#include "platform/sim_audio.h"

namespace {

TEST(Overlay, PaletteHasEightColoursApartFromTheLiveCurves) {
  std::set<std::tuple<int, int, int>> seen;
  for (int n = 1; n <= kOverlayColours; ++n) {
    const Rgb c = overlayColour(n);
    for (Rgb live : {colourBlack, colourRed, colourBlue, colourGrey, colourSilver, colourWhite})
      EXPECT_FALSE(c == live) << n;
    seen.insert({c.r, c.g, c.b});
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kOverlayColours));
  EXPECT_EQ(overlayColour(9), overlayColour(1));
  EXPECT_EQ(overlayColour(0), overlayColour(8));
}

// A live SPL curve and two overlays of known constant levels on the
// 553 x 233 plot, 80 dB at the top and 40 dB range.
struct Scene {
  MeasSetup setup;
  std::unique_ptr<DisplayCurves> curves = std::make_unique<DisplayCurves>();
  std::unique_ptr<ImpulseResponse> impulse = std::make_unique<ImpulseResponse>();
  RealCurve level70{};
  RealCurve level50{};
  GridMask held50;
  OverlayCurve overlays[3];
  RecordingCanvas time{kTimeGraphWidth, kTimeGraphHeight};
  RecordingCanvas frame{kFrameWidth, kFrameHeight};
  RecordingCanvas plot{kPlotWidth, kPlotHeight};

  Scene() {
    setup.setDefaults();
    level70.fill(70.0);
    level50.fill(50.0);
    held50.set();
    curves->splMag[0].fill(60.0);
    curves->dBTop = 80.0;
    overlays[0] = {&level70, nullptr, kGridPoints, overlayColour(2), "2: Woofer"};
    overlays[1] = {};  // a slot not drawn
    overlays[2] = {&level50, &held50, 700, overlayColour(5), "Slot 5"};
  }
  GraphInputs inputs(bool merge = false, bool calibration = false) {
    return {setup, *curves, *impulse, true, calibration, {.mergeShown = merge}, overlays};
  }
  void redraw(bool merge = false, bool calibration = false) {
    RedrawHooks hooks;
    bool calibrationRun = false;
    redrawGraphs(inputs(merge, calibration), calibrationRun, {time, frame, plot}, hooks);
  }
  std::vector<Polyline> linesIn(Rgb colour) const {
    std::vector<Polyline> out;
    for (const Polyline& p : polylinesOf(plot))
      if (p.pen.colour == colour && p.points.size() > 1) out.push_back(p);
    return out;
  }
};

// y = 233 - (level - 40) * 233 / 40: 70 dB at 58.25, 50 dB at 174.75, the
// live 60 dB at 116.5. x of grid point j = 553 * log(f_j / 20) / log(1000).
TEST(Overlay, DrawnInTheirColoursBetweenTheGridAndTheLiveCurve) {
  Scene s;
  s.held50.reset(300);
  s.redraw();
  const std::vector<Polyline> first = s.linesIn(overlayColour(2));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].pen.width, 1);
  EXPECT_EQ(first[0].pen.style, PenStyle::solid);
  // A move and a line to itself at the first point, then one line per point.
  ASSERT_EQ(first[0].points.size(), static_cast<size_t>(kGridPoints + 1));
  for (const Point& p : first[0].points) EXPECT_EQ(p.y, 58);
  const double x500 = 553.0 * std::log(s.setup.freqGrid[500] / 20.0) / std::log(1000.0);
  EXPECT_EQ(first[0].points[501].x, static_cast<int>(x500));

  // Slot 5 stops before grid point 700 and breaks at the point it lacks.
  const std::vector<Polyline> second = s.linesIn(overlayColour(5));
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].points.size(), 301u);  // points 0 .. 299
  EXPECT_EQ(second[1].points.size(), 400u);  // points 301 .. 699
  EXPECT_EQ(second[1].points.back().y, 174);
  const double x699 = 553.0 * std::log(s.setup.freqGrid[699] / 20.0) / std::log(1000.0);
  EXPECT_EQ(second[1].points.back().x, static_cast<int>(x699));

  // Order on the plot: grid (dotted), overlays, live curve (black), legend.
  size_t firstOverlay = 0, lastGrid = 0, firstLive = 0, firstLegend = 0;
  const auto ops = s.plot.ops();
  for (size_t i = 0; i < ops.size(); ++i) {
    const CanvasOp& op = ops[i];
    if (op.kind != CanvasOpKind::lineTo && op.kind != CanvasOpKind::textOut) continue;
    if (op.kind == CanvasOpKind::textOut && firstLegend == 0) firstLegend = i;
    if (op.kind != CanvasOpKind::lineTo) continue;
    if (op.pen == penGrid) lastGrid = i;
    if (op.pen.colour == overlayColour(2) && firstOverlay == 0) firstOverlay = i;
    if (op.pen == penSolidBlack && op.y2 == 116 && firstLive == 0) firstLive = i;
  }
  EXPECT_LT(lastGrid, firstOverlay);
  EXPECT_LT(firstOverlay, firstLive);
  EXPECT_LT(firstLive, firstLegend);
}

// One row per drawn overlay from the top-left corner: a swatch of its colour,
// then its text; the slot without a curve has no row.
TEST(Overlay, LegendNamesTheDrawnSlotsInTheCorner) {
  Scene s;
  s.redraw();
  EXPECT_EQ(labelsOf(s.plot), (std::vector<Label>{{"2: Woofer", 22, 4}, {"Slot 5", 22, 16}}));
  std::vector<CanvasOp> swatches;
  for (const CanvasOp& op : s.plot.ops())
    if (op.kind == CanvasOpKind::fillRect && !(op.fill == colourWhite)) swatches.push_back(op);
  ASSERT_EQ(swatches.size(), 2u);
  EXPECT_EQ(swatches[0].fill, overlayColour(2));
  EXPECT_EQ(std::tie(swatches[0].x1, swatches[0].y1, swatches[0].x2, swatches[0].y2),
            std::make_tuple(4, 9, 18, 11));
  EXPECT_EQ(swatches[1].fill, overlayColour(5));
  EXPECT_EQ(swatches[1].y1, 21);
}

// The Merge/Add page and the calibration view keep their own pictures.
TEST(Overlay, NoneOnTheMergePageOrTheCalibrationView) {
  for (const auto& [merge, calibration] : {std::pair{true, false}, std::pair{false, true}}) {
    Scene s;
    s.redraw(merge, calibration);
    EXPECT_TRUE(s.linesIn(overlayColour(2)).empty());
    EXPECT_TRUE(s.linesIn(overlayColour(5)).empty());
    EXPECT_FALSE(hasLabel(s.plot, "2: Woofer"));
  }
}

// --- The program state -------------------------------------------------------

struct App {
  SimAudio sim{SimAudio::Pacing::manual};
  NoticeList notices;
  DialogRecorder dialogs;
  struct Observer final : AppObserver {
    void redraw() override { ++redraws; }
    void viewStateChanged() override {}
    void controlsLocked(bool) override {}
    void runEnded(RunOutcome) override {}
    void showMessage(const char*, const char*, MsgIcon) override {}
    void exitProgram(int) override {}
    int redraws = 0;
  } observer;
  Application app{sim, notices, dialogs, observer};
  AppState& s = app.state();

  App() { s.setup.setDefaults(); }
  // Slot n holds |H| = 10^(level(f) / 20) with level(f) = 60 + 3 log2(f / 1000).
  void fillSlot(int n, int impedanceMode, const char* title) {
    MeasSetup& slot = s.slots[n - 1];
    slot.setDefaults();
    for (int j = 0; j < kGridPoints; ++j) {
      const double level = 60.0 + 3.0 * std::log2(s.setup.freqGrid[j] / 1000.0);
      slot.response[j] = Complex(0.0, std::pow(10.0, level / 20.0));
    }
    slot.impedanceMode = impedanceMode;
    slot.responseRate = 48000;
    setTitleUtf8(slot.title, title);
    slot.hasResponse = true;
  }
};

TEST(OverlayState, ApplicationOperationChoosesSlotsAndRedraws) {
  App a;
  EXPECT_FALSE(a.app.overlayChanged(0, true));
  EXPECT_FALSE(a.app.overlayChanged(kStoreSlots + 1, true));
  EXPECT_EQ(a.observer.redraws, 0);
  EXPECT_TRUE(a.app.overlayChanged(3, true));
  EXPECT_EQ(a.observer.redraws, 1);
  EXPECT_TRUE(a.app.overlayShown(3));
  EXPECT_FALSE(a.app.overlayShown(2));
  EXPECT_FALSE(a.app.overlayShown(9));
  EXPECT_TRUE(a.app.overlayChanged(3, false));
  EXPECT_FALSE(a.app.overlayShown(3));
}

// A slot's overlay is the curve it would show recalled: compared with the
// live curve prepared from the same record by the SPL preparation, with
// smoothing, a level scale and the microphone calibration in use.
TEST(OverlayState, SplOverlayMatchesTheSlotRecalled) {
  App a;
  AppState& s = a.s;
  a.fillSlot(2, 0, "Woofer");
  a.fillSlot(4, 0, "");
  a.fillSlot(6, 1, "Impedance");  // the other kind: not on the dB graph
  s.overlays.shown[1] = s.overlays.shown[3] = s.overlays.shown[5] = true;
  s.overlays.shown[6] = true;  // slot 7 holds nothing
  s.setup.smoothIndex = 3;
  s.setup.levelScale = 5.0;
  s.micCal.fill(Complex(2.0, 0.0));
  s.micCalValid = true;
  s.setup.micDataOff = false;
  s.slots[3].fromFile = true;  // a file carries its own corrections
  prepareOverlayCurves(s);

  const OverlayState& o = s.overlays;
  ASSERT_NE(o.drawn[1].magnitude, nullptr);
  ASSERT_NE(o.drawn[3].magnitude, nullptr);
  EXPECT_EQ(o.drawn[5].magnitude, nullptr);
  EXPECT_EQ(o.drawn[6].magnitude, nullptr);
  EXPECT_EQ(o.drawn[0].magnitude, nullptr);
  EXPECT_STREQ(o.drawn[1].legend, "2: Woofer");
  EXPECT_STREQ(o.drawn[3].legend, "Slot 4");
  EXPECT_EQ(o.drawn[1].colour, overlayColour(2));
  EXPECT_EQ(o.drawn[1].held, &s.slots[1].held);
  // Grid points below 24 kHz: 5 * 10^(4 j / 999) < 24000 up to j = 919.
  EXPECT_EQ(o.drawn[1].end, 920);

  copySlotFields(s.slots[1], s.setup);
  prepareSplCurves(s, false);
  for (int j = 0; j < kGridPoints; ++j)
    ASSERT_NEAR((*o.drawn[1].magnitude)[j], s.curves.splMag[0][j], 1e-9) << j;
  // Away from the grid's ends the smoothing of a straight line in log f
  // leaves it: 60 + 3 log2(f / 1 kHz) + 5 dB scale - 6.02 dB microphone,
  // and without the microphone for the slot read from a file.
  const int j = 600;
  const double line = 60.0 + 3.0 * std::log2(s.setup.freqGrid[j] / 1000.0) + 5.0;
  EXPECT_NEAR((*o.drawn[1].magnitude)[j], line - 20.0 * std::log10(2.0), 1e-6);
  EXPECT_NEAR((*o.drawn[3].magnitude)[j], line, 1e-6);
}

TEST(OverlayState, ImpedanceSlotsOnTheOhmGraphAndNoneOnTheMergePage) {
  App a;
  AppState& s = a.s;
  a.fillSlot(1, 0, "SPL");
  a.fillSlot(2, 1, "Z");
  s.overlays.shown[0] = s.overlays.shown[1] = true;
  s.setup.impedanceMode = 1;
  prepareOverlayCurves(s);
  EXPECT_EQ(s.overlays.drawn[0].magnitude, nullptr);
  ASSERT_NE(s.overlays.drawn[1].magnitude, nullptr);
  const int j = 400;
  EXPECT_NEAR((*s.overlays.drawn[1].magnitude)[j],
              std::pow(10.0, (60.0 + 3.0 * std::log2(s.setup.freqGrid[j] / 1000.0)) / 20.0), 1e-9);

  s.mergeSetup.mergeShown = true;
  prepareOverlayCurves(s);
  EXPECT_EQ(s.overlays.drawn[1].magnitude, nullptr);
  s.mergeSetup.mergeShown = false;
  s.calibrationView = true;
  prepareOverlayCurves(s);
  EXPECT_EQ(s.overlays.drawn[1].magnitude, nullptr);
}

// A long title is cut to the legend's room at a character boundary: never
// half of a two-byte character.
TEST(OverlayState, LongTitleCutAtACharacterBoundary) {
  App a;
  std::string title = "12345678901234567890123456789012345678901234";  // 44 bytes
  title[43] = '\xC3';                                                  // "é" across the cut
  title += '\xA9';
  title += "tail";
  a.fillSlot(1, 0, title.c_str());
  a.s.overlays.shown[0] = true;
  prepareOverlayCurves(a.s);
  // "1: " leaves 44 bytes of room; the two-byte character would end past it.
  EXPECT_EQ(std::string(a.s.overlays.drawn[0].legend), "1: " + title.substr(0, 43));
}

}  // namespace
