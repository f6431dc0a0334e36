#pragma once
// The window on the manually paced simulator, with the steps of a
// calibrated measurement: every run records the same samples.

#include <QLabel>

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

class SimWindowTest : public WindowTest {
 protected:
  void SetUp() override { openWindow(audio); }

  void runToEnd() {
    for (int i = 0; i < 4 && runUnderway(); ++i) {
      sim.runUntilIdle();
      QCoreApplication::processEvents();
    }
    ASSERT_FALSE(runUnderway());
  }
  // 48000 Hz, MLS length 16384, calibrated through the loopback cable.
  void calibrateAt48k() {
    openPage(kSettingsPage);
    choose("sRate", kRate48000);
    choose("nMLS", kMls16384);
    choose("inDev", "Simulator: loopback cable");
    click("Calibrate");
    runToEnd();
    openPage(kMeasurePage);
    ASSERT_FALSE(get<QLabel>("unCalibrated")->isVisibleTo(form.get()));
  }
  void measure(const char* device) {
    choose("inDev", device);
    click("start");
    runToEnd();
    ASSERT_TRUE(state().setup.hasResponse);
  }

  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{nullptr, sim};
};
