// The Measure page's analysis options, on a measurement of the simulated
// loudspeaker: "Exact" and "Flat" work the shown response out again at once,
// and unticked they give back exactly what was there.

#include <QCheckBox>

#include <gtest/gtest.h>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

class AnalysisOptionsTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(audio); }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{nullptr, sim};
};

int differingPoints(const ComplexCurve& a, const ComplexCurve& b) {
  int n = 0;
  for (int i = 0; i < kGridPoints; ++i) n += !(a[i] == b[i]);
  return n;
}

TEST_F(AnalysisOptionsTest, ExactAndFlatRecomputeTheShownResponse) {
  openPage(kMeasurePage);
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  click("start");
  runSimToEnd(sim);
  ASSERT_TRUE(state().responseValid);
  const ComplexCurve before = state().setup.response;

  for (const char* box : {"exactEval", "flatWindow"}) {
    SCOPED_TRACE(box);
    tick(box, true);
    EXPECT_TRUE(box == std::string("exactEval") ? state().setup.exactEvaluation
                                                 : state().setup.windowShape == kWindowFlatHann);
    // Everything below half the rate is worked out anew.
    EXPECT_GT(differingPoints(state().setup.response, before), 800);
    tick(box, false);
    EXPECT_EQ(differingPoints(state().setup.response, before), 0);
  }
}

}  // namespace
