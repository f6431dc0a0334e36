#pragma once
// The command line of sonrake-cli: the subcommand, its options and the
// measurement settings they override, parsed and checked without any I/O so
// that every rule can be tried with a vector of strings.
//
//   sonrake-cli [-q] devices
//   sonrake-cli [-q] calibrate --in NAME --out NAME [settings]
//   sonrake-cli [-q] measure --in NAME --out NAME --export FILE [--mic FILE] [--session FILE] [settings]
//   sonrake-cli [-q] measure --in NAME --out NAME --mode impedance --params [--export FILE]
//   sonrake-cli params FILE [--re-dc OHM] [--added-mass G --with-mass FILE2 --sd CM2 |
//                            --box-litres L --in-box FILE2 [--sd CM2]] [--json]
//   sonrake-cli [-q] convert IN OUT [--mode spl|impedance] [--range LOW-HIGH] [--smoothing S]
//   sonrake-cli [-q] analyse REC.wav [--export FILE] [--export-ir FILE.wav] [measure's settings]
//   sonrake-cli [-q] excitation FILE.wav [--rate HZ] [--order N] [--repeats N]
//   (measure also takes --export-ir FILE.wav: the impulse response as WAV)
//   sonrake-cli help [SUBCOMMAND]
//
// Every option takes its value either as the next argument ("--order 13") or
// after an equals sign ("--order=13"); a next argument that looks like an
// option ("-x", "--x") is not taken as a value, so a value starting that way
// needs the equals form ("--in=-odd-name"). A setting that is not given stays
// empty, so that the caller takes it from the stored configuration instead.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "setup/meas_setup.h"
#include "setup/setting_limits.h"

enum class CliCommand : uint8_t {
  none,
  devices,
  calibrate,
  measure,
  params,
  convert,
  analyse,
  excitation
};

// The limits of the window's entries for the same settings, inclusive; the
// command line accepts exactly what the window accepts.
inline constexpr int32_t kCliRateMinHz = static_cast<int32_t>(kCustomRateRange.min);
inline constexpr int32_t kCliRateMaxHz = static_cast<int32_t>(kCustomRateRange.max);
inline constexpr int32_t kCliOrderMin = mlsOrderTable.front();
inline constexpr int32_t kCliOrderMax = mlsOrderTable.back();
inline constexpr double kCliSeriesRMinOhm = kSeriesRRange.min;
inline constexpr double kCliSeriesRMaxOhm = kSeriesRRange.max;
inline constexpr int32_t kCliWinLengthMin = static_cast<int32_t>(kWinLengthRange.min);  // samples
inline constexpr int32_t kCliWinLengthMax = static_cast<int32_t>(kWinLengthRange.max);
inline constexpr int32_t kCliWinStartMin = static_cast<int32_t>(kWinStartRange.min);  // samples
inline constexpr int32_t kCliWinStartMax = static_cast<int32_t>(kWinStartRange.max);
inline constexpr double kCliFreqLowMinHz = kFreqLowRange.min;  // lower edge of the frequency graph
inline constexpr double kCliFreqLowMaxHz = kFreqLowRange.max;
inline constexpr double kCliFreqHighMinHz = kFreqHighRange.min;  // upper edge of the frequency graph
inline constexpr double kCliFreqHighMaxHz = kFreqHighRange.max;

// The measurement settings given on the command line, named and valued as the
// fields of MeasSetup they override. Each one is checked against the limits
// above; an empty one was not given.
struct CliSettings {
  // --rate: 1..10 for a rate of sampleRateTable, 0 for any other (custom)
  // rate. sampleRate is the rate in Hz in both cases and is set whenever
  // sRateIndex is.
  std::optional<int32_t> sRateIndex;
  std::optional<int32_t> sampleRate;
  // --order: 12..15. MeasSetup::setMlsOrder takes the list index mlsOrder - 12.
  std::optional<int32_t> mlsOrder;
  std::optional<uint8_t> impedanceMode;  // --mode: 0 spl, 1 impedance
  std::optional<bool> twoChannel;        // --two-channel: only ever true
  std::optional<uint8_t> showChannel;    // --channel: 0 "1", 1 "2", 2 "1-2"
  std::optional<double> seriesR;         // --resistor, ohm
  std::optional<int32_t> winLength;      // --window, samples
  std::optional<int32_t> winStart;       // --offset, samples
  std::optional<uint8_t> smoothIndex;    // --smoothing: item of smoothingNames
  std::optional<double> freqLow;         // --range, Hz; set together with freqHigh
  std::optional<double> freqHigh;
  std::optional<bool> exactEvaluation;  // --exact: only ever true
  std::optional<int32_t> averages;      // --averages: one of averagesTable
  std::optional<uint8_t> windowShape;   // --window-shape: kWindowQuarterCosine or kWindowFlatHann
};

// Everything a run needs from the command line.
struct CliArgs {
  CliCommand command = CliCommand::none;
  bool quiet = false;                     // -q: no progress messages on stderr
  std::optional<std::string> inDevice;    // --in: name or part of a name
  std::optional<std::string> outDevice;   // --out
  std::optional<std::string> exportPath;  // --export
  std::optional<std::string> micPath;     // --mic: microphone file for this run
  std::optional<std::string> sessionPath;  // --session: the measurement saved as a session
  bool unsmoothed = false;                // --unsmoothed: export the curve without smoothing
  std::optional<std::string> impulseWavPath;  // --export-ir: the impulse response as WAV
  std::optional<int32_t> repeats;             // --repeats: excitation for an average of N periods
  std::string inputPath;                      // convert: the curve file to read; analyse: the
                                              // recording; excitation: the WAV file to write
  std::string outputPath;                 // convert: the file to write
  bool requireCalibration = false;        // --require-calibration
  CliSettings settings;

  // The driver parameters: of a measurement (--params), or of the curve
  // in paramsFile (the params subcommand), with the second curve's file and
  // inputs; printed as "key value unit" lines, or as JSON (--json).
  bool params = false;
  bool json = false;
  std::optional<std::string> paramsFile;  // params: FILE
  std::optional<double> reDcOhm;          // --re-dc
  std::optional<double> addedMassG;       // --added-mass
  std::optional<std::string> withMassFile;  // --with-mass
  std::optional<double> sdCm2;            // --sd
  std::optional<double> boxLitres;        // --box-litres
  std::optional<std::string> inBoxFile;   // --in-box
};

// The limits of the driver parameters' inputs, inclusive.
inline constexpr int32_t kCliRepeatsMin = 1;
inline constexpr int32_t kCliRepeatsMax = 256;  // kMaxExcitationAverages
inline constexpr double kCliReDcMinOhm = 0.01;
inline constexpr double kCliReDcMaxOhm = 1000.0;
inline constexpr double kCliAddedMassMinG = 0.01;
inline constexpr double kCliAddedMassMaxG = 10000.0;
inline constexpr double kCliSdMinCm2 = 0.1;
inline constexpr double kCliSdMaxCm2 = 10000.0;
inline constexpr double kCliBoxMinLitres = 0.01;
inline constexpr double kCliBoxMaxLitres = 10000.0;

// What parsing gives. ok with helpRequested: print helpText on stdout and exit
// 0. Not ok: error is one line without the program name and hint the line that
// points to the matching help ("Try 'sonrake-cli measure --help'."); the caller
// prints both and exits 2. Otherwise args is complete: the subcommand's
// required options are present and every value is within its limits.
struct CliParseResult {
  bool ok = false;
  std::string error;
  std::string hint;
  bool helpRequested = false;
  std::string helpText;
  CliArgs args;
};

// Parses the arguments after the program name (argv[1] onwards). The
// arguments are read from left to right and the first problem found is the one
// reported: an unknown subcommand or option, an option outside its subcommand
// (or, other than -q and -h, before it), an option given twice, a missing,
// malformed or out-of-range value, a value given to a flag, a stray argument,
// or a required option left out. -h/--help ends the parsing there with the
// help of the subcommand seen so far (the program's help before one). No
// subcommand at all (no arguments, or options alone) is an error.
CliParseResult parseCliArgs(const std::vector<std::string>& args);

// The help text of a subcommand, or of the program for CliCommand::none:
// usage line, options with their ranges and defaults, exit status. Ends in a
// newline.
std::string cliHelpText(CliCommand command);

// The subcommand's name as typed ("measure"); "" for CliCommand::none.
const char* cliCommandName(CliCommand command);
