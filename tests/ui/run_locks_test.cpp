// What a run locks besides its settings: the SPL / Z switch, the device
// lists and the memory slot buttons, on the simulated devices with manual
// pacing, so the run stands still between the test's steps.

#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <string>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

class RunLocksTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(audio); }

  void runOneRecording() {
    sim.runUntilIdle();
    QCoreApplication::processEvents();
  }
  bool slotEnabled(char kind, int n) {
    const std::string name = kind + std::to_string(n);
    return enabled(name.c_str());
  }
  // Everything the run locks is disabled, and stays so against a
  // programmatic switch to Z and a choice of another input device.
  void expectLocked(const char* when) {
    SCOPED_TRACE(when);
    EXPECT_FALSE(get<QTabWidget>("SplZ")->tabBar()->isEnabled());
    for (const char* list : {"inDev", "outDev", "sRate"}) EXPECT_FALSE(enabled(list)) << list;
    for (int n = 1; n <= 8; ++n) {
      EXPECT_FALSE(slotEnabled('S', n)) << n;
      EXPECT_FALSE(slotEnabled('R', n)) << n;
    }
    openSplZ(1);
    EXPECT_EQ(state().setup.impedanceMode, 0);
    EXPECT_EQ(get<QTabWidget>("SplZ")->currentIndex(), 0);
    const int inDevice = state().inDeviceId;
    choose("inDev", "Simulator: loopback cable");
    EXPECT_EQ(state().inDeviceId, inDevice);
    EXPECT_EQ(get<QComboBox>("inDev")->currentIndex(), inDevice);
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{nullptr, sim};
};

// A measurement stored in slot 2, then a cyclic run of the loudspeaker:
// locked from the click on, and still after a recording has been analysed
// (which redraws and recomputes the view); once the run has ended the mode
// switch, the lists and every store button are free again on the Measure
// page, and of the recall buttons only R2. On the Settings page (the
// calibration view) the store buttons stay off.
TEST_F(RunLocksTest, CyclicRunLocksModeDevicesAndSlotsUntilItEnds) {
  openPage(kMeasurePage);
  choose("inDev", "Simulator: loudspeaker (mic L, loop R)");
  const int speaker = state().inDeviceId;
  click("start");
  for (int i = 0; i < 4 && runUnderway(); ++i) runOneRecording();
  ASSERT_FALSE(runUnderway());
  ASSERT_TRUE(state().responseValid);
  click("S2");
  ASSERT_TRUE(slotEnabled('R', 2));

  tick("cbCycle", true);
  click("start");
  ASSERT_TRUE(runUnderway());
  ASSERT_TRUE(state().soundCard.recording);
  expectLocked("first recording under way");

  form->state().responseValid = false;  // set again only by an analysis
  runOneRecording();
  ASSERT_TRUE(state().responseValid);
  ASSERT_TRUE(state().cyclicRunning);
  expectLocked("after an analysis, next recording under way");

  click("start");  // Stop: the recording under way finishes first
  EXPECT_FALSE(state().cyclicRunning);
  ASSERT_TRUE(runUnderway());
  expectLocked("stopping");
  for (int i = 0; i < 4 && runUnderway(); ++i) runOneRecording();
  ASSERT_FALSE(runUnderway());
  EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
  EXPECT_EQ(state().inDeviceId, speaker);
  EXPECT_EQ(state().setup.impedanceMode, 0);

  EXPECT_TRUE(get<QTabWidget>("SplZ")->tabBar()->isEnabled());
  for (const char* list : {"inDev", "outDev", "sRate"}) EXPECT_TRUE(enabled(list)) << list;
  for (int n = 1; n <= 8; ++n) {
    EXPECT_TRUE(slotEnabled('S', n)) << n;
    EXPECT_EQ(slotEnabled('R', n), n == 2) << n;
  }
  openPage(kSettingsPage);
  for (int n = 1; n <= 8; ++n) EXPECT_FALSE(slotEnabled('S', n)) << n;
  openPage(kMeasurePage);
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(slotEnabled('S', n)) << n;

  // Free again: the switch and the list take a choice.
  choose("inDev", "Simulator: loopback cable");
  EXPECT_NE(state().inDeviceId, speaker);
  openSplZ(1);
  EXPECT_EQ(state().setup.impedanceMode, 1);
}

}  // namespace
