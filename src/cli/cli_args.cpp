#include "cli/cli_args.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <system_error>
#include <utility>

#include "setup/control_lists.h"
#include "setup/meas_setup.h"

namespace {

constexpr const char* kProgram = "sonrake-cli";

constexpr unsigned commandBit(CliCommand c) { return 1u << static_cast<unsigned>(c); }
// Which subcommands an option belongs to. Global options are accepted anywhere,
// before the subcommand and in "help" too.
// The devices belong to the runs on a sound card; the settings of a run to
// the offline analysis of a recording too.
constexpr unsigned kDeviceCommands =
    commandBit(CliCommand::calibrate) | commandBit(CliCommand::measure);
constexpr unsigned kRunCommands = kDeviceCommands | commandBit(CliCommand::analyse);
constexpr unsigned kMeasureOnly = commandBit(CliCommand::measure) | commandBit(CliCommand::analyse);
constexpr unsigned kSequenceCommands = kRunCommands | commandBit(CliCommand::excitation);
constexpr unsigned kExcitationOnly = commandBit(CliCommand::excitation);
constexpr unsigned kParamsOnly = commandBit(CliCommand::params);
constexpr unsigned kParamsOutput = commandBit(CliCommand::params) | kMeasureOnly;
constexpr unsigned kCurveCommands = kMeasureOnly | commandBit(CliCommand::convert);
constexpr unsigned kModeCommands = kRunCommands | commandBit(CliCommand::convert);
constexpr unsigned kGlobal = ~0u;

// The --smoothing words by smoothIndex, in the order of the window's list.
constexpr std::array<std::string_view, 7> kSmoothingWords = {"none", "1/24", "1/12", "1/6",
                                                             "1/3",  "1/2",  "1"};
static_assert(kSmoothingWords.size() == smoothingNames.size());
// The ranges of the two graph edges do not overlap, so any accepted pair has
// LOW below HIGH.
static_assert(kCliFreqLowMaxHz < kCliFreqHighMinHz);

// x in the fewest digits that read back as x ("0.1", "50000").
std::string shortest(double x) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

// The whole text as a decimal integer: no sign other than '-', no spaces.
bool readInt(std::string_view text, int32_t& out) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// The whole text as a finite decimal number ("8", "8.2", ".5", "1e3").
bool readDouble(std::string_view text, double& out) {
  if (text.empty()) return false;
  const auto r =
      std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(out);
}

// Built by appending: GCC 12 warns wrongly about "'" + std::string(...).
std::string quoted(std::string_view text) {
  std::string q(1, '\'');
  q += text;
  q += '\'';
  return q;
}

// Each apply function takes the value of one option and returns "" or the
// one-line error.
using Apply = std::string (*)(const std::string& value, CliArgs& args);

std::string applyQuiet(const std::string&, CliArgs& a) {
  a.quiet = true;
  return "";
}

std::string applyIn(const std::string& v, CliArgs& a) {
  a.inDevice = v;
  return "";
}

std::string applyOut(const std::string& v, CliArgs& a) {
  a.outDevice = v;
  return "";
}

std::string applyExport(const std::string& v, CliArgs& a) {
  a.exportPath = v;
  return "";
}

std::string applyMic(const std::string& v, CliArgs& a) {
  a.micPath = v;
  return "";
}

std::string applySession(const std::string& v, CliArgs& a) {
  a.sessionPath = v;
  return "";
}

std::string applyImpulseWav(const std::string& v, CliArgs& a) {
  a.impulseWavPath = v;
  return "";
}

std::string applyRepeats(const std::string& v, CliArgs& a) {
  int32_t n = 0;
  if (!readInt(v, n) || n < kCliRepeatsMin || n > kCliRepeatsMax)
    return "--repeats must be a whole number from " + std::to_string(kCliRepeatsMin) + " to " +
           std::to_string(kCliRepeatsMax) + ", not " + quoted(v);
  a.repeats = n;
  return "";
}

std::string applyUnsmoothed(const std::string&, CliArgs& a) {
  a.unsmoothed = true;
  return "";
}

std::string applyRate(const std::string& v, CliArgs& a) {
  int32_t hz = 0;
  if (!readInt(v, hz)) return "--rate must be a whole number of Hz, not " + quoted(v);
  if (hz < kCliRateMinHz || hz > kCliRateMaxHz) {
    return "--rate must be " + std::to_string(kCliRateMinHz) + " to " +
           std::to_string(kCliRateMaxHz) + " Hz, not " + v;
  }
  // Entry 0 of the table only holds the place of the custom rate, so its
  // value counts as a custom rate like any other.
  int32_t index = 0;
  for (int32_t i = 1; i < kSampleRateCount; ++i) {
    if (sampleRateTable[i] == hz) index = i;
  }
  a.settings.sRateIndex = index;
  a.settings.sampleRate = hz;
  return "";
}

std::string applyOrder(const std::string& v, CliArgs& a) {
  int32_t order = 0;
  if (!readInt(v, order)) return "--order must be a whole number, not " + quoted(v);
  if (order < kCliOrderMin || order > kCliOrderMax) {
    return "--order must be " + std::to_string(kCliOrderMin) + " to " +
           std::to_string(kCliOrderMax) + ", not " + v;
  }
  a.settings.mlsOrder = order;
  return "";
}

std::string applyMode(const std::string& v, CliArgs& a) {
  if (v == "spl") {
    a.settings.impedanceMode = 0;
  } else if (v == "impedance") {
    a.settings.impedanceMode = 1;
  } else {
    return "--mode must be spl or impedance, not " + quoted(v);
  }
  return "";
}

std::string applyTwoChannel(const std::string&, CliArgs& a) {
  a.settings.twoChannel = true;
  return "";
}

std::string applyChannel(const std::string& v, CliArgs& a) {
  if (v == "1") {
    a.settings.showChannel = 0;
  } else if (v == "2") {
    a.settings.showChannel = 1;
  } else if (v == "1-2") {
    a.settings.showChannel = 2;
  } else {
    return "--channel must be 1, 2 or 1-2, not " + quoted(v);
  }
  return "";
}

std::string applyResistor(const std::string& v, CliArgs& a) {
  double ohm = 0.0;
  if (!readDouble(v, ohm)) return "--resistor must be a number of ohms, not " + quoted(v);
  if (ohm < kCliSeriesRMinOhm || ohm > kCliSeriesRMaxOhm) {
    return "--resistor must be " + shortest(kCliSeriesRMinOhm) + " to " +
           shortest(kCliSeriesRMaxOhm) + " ohm, not " + v;
  }
  a.settings.seriesR = ohm;
  return "";
}

// A whole number of samples within [lo, hi] into out.
std::string readSamples(const char* option, const std::string& v, int32_t lo, int32_t hi,
                        std::optional<int32_t>& out) {
  int32_t n = 0;
  if (!readInt(v, n))
    return std::string(option) + " must be a whole number of samples, not " + quoted(v);
  if (n < lo || n > hi) {
    return std::string(option) + " must be " + std::to_string(lo) + " to " + std::to_string(hi) +
           " samples, not " + v;
  }
  out = n;
  return "";
}

std::string applyWindow(const std::string& v, CliArgs& a) {
  return readSamples("--window", v, kCliWinLengthMin, kCliWinLengthMax, a.settings.winLength);
}

std::string applyOffset(const std::string& v, CliArgs& a) {
  return readSamples("--offset", v, kCliWinStartMin, kCliWinStartMax, a.settings.winStart);
}

std::string applySmoothing(const std::string& v, CliArgs& a) {
  for (size_t i = 0; i < kSmoothingWords.size(); ++i) {
    if (v == kSmoothingWords[i]) {
      a.settings.smoothIndex = static_cast<uint8_t>(i);
      return "";
    }
  }
  return "--smoothing must be none, 1/24, 1/12, 1/6, 1/3, 1/2 or 1, not " + quoted(v);
}

std::string applyRange(const std::string& v, CliArgs& a) {
  const size_t dash = v.find('-');
  double low = 0.0;
  double high = 0.0;
  if (dash == std::string::npos || !readDouble(std::string_view(v).substr(0, dash), low) ||
      !readDouble(std::string_view(v).substr(dash + 1), high)) {
    return "--range must be LOW-HIGH in Hz, not " + quoted(v);
  }
  if (low < kCliFreqLowMinHz || low > kCliFreqLowMaxHz) {
    return "--range must start at " + shortest(kCliFreqLowMinHz) + " to " +
           shortest(kCliFreqLowMaxHz) + " Hz, not " + v.substr(0, dash);
  }
  if (high < kCliFreqHighMinHz || high > kCliFreqHighMaxHz) {
    return "--range must end at " + shortest(kCliFreqHighMinHz) + " to " +
           shortest(kCliFreqHighMaxHz) + " Hz, not " + v.substr(dash + 1);
  }
  a.settings.freqLow = low;
  a.settings.freqHigh = high;
  return "";
}

std::string applyAverages(const std::string& v, CliArgs& a) {
  int32_t n = 0;
  if (readInt(v, n)) {
    for (int32_t choice : averagesTable) {
      if (choice == n) {
        a.settings.averages = n;
        return "";
      }
    }
  }
  return "--averages must be 1, 2, 4, 8, 16 or 32, not " + quoted(v);
}

std::string applyExact(const std::string&, CliArgs& a) {
  a.settings.exactEvaluation = true;
  return "";
}

std::string applyWindowShape(const std::string& v, CliArgs& a) {
  if (v == "cosine") {
    a.settings.windowShape = kWindowQuarterCosine;
  } else if (v == "flat") {
    a.settings.windowShape = kWindowFlatHann;
  } else {
    return "--window-shape must be cosine or flat, not " + quoted(v);
  }
  return "";
}

std::string applyRequireCalibration(const std::string&, CliArgs& a) {
  a.requireCalibration = true;
  return "";
}

// A number within [lo, hi] of `what` into out.
std::string readBounded(const char* option, const char* what, const std::string& v, double lo,
                        double hi, std::optional<double>& out) {
  double x = 0.0;
  if (!readDouble(v, x)) return std::string(option) + " must be a number of " + what + ", not " + quoted(v);
  if (x < lo || x > hi) {
    return std::string(option) + " must be " + shortest(lo) + " to " + shortest(hi) + " " + what +
           ", not " + v;
  }
  out = x;
  return "";
}

std::string applyParams(const std::string&, CliArgs& a) {
  a.params = true;
  return "";
}

std::string applyJson(const std::string&, CliArgs& a) {
  a.json = true;
  return "";
}

std::string applyReDc(const std::string& v, CliArgs& a) {
  return readBounded("--re-dc", "ohm", v, kCliReDcMinOhm, kCliReDcMaxOhm, a.reDcOhm);
}

std::string applyAddedMass(const std::string& v, CliArgs& a) {
  return readBounded("--added-mass", "g", v, kCliAddedMassMinG, kCliAddedMassMaxG, a.addedMassG);
}

std::string applySd(const std::string& v, CliArgs& a) {
  return readBounded("--sd", "cm2", v, kCliSdMinCm2, kCliSdMaxCm2, a.sdCm2);
}

std::string applyBoxLitres(const std::string& v, CliArgs& a) {
  return readBounded("--box-litres", "l", v, kCliBoxMinLitres, kCliBoxMaxLitres, a.boxLitres);
}

std::string applyWithMass(const std::string& v, CliArgs& a) {
  a.withMassFile = v;
  return "";
}

std::string applyInBox(const std::string& v, CliArgs& a) {
  a.inBoxFile = v;
  return "";
}

struct OptionDef {
  std::string_view name;  // long form, "--order"
  bool takesValue;
  unsigned commands;  // commandBit of each subcommand it belongs to
  Apply apply;        // null for --help, which the parser handles itself
};

constexpr std::array<OptionDef, 32> kOptions = {{
    {"--help", false, kGlobal, nullptr},
    {"--quiet", false, kGlobal, applyQuiet},
    {"--in", true, kDeviceCommands, applyIn},
    {"--out", true, kDeviceCommands, applyOut},
    {"--rate", true, kSequenceCommands, applyRate},
    {"--order", true, kSequenceCommands, applyOrder},
    {"--mode", true, kModeCommands, applyMode},
    {"--exact", false, kRunCommands, applyExact},
    {"--averages", true, kRunCommands, applyAverages},
    {"--window", true, kRunCommands, applyWindow},
    {"--two-channel", false, kMeasureOnly, applyTwoChannel},
    {"--channel", true, kMeasureOnly, applyChannel},
    {"--resistor", true, kMeasureOnly, applyResistor},
    {"--window-shape", true, kMeasureOnly, applyWindowShape},
    {"--offset", true, kMeasureOnly, applyOffset},
    {"--smoothing", true, kCurveCommands, applySmoothing},
    {"--range", true, kCurveCommands, applyRange},
    {"--require-calibration", false, kMeasureOnly, applyRequireCalibration},
    {"--export", true, kMeasureOnly, applyExport},
    {"--params", false, kMeasureOnly, applyParams},
    {"--json", false, kParamsOutput, applyJson},
    {"--re-dc", true, kParamsOutput, applyReDc},
    {"--added-mass", true, kParamsOnly, applyAddedMass},
    {"--with-mass", true, kParamsOnly, applyWithMass},
    {"--sd", true, kParamsOnly, applySd},
    {"--box-litres", true, kParamsOnly, applyBoxLitres},
    {"--in-box", true, kParamsOnly, applyInBox},
    {"--mic", true, kMeasureOnly, applyMic},
    {"--session", true, kMeasureOnly, applySession},
    {"--unsmoothed", false, kMeasureOnly, applyUnsmoothed},
    {"--export-ir", true, kMeasureOnly, applyImpulseWav},
    {"--repeats", true, kExcitationOnly, applyRepeats},
}};

const OptionDef* findOption(std::string_view name) {
  if (name == "-h") name = "--help";
  if (name == "-q") name = "--quiet";
  for (const OptionDef& d : kOptions) {
    if (d.name == name) return &d;
  }
  return nullptr;
}

// "-x" or "--x...": an option rather than a value. "-5" stays a value, so that
// an out-of-range number is reported as such.
bool looksLikeOption(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  const char c = arg[1];
  return c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool findCommand(std::string_view word, CliCommand& out) {
  for (CliCommand c :
       {CliCommand::devices, CliCommand::calibrate, CliCommand::measure, CliCommand::params,
        CliCommand::convert, CliCommand::analyse, CliCommand::excitation}) {
    if (word == cliCommandName(c)) {
      out = c;
      return true;
    }
  }
  return false;
}

// "a", "a and b", "a, b and c".
std::string joinList(const std::vector<std::string_view>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += (i + 1 == items.size()) ? " and " : ", ";
    out += items[i];
  }
  return out;
}

std::string missingRequired(const CliArgs& a) {
  std::vector<std::string_view> missing;
  if (a.command == CliCommand::calibrate || a.command == CliCommand::measure) {
    if (!a.inDevice) missing.push_back("--in");
    if (!a.outDevice) missing.push_back("--out");
  }
  if (a.command == CliCommand::measure && !a.exportPath && !a.params && !a.sessionPath &&
      !a.impulseWavPath)
    missing.push_back("--export");
  if (a.command == CliCommand::analyse && a.inputPath.empty()) missing.push_back("REC.wav");
  if (a.command == CliCommand::excitation && a.inputPath.empty()) missing.push_back("FILE.wav");
  if (a.command == CliCommand::params && !a.paramsFile) missing.push_back("FILE");
  if (a.command == CliCommand::convert) {
    if (a.inputPath.empty()) missing.push_back("IN");
    if (a.outputPath.empty()) missing.push_back("OUT");
  }
  if (missing.empty()) return "";
  return std::string(cliCommandName(a.command)) + " needs " + joinList(missing);
}

// The options of the driver parameters that only make sense together.
std::string paramsConflict(const CliArgs& a) {
  if (a.command == CliCommand::measure || a.command == CliCommand::analyse) {
    if ((a.json || a.reDcOhm) && !a.params) return "--json and --re-dc need --params";
    if (a.params && a.settings.impedanceMode != std::optional<uint8_t>(1))
      return "--params needs --mode impedance";
    return "";
  }
  if (a.command != CliCommand::params) return "";
  const bool mass = a.addedMassG || a.withMassFile;
  const bool box = a.boxLitres || a.inBoxFile;
  if (mass && box) return "--added-mass and --box-litres exclude each other";
  if (mass && !(a.addedMassG && a.withMassFile && a.sdCm2))
    return "--added-mass needs --with-mass and --sd";
  if (box && !(a.boxLitres && a.inBoxFile)) return "--box-litres needs --in-box";
  if (a.sdCm2 && !mass && !box) return "--sd needs --added-mass or --box-litres";
  return "";
}

CliParseResult helpResult(CliCommand topic) {
  CliParseResult r;
  r.ok = true;
  r.helpRequested = true;
  r.helpText = cliHelpText(topic);
  r.args.command = topic;
  return r;
}

CliParseResult errorResult(CliCommand command, std::string error) {
  CliParseResult r;
  r.error = std::move(error);
  r.args.command = command;
  if (command == CliCommand::none) {
    r.hint = std::string("Try '") + kProgram + " --help'.";
  } else {
    r.hint = std::string("Try '") + kProgram + " " + cliCommandName(command) + " --help'.";
  }
  return r;
}

constexpr const char* kExitStatus = "Exit status: 0 success, 1 failed run, 2 bad usage.\n";

constexpr const char* kRunOptions =
    "  --rate HZ             sample rate, 1000 to 200000 Hz\n"
    "  --order N             MLS order, 12 to 15 (2^N samples)\n"
    "  --mode spl|impedance  SPL response, or impedance through a series resistor\n"
    "  --exact               evaluate every grid point directly, not from FFT bins\n"
    "  --averages N          periods averaged, 1, 2, 4, 8, 16 or 32 (one more is\n"
    "                        played first to settle the system); default 1\n"
    "  --window SAMPLES      analysis window length, 100 to 32767 (a calibration\n"
    "                        takes the longest window the sequence allows)\n";

// The settings and outputs measure and analyse share, after the run options.
constexpr const char* kMeasureSettings =
    "  --two-channel         record the right input as a reference too\n"
    "  --channel 1|2|1-2     two-channel SPL result: channel 1, channel 2,\n"
    "                        or channel 1 relative to channel 2\n"
    "  --resistor OHM        series resistor for impedance, 0.1 to 1000 ohm\n"
    "  --window-shape cosine|flat\n"
    "                        quarter cosine, or flat over the direct sound then\n"
    "                        half-Hann\n"
    "  --offset SAMPLES      analysis window offset, 0 to 4096\n"
    "  --smoothing none|1/24|1/12|1/6|1/3|1/2|1\n"
    "                        smoothing in fractions of an octave\n"
    "  --range LOW-HIGH      frequency range in Hz, LOW 5 to 500, HIGH 2000 to 50000\n"
    "  --require-calibration fail unless the sound card is calibrated for these\n"
    "                        settings (default: off)\n"
    "  --params              with --mode impedance: print the driver's parameters\n"
    "                        (then --export is optional)\n"
    "  --re-dc OHM           with --params: Re measured with a meter, 0.01 to 1000\n"
    "  --json                with --params: print them as JSON\n";

}  // namespace

const char* cliCommandName(CliCommand command) {
  switch (command) {
    case CliCommand::devices: return "devices";
    case CliCommand::calibrate: return "calibrate";
    case CliCommand::measure: return "measure";
    case CliCommand::params: return "params";
    case CliCommand::convert: return "convert";
    case CliCommand::analyse: return "analyse";
    case CliCommand::excitation: return "excitation";
    case CliCommand::none: break;
  }
  return "";
}

std::string cliHelpText(CliCommand command) {
  std::string t;
  switch (command) {
    case CliCommand::none:
      t = "Usage: sonrake-cli [-q] SUBCOMMAND [OPTIONS]\n"
          "Measures loudspeakers with a maximum-length sequence (MLS).\n"
          "\n"
          "Subcommands:\n"
          "  devices            list the input and output devices\n"
          "  calibrate          calibrate the sound card through a loopback cable\n"
          "  measure            measure a response and export it as text\n"
          "  params             a driver's parameters from exported impedance curves\n"
          "  convert            read a curve file and write it in another format\n"
          "  excitation         write the excitation as a WAV file, for any player\n"
          "  analyse            analyse a WAV recording of that excitation as a measurement\n"
          "  help [SUBCOMMAND]  show this help or that of a subcommand\n"
          "\n"
          "Options:\n"
          "  -q, --quiet  no progress messages on stderr\n"
          "  -h, --help   show this help; after a subcommand, that subcommand's\n"
          "\n"
          "Settings not given on the command line come from sonrake.cfg.\n";
      break;
    case CliCommand::devices:
      t = "Usage: sonrake-cli devices [-q]\n"
          "Lists the input and output devices, simulated ones included. --in and\n"
          "--out choose a device by its full name, or by a part of its name that\n"
          "no other device of that direction has (case ignored).\n"
          "\n"
          "  -q, --quiet  no progress messages on stderr\n"
          "  -h, --help   show this help\n"
          "\n";
      break;
    case CliCommand::calibrate:
      t = std::string(
              "Usage: sonrake-cli calibrate --in NAME --out NAME [OPTIONS]\n"
              "Measures the sound card with its output looped back to its input and\n"
              "keeps the result as the calibration for this mode, rate and order.\n"
              "\n"
              "  --in NAME             input device (see 'sonrake-cli devices')\n"
              "  --out NAME            output device\n") +
          kRunOptions +
          "  -q, --quiet           no progress messages on stderr\n"
          "  -h, --help            show this help\n"
          "\n"
          "Default for --rate and --order: from sonrake.cfg; --mode: spl.\n";
      break;
    case CliCommand::measure:
      t = std::string(
              "Usage: sonrake-cli measure --in NAME --out NAME --export FILE [OPTIONS]\n"
              "Plays the MLS on the output while recording the input and writes the\n"
              "response within the range to FILE: frequency, level, phase per line.\n"
              "\n"
              "  --in NAME             input device (see 'sonrake-cli devices')\n"
              "  --out NAME            output device\n"
              "  --export FILE         file to write: .frd or .zma (with a '*' comment\n"
              "                        header), .csv, or anything else as plain text\n"
              "  --mic FILE            microphone calibration file for this run\n"
              "  --session FILE        also save the measurement as a session (.sonrake)\n"
              "  --unsmoothed          export the curve without smoothing\n"
              "  --export-ir FILE      also write the impulse response as a 32-bit float WAV\n"
              "                        (both channels in two-channel and impedance mode)\n") +
          kRunOptions + kMeasureSettings +
          "  -q, --quiet           no progress messages on stderr\n"
          "  -h, --help            show this help\n"
          "\n"
          "Defaults: --rate, --order and --resistor from sonrake.cfg; --mic: the\n"
          "microphone file sonrake.cfg names, when it is in use; the others as the\n"
          "window starts (spl, one channel, window 8192 from 0, quarter cosine, FFT bins,\n"
          "no smoothing, 20-20000).\n";
      break;
    case CliCommand::params:
      t = "Usage: sonrake-cli params FILE [--re-dc OHM]\n"
          "         [--added-mass G --with-mass FILE2 --sd CM2 | --box-litres L --in-box FILE2]\n"
          "         [--json]\n"
          "Fits the driver model to the impedance curve in FILE (an impedance export of\n"
          "this program) and prints Re, fs, Zmax, Qms, Qes, Qts, Le and the fit's\n"
          "residual; with a second curve of the same driver also Mms, Cms, Bl, Rms,\n"
          "Vas, the reference efficiency and the sensitivity (air: rho 1.18 kg/m3,\n"
          "c 343 m/s). One \"key value unit\" line each, or JSON.\n"
          "\n"
          "  --re-dc OHM           Re measured with a meter, 0.01 to 1000 ohm; held in\n"
          "                        the fit instead of the fitted Re\n"
          "  --added-mass G        mass stuck to the cone for FILE2, 0.01 to 10000 g\n"
          "  --with-mass FILE2     the curve with that mass on the cone\n"
          "  --sd CM2              cone area, 0.1 to 10000 cm2 (with a box: optional,\n"
          "                        needed for Mms, Cms, Bl and Rms)\n"
          "  --box-litres L        volume of a sealed box, 0.01 to 10000 l\n"
          "  --in-box FILE2        the curve of the driver on that box\n"
          "  --json                print JSON instead of lines\n"
          "  -q, --quiet           no progress messages on stderr\n"
          "  -h, --help            show this help\n"
          "\n"
          "A curve without a resonance in its range, an open circuit, a resistor, or a\n"
          "second curve whose fs does not move the right way is a failed run (1).\n";
      break;
    case CliCommand::convert:
      t = "Usage: sonrake-cli convert IN OUT [OPTIONS]\n"
          "Reads the curve file IN (FRD, ZMA or text: frequency, level or impedance,\n"
          "phase per line; comment lines and commas or semicolons allowed), puts it\n"
          "onto the program's frequency grid and writes it to OUT in the format its\n"
          "extension names (.frd, .zma, .csv, else plain text).\n"
          "\n"
          "  --mode spl|impedance  how IN is read (default: impedance for .zma,\n"
          "                        else spl)\n"
          "  --range LOW-HIGH      frequency range written, Hz (default: the whole grid,\n"
          "                        5-50000)\n"
          "  --smoothing none|1/24|1/12|1/6|1/3|1/2|1\n"
          "                        smoothing in fractions of an octave (default none)\n"
          "  -q, --quiet           no progress messages on stderr\n"
          "  -h, --help            show this help\n"
          "\n";
      break;
    case CliCommand::analyse:
      t = std::string(
              "Usage: sonrake-cli analyse REC.wav [--export FILE] [OPTIONS]\n"
              "Analyses a WAV recording of the excitation (see 'sonrake-cli excitation')\n"
              "made by any recorder as a measurement at these settings, the sound card\n"
              "and microphone calibration included. The recording is 16, 24 or 32-bit\n"
              "(integer or float), mono (the left input; one-channel SPL only) or stereo\n"
              "(left, right), at the measurement's rate; the sequence may start anywhere\n"
              "in it, and it must hold every period the measurement analyses after that.\n"
              "\n"
              "  --export FILE         file to write: .frd, .zma, .csv or plain text\n"
              "  --export-ir FILE      the impulse response as a 32-bit float WAV\n"
              "  --mic FILE            microphone calibration file for this analysis\n"
              "  --session FILE        also save the measurement as a session (.sonrake)\n"
              "  --unsmoothed          export the curve without smoothing\n") +
          kRunOptions + kMeasureSettings +
          "  -q, --quiet           no progress messages on stderr\n"
          "  -h, --help            show this help\n"
          "\n"
          "Defaults as for measure: --rate, --order and --resistor from sonrake.cfg.\n"
          "A file that is not a readable WAV, has another rate, more than two\n"
          "channels, no sequence or too little of it is refused (exit status 1).\n";
      break;
    case CliCommand::excitation:
      t = "Usage: sonrake-cli excitation FILE.wav [--rate HZ] [--order N] [--repeats N]\n"
          "Writes the excitation as 16-bit stereo WAV, sample for sample what the\n"
          "output plays: 2000 silent frames, then the sequence at full level on both\n"
          "channels. Play it through the loudspeaker while any recorder records the\n"
          "microphone, then 'sonrake-cli analyse' the recording.\n"
          "\n"
          "  --rate HZ             sample rate, 1000 to 200000 Hz\n"
          "  --order N             MLS order, 12 to 15 (2^N samples)\n"
          "  --repeats N           for an average of N periods (analyse --averages N):\n"
          "                        N + 1 periods back to back, 1 to 256; default 1,\n"
          "                        one period\n"
          "  -q, --quiet           no progress messages on stderr\n"
          "  -h, --help            show this help\n"
          "\n"
          "Default for --rate and --order: from sonrake.cfg.\n";
      break;
  }
  return t + kExitStatus;
}

CliParseResult parseCliArgs(const std::vector<std::string>& args) {
  CliArgs out;
  bool inHelp = false;  // after the word "help"
  std::optional<CliCommand> helpTopic;
  std::array<bool, kOptions.size()> seen{};

  size_t i = 0;
  while (i < args.size()) {
    const std::string& arg = args[i++];

    if (arg.size() < 2 || arg[0] != '-') {
      CliCommand c = CliCommand::none;
      if (inHelp && !helpTopic) {
        if (arg != "help" && !findCommand(arg, c)) {
          return errorResult(CliCommand::none, "unknown subcommand " + quoted(arg));
        }
        helpTopic = c;
      } else if (!inHelp && out.command == CliCommand::none) {
        if (arg == "help") {
          inHelp = true;
        } else if (findCommand(arg, c)) {
          out.command = c;
        } else {
          return errorResult(CliCommand::none, "unknown subcommand " + quoted(arg));
        }
      } else if (out.command == CliCommand::params && !out.paramsFile) {
        out.paramsFile = arg;
      } else if (!inHelp &&
                 (out.command == CliCommand::analyse || out.command == CliCommand::excitation) &&
                 out.inputPath.empty()) {
        out.inputPath = arg;
      } else if (!inHelp && out.command == CliCommand::convert && out.outputPath.empty()) {
        (out.inputPath.empty() ? out.inputPath : out.outputPath) = arg;
      } else {
        return errorResult(out.command, "unexpected argument " + quoted(arg));
      }
      continue;
    }

    // An option: "--name", "--name=value" or one of the short forms.
    const bool isLong = arg[1] == '-';
    const size_t eq = isLong ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, eq);
    const OptionDef* def = findOption(name);
    if (def == nullptr) return errorResult(out.command, "unknown option " + name);

    if (def->commands != kGlobal) {
      if (inHelp) return errorResult(CliCommand::none, name + " does not apply to help");
      if (out.command == CliCommand::none) {
        return errorResult(CliCommand::none, name + " must come after the subcommand");
      }
      if ((def->commands & commandBit(out.command)) == 0) {
        return errorResult(out.command, name + " does not apply to " + cliCommandName(out.command));
      }
    }

    std::string value;
    if (def->takesValue) {
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
      } else if (i < args.size() && !looksLikeOption(args[i])) {
        value = args[i++];
      }
      if (value.empty()) return errorResult(out.command, name + " needs a value");
      const size_t index = static_cast<size_t>(def - kOptions.data());
      if (seen[index]) return errorResult(out.command, name + " given twice");
      seen[index] = true;
    } else if (eq != std::string::npos) {
      return errorResult(out.command, name + " takes no value");
    }

    if (def->apply == nullptr) {
      return helpResult(inHelp ? helpTopic.value_or(CliCommand::none) : out.command);
    }
    std::string error = def->apply(value, out);
    if (!error.empty()) return errorResult(out.command, std::move(error));
  }

  if (inHelp) return helpResult(helpTopic.value_or(CliCommand::none));
  if (out.command == CliCommand::none) {
    return errorResult(CliCommand::none, "no subcommand given");
  }
  std::string missing = missingRequired(out);
  if (!missing.empty()) return errorResult(out.command, std::move(missing));
  std::string conflict = paramsConflict(out);
  if (!conflict.empty()) return errorResult(out.command, std::move(conflict));

  CliParseResult r;
  r.ok = true;
  r.args = std::move(out);
  return r;
}
