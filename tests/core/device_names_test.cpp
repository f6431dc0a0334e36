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

TEST(DevicesByName, NamesFindTheirDevicesWhereverTheyAre) {
  // The USB card was device 0 when the names were remembered; it is device 2 now.
  Rig r(NamedDevices({"HDA Intel: ALC", "Webcam mic", "USB Audio CODEC"},
                     {"HDA Intel: ALC", "HDMI 0", "USB Audio CODEC"}));
  const Application::DeviceNamesFound found =
      r.app.devicesChosenByName("USB Audio CODEC", "HDMI 0");
  EXPECT_TRUE(found.input);
  EXPECT_TRUE(found.output);
  EXPECT_EQ(r.in(), 2);
  EXPECT_EQ(r.out(), 1);
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::input), "USB Audio CODEC");
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::output), "HDMI 0");
}

TEST(DevicesByName, AMissingOrEmptyNameKeepsTheChoiceMade) {
  Rig r(NamedDevices({"a", "b"}, {"x", "y"}));
  r.app.state().inDeviceId = 1;
  r.app.state().outDeviceId = 1;
  // Unplugged since, a different case, a part of a name, nothing remembered.
  for (const char* name : {"USB Audio CODEC", "B", "y ", ""}) {
    const Application::DeviceNamesFound found = r.app.devicesChosenByName(name, name);
    EXPECT_FALSE(found.input) << name;
    EXPECT_FALSE(found.output) << name;
    EXPECT_EQ(r.in(), 1) << name;
    EXPECT_EQ(r.out(), 1) << name;
  }
  // One found, the other not: each on its own.
  const Application::DeviceNamesFound found = r.app.devicesChosenByName("a", "gone");
  EXPECT_TRUE(found.input);
  EXPECT_FALSE(found.output);
  EXPECT_EQ(r.in(), 0);
  EXPECT_EQ(r.out(), 1);
}

TEST(DevicesByName, OfTwoDevicesWithOneNameTheChosenStays) {
  Rig r(NamedDevices({"Twin", "Other", "Twin"}, {"Twin", "Twin"}));
  r.app.state().inDeviceId = 2;  // the second twin, from the configuration
  r.app.state().outDeviceId = 1;
  EXPECT_TRUE(r.app.devicesChosenByName("Twin", "Twin").input);
  EXPECT_EQ(r.in(), 2);
  EXPECT_EQ(r.out(), 1);
  // Chosen elsewhere: the first twin.
  r.app.state().inDeviceId = 1;
  EXPECT_TRUE(r.app.devicesChosenByName("Twin", "").input);
  EXPECT_EQ(r.in(), 0);
}

TEST(DevicesByName, AChoiceOutsideTheListsHasNoName) {
  Rig r(NamedDevices({}, {"x"}));
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::input), "");  // no input devices at all
  r.app.state().outDeviceId = 5;
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::output), "");
  r.app.state().outDeviceId = -1;
  EXPECT_EQ(r.app.chosenDeviceName(WaveDirection::output), "");
  EXPECT_TRUE(r.app.devicesChosenByName("", "x").output);
  EXPECT_EQ(r.out(), 0);
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
