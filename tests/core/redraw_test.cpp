// The order of one whole redraw: what is drawn before and after the curve
// preparation, which graph the mode selects, and the plot border at the end.

#include "display/redraw.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "canvas_records.h"
#include "display/graph_layout.h"

namespace {

// Records the hooks in order, with what the frame showed at that moment.
class OrderHooks final : public RedrawHooks {
 public:
  OrderHooks(const RecordingCanvas& frame, DisplayCurves& curves) : frame_(frame), curves_(curves) {}
  void showBusyCursor() override { events.push_back("busy"); }
  void restoreCursor() override { events.push_back("restore"); }
  void prepareSplCurves() override {
    events.push_back(std::string("spl") + (hasLabel(frame_, "dB") ? "+axis" : ""));
    curves_.dBTop = 83.4;
  }
  void prepareImpedanceCurves() override {
    events.push_back(std::string("z") + (hasLabel(frame_, "ohm") ? "+axis" : ""));
  }
  std::vector<std::string> events;

 private:
  const RecordingCanvas& frame_;
  DisplayCurves& curves_;
};

struct Window {
  MeasSetup setup;
  std::unique_ptr<DisplayCurves> curves = std::make_unique<DisplayCurves>();
  std::unique_ptr<ImpulseResponse> impulse = std::make_unique<ImpulseResponse>();
  RecordingCanvas time{kTimeGraphWidth, kTimeGraphHeight};
  RecordingCanvas frame{kFrameWidth, kFrameHeight};
  RecordingCanvas plot{kPlotWidth, kPlotHeight};
  OrderHooks hooks{frame, *curves};
  bool calibrationRun = true;

  void redraw(bool calibrationView) {
    const GraphInputs in{setup, *curves, *impulse, true, calibrationView, {}};
    redrawGraphs(in, calibrationRun, {time, frame, plot}, hooks);
  }
};

TEST(Redraw, SplGraphPreparesBeforeItsAxisAndEndsWithBorder) {
  Window w;
  w.redraw(false);
  EXPECT_EQ(w.hooks.events, (std::vector<std::string>{"busy", "spl", "restore"}));
  EXPECT_FALSE(w.calibrationRun);
  EXPECT_FALSE(w.time.ops().empty());
  // The axis uses the dBTop the preparation set: the worked example's 80 dB label.
  EXPECT_EQ(labelsOf(w.frame)[9], (Label{"80.0", 19, 45}));
  EXPECT_FALSE(hasLabel(w.frame, "ohm"));

  const auto lines = polylinesOf(w.plot);
  EXPECT_EQ(lines.back().pen, penSolidBlack);
  EXPECT_EQ(lines.back().points,
            (std::vector<Point>{{0, 0}, {0, 232}, {552, 232}, {552, 0}, {0, 0}}));
  EXPECT_EQ(w.plot.ops().back().kind, CanvasOpKind::lineTo);
}

TEST(Redraw, ImpedanceAxisComesBeforeItsPreparation) {
  Window w;
  w.setup.impedanceMode = 1;
  w.redraw(false);
  EXPECT_EQ(w.hooks.events, (std::vector<std::string>{"busy", "z+axis", "restore"}));
  EXPECT_FALSE(hasLabel(w.frame, "dB"));
}

TEST(Redraw, CalibrationViewIsAlwaysAnSplGraph) {
  Window w;
  w.setup.impedanceMode = 1;
  w.redraw(true);
  EXPECT_EQ(w.hooks.events, (std::vector<std::string>{"busy", "spl", "restore"}));
  EXPECT_TRUE(hasLabel(w.frame, "dB"));
  EXPECT_FALSE(hasLabel(w.frame, "ohm"));
}

}  // namespace
