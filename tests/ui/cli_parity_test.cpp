// The command-line program and the window share the measurement: a
// measurement made and exported in the window, then made again by sonrake-cli
// with the configuration and calibration the window left behind, exports the
// same bytes. Both run the simulator, which repeats every run exactly.

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../cli/cli_process.h"
#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

namespace {

const char* const kSpeaker = "Simulator: loudspeaker (mic L, loop R)";
const char* const kJig = "Simulator: impedance jig 12 ohm";

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first line where a and b differ, both shown, or "" when they are equal.
std::string firstDifference(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string la, lb;
  for (int n = 1;; ++n) {
    const bool moreA = static_cast<bool>(std::getline(sa, la));
    const bool moreB = static_cast<bool>(std::getline(sb, lb));
    if (!moreA && !moreB) return a == b ? "" : "same lines, different bytes";
    if (moreA != moreB || la != lb) {
      return "line " + std::to_string(n) + ":\n  window: '" + (moreA ? la : "<end>") +
             "'\n  cli:    '" + (moreB ? lb : "<end>") + "'";
    }
  }
}

class CliParity : public WindowTest {
 protected:
  void SetUp() override {
    cli = (QCoreApplication::applicationDirPath() + QStringLiteral("/sonrake-cli")).toStdString();
    if (!QFileInfo(QString::fromStdString(cli)).isExecutable()) GTEST_SKIP() << "no " << cli;
    openWindow(audio);
  }
  void runToEnd() { runSimToEnd(sim); }
  // 48000 Hz and MLS 16384, a calibration through the loopback cable in SPL
  // or impedance mode; then the window is closed and opened again, so that the
  // measurement on `input`, exported to window.txt, starts from the stored
  // files alone, as sonrake-cli does. (Within one session a run's recording
  // length follows the latency found by the run before it, so a measurement
  // right after a calibration is a measurement from another state.)
  void measureAndExport(const char* input, bool impedance) {
    if (impedance) openSplZ(1);
    openPage(kSettingsPage);
    choose("sRate", kRate48000);
    choose("nMLS", kMls16384);
    choose("inDev", "Simulator: loopback cable");
    click("Calibrate");
    runToEnd();
    form.reset();
    openWindow(audio);
    ASSERT_EQ(state().setup.sampleRate, 48000);
    if (impedance) openSplZ(1);
    ASSERT_EQ(state().setup.impedanceMode, impedance ? 1 : 0);
    openPage(kMeasurePage);
    choose("inDev", input);
    click("start");
    runToEnd();
    ASSERT_TRUE(state().responseValid);
    dialogs.fileAnswers.push_back(path("window.txt"));
    click("exportMeas");
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text;
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path("window.txt"))));
  }
  // Closes the window (which stores its configuration and calibration) and
  // measures on `input` with sonrake-cli, without rate or length: both
  // come from the stored configuration. Compares the two exports.
  void expectSameExportFromCli(std::vector<std::string> args) {
    form.reset();
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path("sonrake.cfg"))));
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path("sonrake.cal"))));
    const std::vector<std::string> common = {"--out", "Simulator output", "--export", path("cli.txt")};
    args.insert(args.end(), common.begin(), common.end());
    const CliResult run = runCliProcess(cli, dataDir.path().toStdString() + "/", args);
    ASSERT_TRUE(run.exited(0)) << run.describe();
    const std::string window = readBytes(path("window.txt"));
    const std::string fromCli = readBytes(path("cli.txt"));
    ASSERT_GT(window.size(), 1000u);
    EXPECT_TRUE(window == fromCli) << firstDifference(window, fromCli);
  }
  std::string path(const char* name) { return (dataDir.path() + "/" + name).toStdString(); }

  std::string cli;
  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{nullptr, sim};
};

TEST_F(CliParity, LoudspeakerExportIsByteIdentical) {
  measureAndExport(kSpeaker, false);
  expectSameExportFromCli({"-q", "measure", "--in", kSpeaker});
}

// The same in impedance mode, calibrated in that mode, on the jig.
TEST_F(CliParity, ImpedanceExportIsByteIdentical) {
  measureAndExport(kJig, true);
  expectSameExportFromCli({"-q", "measure", "--mode", "impedance", "--in", kJig});
}

}  // namespace
