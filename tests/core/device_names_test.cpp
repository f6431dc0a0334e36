// The devices chosen by name: the names a front end remembered from an
// earlier run pick the devices again, wherever the devices now stand in the
// lists; a name no longer present keeps the choice already made.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "dialog_recorder.h"
#include "fake_wave_audio.h"
#include "platform/sim_audio.h"

namespace {

class QuietObserver final : public AppObserver {
 public:
  void redraw() override {}
  void viewStateChanged() override {}
  void controlsLocked(bool) override {}
  void runEnded(RunOutcome) override {}
  void showMessage(const char*, const char*, MsgIcon) override {}
  void exitProgram(int) override {}
};

// Devices with the names given, by device number.
class NamedDevices final : public FakeWaveAudio {
 public:
  NamedDevices(std::vector<std::string> in, std::vector<std::string> out)
      : in_(std::move(in)), out_(std::move(out)) {
    inCount = static_cast<int>(in_.size());
    outCount = static_cast<int>(out_.size());
  }
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override {
    const std::vector<std::string>& names = dir == WaveDirection::input ? in_ : out_;
    std::snprintf(text, capacity, "%s", names.at(static_cast<size_t>(id)).c_str());
  }

 private:
  std::vector<std::string> in_;
  std::vector<std::string> out_;
};

struct Rig {
  explicit Rig(NamedDevices d) : audio(std::move(d)) {}
  NamedDevices audio;
  NoticeList notices;
  DialogRecorder dialogs;
  QuietObserver observer;
  Application app{audio, notices, dialogs, observer};
  int in() const { return app.state().inDeviceId; }
  int out() const { return app.state().outDeviceId; }
};

// The USB card was device 0 when its name was remembered and is device 2 now;
// a name unplugged since, in another case, a part of a name or none at all
// keeps the choice; of two devices with one name the chosen one stays.
TEST(DevicesByName, NamesFindTheirDevicesWhereverTheyAre) {
  Rig r(NamedDevices({"HDA Intel", "Twin", "USB Audio CODEC", "Twin"}, {"HDA Intel", "HDMI 0"}));
  Application::DeviceNamesFound found = r.app.devicesChosenByName("USB Audio CODEC", "HDMI 0");
  EXPECT_TRUE(found.input && found.output);
  EXPECT_EQ(r.in(), 2);
  EXPECT_EQ(r.out(), 1);
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::input), "USB Audio CODEC");

  for (const char* name : {"Gone", "usb audio codec", "USB", ""}) {
    found = r.app.devicesChosenByName(name, name);
    EXPECT_FALSE(found.input || found.output) << name;
    EXPECT_EQ(r.in(), 2) << name;
    EXPECT_EQ(r.out(), 1) << name;
  }
  r.app.state().inDeviceId = 3;  // the second twin
  EXPECT_TRUE(r.app.devicesChosenByName("Twin", "").input);
  EXPECT_EQ(r.in(), 3);
  r.app.state().inDeviceId = 0;
  EXPECT_TRUE(r.app.devicesChosenByName("Twin", "").input);
  EXPECT_EQ(r.in(), 1);

  // A choice outside the list has no name.
  r.app.state().outDeviceId = 5;
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::output), "");
  r.app.state().outDeviceId = -1;
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::output), "");
}

TEST(DevicesByName, RefusedWhileADelayedStartHoldsTheDevices) {
  SimAudio sim{SimAudio::Pacing::manual};
  NoticeList notices;
  DialogRecorder dialogs;
  QuietObserver observer;
  double now = 10.0;
  Application app{sim, notices, dialogs, observer, [&now] { return now; }};
  app.state().inDeviceId = SimAudio::kInputLoopback;
  app.delayedStartChanged(true);
  ASSERT_EQ(app.startClicked(), StartAction::startAfterDelay);
  ASSERT_TRUE(app.runUnderway());
  const Application::DeviceNamesFound found =
      app.devicesChosenByName(SimAudio::kInputNames[SimAudio::kInputJig], SimAudio::kOutputName);
  EXPECT_FALSE(found.input);
  EXPECT_FALSE(found.output);
  EXPECT_EQ(app.state().inDeviceId, SimAudio::kInputLoopback);
  EXPECT_TRUE(app.cancelDelayedStart());
}

}  // namespace
