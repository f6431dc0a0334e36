#include "cli/cli_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "app/application.h"
#include "app/curve_ops.h"
#include "app/view_state.h"
#include "cli/cli_args.h"
#include "cli/cli_params.h"
#include "cli/device_match.h"
#include "cli/notice_queue.h"
#include "engine/mls.h"
#include "platform/combined_audio.h"
#include "platform/dialogs.h"
#include "platform/portaudio/real_audio.h"
#include "platform/sim_audio.h"
#include "setup/data_dir.h"
#include "setup/file_io.h"
#include "analysis/curve_prep.h"
#include "analysis/impedance_curves.h"
#include "app/export_ops.h"
#include "store/curve_export.h"
#include "store/curve_import.h"
#include "store/text_export.h"

namespace {

using Clock = std::chrono::steady_clock;

// A message as one line: the program's texts break lines for a message box.
std::string oneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line)
    if (c == '\n') c = ' ';
  return line;
}

// Everything the user is told goes to stderr, one line each; progress only
// without -q.
class Reporter {
 public:
  Reporter(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}
  void progress(const std::string& line) {
    if (!quiet_) err_ << "sonrake-cli: " << line << '\n';
  }
  void message(std::string_view text, std::string_view caption = {}) {
    err_ << "sonrake-cli: ";
    if (!caption.empty()) err_ << caption << ": ";
    err_ << oneLine(text) << '\n';
  }

 private:
  std::ostream& err_;
  bool quiet_;
};

// The application's reports, for a front end that shows no window: the shown
// curves are prepared at each redraw (an export reads them), messages become
// lines, and the end of the run is noted for the wait loop.
class CliObserver final : public AppObserver {
 public:
  explicit CliObserver(Reporter& reporter) : reporter_(reporter) {}
  void attach(Application& app) { app_ = &app; }

  void redraw() override {
    if (app_ != nullptr) prepareShownCurves(app_->state());
  }
  void viewStateChanged() override {}
  void controlsLocked(bool) override {}
  void runEnded(RunOutcome outcome) override {
    ended_ = true;
    outcome_ = outcome;
  }
  void showMessage(const char* text, const char* caption, MsgIcon) override {
    reporter_.message(text, caption);
  }
  void exitProgram(int code) override {
    ended_ = true;
    exitCode_ = code;
    outcome_ = RunOutcome::failed;
  }

  bool ended() const { return ended_; }
  RunOutcome outcome() const { return outcome_; }
  int exitCode() const { return exitCode_; }

 private:
  Reporter& reporter_;
  Application* app_ = nullptr;
  bool ended_ = false;
  RunOutcome outcome_ = RunOutcome::completed;
  int exitCode_ = 0;
};

// No one to ask: message boxes become lines, file dialogs are cancelled.
class CliDialogs final : public Dialogs {
 public:
  explicit CliDialogs(Reporter& reporter) : reporter_(reporter) {}
  MsgResult messageBox(const char* text, const char* caption, MsgIcon, MsgButtons) override {
    reporter_.message(text, caption);
    return MsgResult::ok;
  }
  bool openFileDialog(const FileDialogRequest&, char*, size_t) override { return false; }
  bool saveFileDialog(const FileDialogRequest&, char*, size_t) override { return false; }

 private:
  Reporter& reporter_;
};

// The real devices (PortAudio) followed by the simulated ones, as the window
// lists them; the simulator runs as fast as it can, driven by the wait loop.
struct Devices {
  std::unique_ptr<WaveAudio> real = makeRealAudio();
  SimAudio sim{SimAudio::Pacing::manual};
  CombinedWaveAudio audio{real.get(), sim};

  std::vector<std::string> names(WaveDirection dir) const {
    std::vector<std::string> list;
    const int count = audio.deviceCount(dir);
    for (int id = 0; id < count; ++id) {
      char text[kDialogPathCapacity]{};
      audio.deviceName(dir, id, text, sizeof text);
      list.emplace_back(text);
    }
    return list;
  }
};

int listDevices(std::ostream& out) {
  Devices devices;
  for (WaveDirection dir : {WaveDirection::output, WaveDirection::input}) {
    const char* label = dir == WaveDirection::output ? "output" : "input";
    const std::vector<std::string> names = devices.names(dir);
    for (size_t id = 0; id < names.size(); ++id) out << label << '\t' << id << '\t' << names[id] << '\n';
  }
  return kCliOk;
}

// The settings given on the command line over those the window starts with.
// A rate given is selected as in the window's list, with every size that
// follows from it; without one the state is the window's after its start-up,
// so that the same measurement gives the same bytes on both sides.
void applySettings(const CliSettings& c, AppState& s) {
  MeasSetup& m = s.setup;
  if (c.sRateIndex) {
    if (c.sampleRate) m.sampleRate = *c.sampleRate;
    m.setSampleRate(*c.sRateIndex);
  }
  if (c.mlsOrder && *c.mlsOrder != m.mlsOrder) {
    m.setMlsOrder(*c.mlsOrder - mlsOrderTable.front());
    buildMlsTables(m, s.mls);
  }
  if (c.impedanceMode) switchMeasurementMode(s, *c.impedanceMode != 0);
  if (c.twoChannel) m.twoChannel = *c.twoChannel;
  if (c.showChannel) m.showChannel = *c.showChannel;
  if (c.seriesR) m.seriesR = *c.seriesR;
  if (c.winLength) m.winLength = *c.winLength;
  if (c.winStart) m.winStart = *c.winStart;
  if (c.smoothIndex) m.smoothIndex = *c.smoothIndex;
  if (c.freqLow) m.freqLow = *c.freqLow;
  if (c.freqHigh) m.freqHigh = *c.freqHigh;
  if (c.exactEvaluation) m.exactEvaluation = *c.exactEvaluation;
  if (c.averages) m.averages = *c.averages;
  if (c.windowShape) m.windowShape = *c.windowShape;
}

std::string runDescription(const AppState& s, const std::string& out, const std::string& in) {
  const MeasSetup& m = s.setup;
  char text[160];
  std::snprintf(text, sizeof text, "%s, %d Hz, MLS order %d", m.impedanceMode != 0 ? "impedance" : "SPL",
                static_cast<int>(m.sampleRate), static_cast<int>(m.mlsOrder));
  return out + " -> " + in + ", " + text;
}

// Hands the devices' notices to the application until the run has ended. The
// simulator's clock runs here; a real device that stops answering is given up
// on after the recording's length and two seconds more, as the window's
// backend does.
void waitForRunEnd(Devices& devices, NoticeQueue& notices, Application& app, const CliObserver& observer) {
  const auto limit = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(app.recordingSeconds() + 2.0 + 1.0));
  Clock::time_point deadline = Clock::now() + limit;
  while (!observer.ended()) {
    devices.sim.runUntilIdle();
    WaveNotice notice;
    if (notices.waitNext(notice, std::chrono::milliseconds(20))) {
      app.onNotice(notice);
      deadline = Clock::now() + limit;
    } else if (Clock::now() > deadline) {
      app.abortRun("The sound card stopped responding.");
    }
  }
}

// The microphone file given for this run, read as the window's import reads
// a chosen file, and used whatever sonrake.cfg says of "Don't use". A file
// refused is said, and the run does not start.
bool applyMicFile(const std::string& path, Application& app, Reporter& reporter) {
  AppState& s = app.state();
  if (path.size() >= sizeof s.micFileName) {
    reporter.message("the microphone file name is too long", "Mic calibration data");
    return false;
  }
  std::memset(s.micFileName, 0, sizeof s.micFileName);
  path.copy(s.micFileName, path.size());
  s.micImportAsk = false;
  const MicImport result = app.micImportClicked();
  if (result != MicImport::loaded) return false;
  s.setup.micDataOff = false;
  reporter.progress("microphone file " + path + ": " + oneLine(micLoadedText(s.micInfo)));
  return true;
}

// convert: a curve file onto the grid and out again in the format OUT asks for.
int convertCurve(const CliArgs& args, Reporter& reporter) {
  auto setup = std::make_unique<MeasSetup>();
  MeasSetup& m = *setup;
  const CliSettings& c = args.settings;
  const bool impedance =
      c.impedanceMode ? *c.impedanceMode != 0 : curveFileIsImpedance(args.inputPath, false);
  const CurveFileRead read = readCurveFile(args.inputPath, impedance, m.freqGrid, m.response, m.held);
  if (read.result != CurveFileResult::loaded) {
    reporter.message(curveRefusalText(read), args.inputPath);
    return kCliRunFailed;
  }
  reporter.progress(args.inputPath + ": " + oneLine(curveLoadedText(read)));
  m.impedanceMode = impedance ? 1 : 0;
  m.fromFile = true;
  m.freqLow = c.freqLow.value_or(m.freqGrid.front());
  m.freqHigh = c.freqHigh.value_or(m.freqGrid.back());
  if (c.smoothIndex) m.smoothIndex = *c.smoothIndex;
  m.impedanceSmooth = impedance && c.smoothIndex && *c.smoothIndex != 0;
  setTitleUtf8(m.title, curveFileTitle(args.inputPath));

  auto curves = std::make_unique<DisplayCurves>();
  const MergeSetup merge;
  const ComplexCurve noMic{};
  if (impedance) {
    prepareImpedanceCurves(m, {}, merge, *curves, false);
  } else {
    prepareSplCurves(m, {}, noMic, false, merge, *curves, false);
  }
  ExportHeader header;
  header.date = localDateTime();
  const std::string text = exportFileText(args.outputPath, m, *curves, header);
  if (!writeFileAtomically(args.outputPath, reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    reporter.message("could not write " + args.outputPath);
    return kCliRunFailed;
  }
  reporter.progress("wrote " + args.outputPath);
  return kCliOk;
}

// What a measurement or an analysed recording writes: the curve, the impulse
// response as WAV, the session, the driver parameters.
int writeResults(const CliArgs& args, Application& app, Reporter& reporter, std::ostream& stdOut,
                 std::ostream& err) {
  AppState& s = app.state();
  if (args.exportPath) {
    auto scratch = std::make_unique<DisplayCurves>();
    const DisplayCurves& curves = exportCurvesFor(s, args.unsmoothed, *scratch);
    const std::string text = exportFileText(*args.exportPath, s.setup, curves,
                                            exportHeaderFor(s, args.unsmoothed, localDateTime()));
    if (!writeFileAtomically(*args.exportPath, reinterpret_cast<const uint8_t*>(text.data()),
                             text.size())) {
      reporter.message("could not write " + *args.exportPath);
      return kCliRunFailed;
    }
    reporter.progress("exported " + *args.exportPath);
  }
  if (args.sessionPath) {
    std::string error;
    if (!app.saveSessionTo(*args.sessionPath, error)) {
      reporter.message(error);
      return kCliRunFailed;
    }
    reporter.progress("session saved in " + *args.sessionPath);
  }
  if (args.impulseWavPath) {
    std::string error;
    if (!app.exportImpulseWavTo(*args.impulseWavPath, error)) {
      reporter.message(error);
      return kCliRunFailed;
    }
    reporter.progress("impulse response written to " + *args.impulseWavPath);
  }
  if (args.params)
    return printDriverParams(app.driverParams(), app.driverParamsMessage(), args.json, stdOut, err);
  return kCliOk;
}

// excitation: the playback buffer of a run at the stored settings and those
// given, as a WAV file.
int writeExcitation(const CliArgs& args, Reporter& reporter) {
  Devices devices;
  NoticeQueue notices;
  CliObserver observer(reporter);
  CliDialogs dialogs(reporter);
  Application app(devices.audio, notices, dialogs, observer);
  app.startUp(dataDirectory());
  applySettings(args.settings, app.state());
  std::string error;
  if (!app.exportExcitationWavTo(args.inputPath, args.repeats.value_or(1), error)) {
    reporter.message(error);
    return kCliRunFailed;
  }
  reporter.progress("excitation written to " + args.inputPath);
  return kCliOk;
}

// The stored settings, then those given on the command line, as a run
// starts; the data directory they were read from.
std::string startWithSettings(Application& app, const CliArgs& args, Reporter& reporter) {
  const std::string dataDir = dataDirectory();
  reporter.progress("reading settings from " + (dataDir.empty() ? std::string("./") : dataDir));
  app.startUp(dataDir);
  applySettings(args.settings, app.state());
  app.afterLists();
  return dataDir;
}

// analyse: a recording of the excitation through the end of a recording, as
// a measurement at the stored settings and those given.
int analyseRecording(const CliArgs& args, Reporter& reporter, std::ostream& stdOut,
                     std::ostream& err) {
  Devices devices;
  NoticeQueue notices;
  CliObserver observer(reporter);
  CliDialogs dialogs(reporter);
  Application app(devices.audio, notices, dialogs, observer);
  observer.attach(app);
  AppState& s = app.state();
  startWithSettings(app, args, reporter);
  if (args.micPath && !applyMicFile(*args.micPath, app, reporter)) return kCliRunFailed;
  if (args.requireCalibration && !isCalibrated(s)) {
    reporter.message(
        "the sound card is not calibrated for these settings; run 'sonrake-cli calibrate' first");
    return kCliRunFailed;
  }
  s.driverInputs.reDcOhm = args.reDcOhm.value_or(0.0);
  s.setup.cyclic = false;
  s.setup.delayedStart = false;
  std::string error;
  if (!app.analyseWavFrom(args.inputPath, error)) {
    reporter.message(error, args.inputPath);
    return kCliRunFailed;
  }
  if (observer.outcome() != RunOutcome::completed) return kCliRunFailed;
  reporter.progress("analysed " + args.inputPath);
  return writeResults(args, app, reporter, stdOut, err);
}

int runMeasurement(const CliArgs& args, Reporter& reporter, std::ostream& stdOut, std::ostream& err) {
  const bool calibrating = args.command == CliCommand::calibrate;
  Devices devices;
  NoticeQueue notices;
  CliObserver observer(reporter);
  CliDialogs dialogs(reporter);
  Application app(devices.audio, notices, dialogs, observer);
  observer.attach(app);
  AppState& s = app.state();

  const std::string dataDir = startWithSettings(app, args, reporter);

  const DeviceMatch out = matchDevice(devices.names(WaveDirection::output), *args.outDevice, "output");
  const DeviceMatch in = matchDevice(devices.names(WaveDirection::input), *args.inDevice, "input");
  for (const DeviceMatch* m : {&out, &in}) {
    if (!m->ok) {
      err << "sonrake-cli: " << m->error << "\nTry 'sonrake-cli devices'.\n";
      return kCliBadUsage;
    }
  }
  if (args.micPath && !applyMicFile(*args.micPath, app, reporter)) return kCliRunFailed;

  s.outDeviceId = static_cast<int16_t>(out.index);
  s.inDeviceId = static_cast<int16_t>(in.index);
  const std::string description = runDescription(s, devices.names(WaveDirection::output)[out.index],
                                                 devices.names(WaveDirection::input)[in.index]);

  if (!calibrating && args.requireCalibration && !isCalibrated(s)) {
    reporter.message("the sound card is not calibrated for " + description.substr(description.find(", ") + 2) +
                     "; run 'sonrake-cli calibrate' first");
    return kCliRunFailed;
  }

  s.driverInputs.reDcOhm = args.reDcOhm.value_or(0.0);
  // One run, never cyclic and never delayed.
  s.setup.cyclic = false;
  s.setup.delayedStart = false;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " (%.2f s)", app.recordingSeconds());
  reporter.progress(std::string(calibrating ? "calibrating: " : "measuring: ") + description + seconds);
  if (calibrating) {
    app.calibrateClicked();
  } else {
    app.startClicked();
  }
  waitForRunEnd(devices, notices, app, observer);
  if (observer.exitCode() != 0) return kCliRunFailed;
  if (observer.outcome() != RunOutcome::completed) return kCliRunFailed;

  if (calibrating) {
    const std::string path = dataFilePath(dataDir, kCalFileName);
    if (!writeCalFile(s.soundcardCal, s.micCal, dataDir)) {
      reporter.message("could not write " + path);
      return kCliRunFailed;
    }
    reporter.progress("calibration stored in " + path);
    return kCliOk;
  }

  return writeResults(args, app, reporter, stdOut, err);
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const CliParseResult parsed = parseCliArgs(args);
  if (!parsed.ok) {
    err << "sonrake-cli: " << parsed.error << '\n';
    if (!parsed.hint.empty()) err << parsed.hint << '\n';
    return kCliBadUsage;
  }
  if (parsed.helpRequested) {
    out << parsed.helpText;
    return kCliOk;
  }
  Reporter reporter(err, parsed.args.quiet);
  switch (parsed.args.command) {
    case CliCommand::devices:
      return listDevices(out);
    case CliCommand::calibrate:
    case CliCommand::measure:
      return runMeasurement(parsed.args, reporter, out, err);
    case CliCommand::params:
      return runParamsCommand(parsed.args, out, err);
    case CliCommand::convert:
      return convertCurve(parsed.args, reporter);
    case CliCommand::analyse: return analyseRecording(parsed.args, reporter, out, err);
    case CliCommand::excitation: return writeExcitation(parsed.args, reporter);
    case CliCommand::none:
      break;
  }
  out << cliHelpText(CliCommand::none);
  return kCliOk;
}
