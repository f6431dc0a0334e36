// The command-line program and the window share the measurement: a
// measurement made and exported in the window, then made again by sonrake-cli
// with the configuration and calibration the window left behind, exports the
// same bytes. Both run the simulator, which repeats every run exactly.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

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

#include "platform/combined_audio.h"
#include "platform/sim_audio.h"
#include "window_test.h"

extern char** environ;

namespace {

const char* const kSpeaker = "Simulator: loudspeaker (mic L, loop R)";
const char* const kJig = "Simulator: impedance jig 12 ohm";

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs cli with args, the environment of this process and KALDER = dataDir,
// its output thrown away; the exit code, or -1 when it did not exit.
int runCli(const std::string& cli, const std::string& dataDir, std::vector<std::string> args) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "KALDER=", 7) != 0) env.emplace_back(*e);
  env.push_back("KALDER=" + dataDir);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = cli;
  std::vector<char*> argv{program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
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
    ASSERT_EQ(runCli(cli, dataDir.path().toStdString() + "/", args), 0);
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
