#include "cli/cli_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// measure with its required options, followed by extra.
CliParseResult measureWith(const Args& extra) {
  Args args = {"measure", "--in", "i", "--out", "o", "--export", "f"};
  args.insert(args.end(), extra.begin(), extra.end());
  return parseCliArgs(args);
}

}  // namespace

TEST(CliArgs, MeasureWithEveryOptionFillsEveryField) {
  const CliParseResult r = parseCliArgs({"-q",
                                         "measure",
                                         "--in",
                                         "Sim in",
                                         "--out=Sim out",
                                         "--rate",
                                         "48000",
                                         "--order=14",
                                         "--mode",
                                         "impedance",
                                         "--two-channel",
                                         "--channel",
                                         "1-2",
                                         "--resistor",
                                         "8.2",
                                         "--window",
                                         "4096",
                                         "--offset=120",
                                         "--smoothing",
                                         "1/6",
                                         "--range",
                                         "31.5-20000",
                                         "--require-calibration",
                                         "--export",
                                         "out=1.txt"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(r.helpRequested);
  const CliArgs& a = r.args;
  EXPECT_EQ(a.command, CliCommand::measure);
  EXPECT_TRUE(a.quiet && a.requireCalibration);
  EXPECT_EQ(a.inDevice, "Sim in");
  EXPECT_EQ(a.outDevice, "Sim out");
  EXPECT_EQ(a.exportPath, "out=1.txt");  // only the first '=' separates
  const CliSettings& s = a.settings;
  EXPECT_EQ(s.sRateIndex, 7);  // 48000 is item 7 of the rate list
  EXPECT_EQ(s.sampleRate, 48000);
  EXPECT_EQ(s.mlsOrder, 14);
  EXPECT_EQ(s.impedanceMode, 1);
  EXPECT_EQ(s.twoChannel, true);
  EXPECT_EQ(s.showChannel, 2);
  EXPECT_EQ(s.seriesR, 8.2);
  EXPECT_EQ(s.winLength, 4096);
  EXPECT_EQ(s.winStart, 120);
  EXPECT_EQ(s.smoothIndex, 3);
  EXPECT_EQ(s.freqLow, 31.5);
  EXPECT_EQ(s.freqHigh, 20000.0);
}

// Whatever is not on the command line is left for the stored configuration.
TEST(CliArgs, SettingsNotGivenStayEmpty) {
  for (const Args& args : {Args{"measure", "--in", "i", "--out", "o", "--export", "f"},
                           Args{"calibrate", "--out", "o", "--in", "i"}, Args{"devices"}}) {
    const CliParseResult r = parseCliArgs(args);
    ASSERT_TRUE(r.ok) << r.error;
    const CliSettings& s = r.args.settings;
    EXPECT_FALSE(s.sRateIndex || s.sampleRate || s.mlsOrder || s.impedanceMode || s.twoChannel ||
                 s.showChannel || s.seriesR || s.winLength || s.winStart || s.smoothIndex ||
                 s.freqLow || s.freqHigh);
    EXPECT_FALSE(r.args.quiet || r.args.requireCalibration);
  }
  EXPECT_FALSE(parseCliArgs({"devices"}).args.inDevice);
  EXPECT_TRUE(parseCliArgs({"devices", "-q"}).args.quiet);
}

// List rates become their item, any other rate is custom (item 0), the
// list's placeholder 5666 included; words become the items of the window's
// lists; the window's limits are accepted at both ends.
TEST(CliArgs, ValuesMapOntoTheProgramsSettings) {
  const std::vector<std::pair<int, int>> rates = {{8000, 1}, {11025, 2}, {44100, 6},  {96000, 10},
                                                  {5666, 0}, {1000, 0},  {200000, 0}, {12345, 0}};
  for (const auto& [hz, index] : rates) {
    const CliSettings s = measureWith({"--rate", std::to_string(hz)}).args.settings;
    EXPECT_EQ(s.sRateIndex, index) << hz;
    EXPECT_EQ(s.sampleRate, hz);
  }
  for (int order = 12; order <= 15; ++order) {
    EXPECT_EQ(measureWith({"--order", std::to_string(order)}).args.settings.mlsOrder, order);
  }
  const char* smoothing[] = {"none", "1/24", "1/12", "1/6", "1/3", "1/2", "1"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(measureWith({"--smoothing", smoothing[i]}).args.settings.smoothIndex, i);
  }
  EXPECT_EQ(measureWith({"--mode", "spl"}).args.settings.impedanceMode, 0);
  for (int n : {1, 2, 4, 8, 16, 32}) EXPECT_EQ(measureWith({"--averages", std::to_string(n)}).args.settings.averages, n);
  EXPECT_EQ(measureWith({"--window-shape", "flat"}).args.settings.windowShape, kWindowFlatHann);
  EXPECT_EQ(measureWith({"--window-shape", "cosine"}).args.settings.windowShape, kWindowQuarterCosine);
  EXPECT_TRUE(*measureWith({"--exact"}).args.settings.exactEvaluation);
  EXPECT_EQ(measureWith({"--channel", "1"}).args.settings.showChannel, 0);
  EXPECT_EQ(measureWith({"--channel", "2"}).args.settings.showChannel, 1);
  for (const Args& edge :
       {Args{"--resistor", "0.1"}, Args{"--resistor", "1000"}, Args{"--window", "100"},
        Args{"--window", "32767"}, Args{"--offset", "0"}, Args{"--offset", "4096"},
        Args{"--range", "5-2000"}, Args{"--range", "500-50000"}}) {
    EXPECT_TRUE(measureWith(edge).ok) << edge[0] << " " << edge[1];
  }
}

TEST(CliArgs, MalformedAndOutOfRangeValuesAreRefused) {
  const std::vector<std::pair<Args, const char*>> cases = {
      {{"--rate", "0"}, "--rate must be 1000 to 200000 Hz, not 0"},
      {{"--rate", "200001"}, "--rate must be 1000 to 200000 Hz, not 200001"},
      {{"--rate", "48000.0"}, "--rate must be a whole number of Hz, not '48000.0'"},
      {{"--rate", "99999999999"}, "--rate must be a whole number of Hz, not '99999999999'"},
      {{"--order", "11"}, "--order must be 12 to 15, not 11"},
      {{"--order", "16"}, "--order must be 12 to 15, not 16"},
      {{"--order", "13.5"}, "--order must be a whole number, not '13.5'"},
      {{"--mode", "SPL"}, "--mode must be spl or impedance, not 'SPL'"},
      {{"--channel", "3"}, "--channel must be 1, 2 or 1-2, not '3'"},
      {{"--smoothing", "1/4"},
       "--smoothing must be none, 1/24, 1/12, 1/6, 1/3, 1/2 or 1, not '1/4'"},
      {{"--resistor", "0.09"}, "--resistor must be 0.1 to 1000 ohm, not 0.09"},
      {{"--resistor", "nan"}, "--resistor must be a number of ohms, not 'nan'"},
      {{"--window", "32768"}, "--window must be 100 to 32767 samples, not 32768"},
      {{"--window", "512.5"}, "--window must be a whole number of samples, not '512.5'"},
      // A negative number is taken as a value, not as an option.
      {{"--offset", "-1"}, "--offset must be 0 to 4096 samples, not -1"},
      {{"--range", "4-2000"}, "--range must start at 5 to 500 Hz, not 4"},
      {{"--range", "20-60000"}, "--range must end at 2000 to 50000 Hz, not 60000"},
      {{"--range", "20"}, "--range must be LOW-HIGH in Hz, not '20'"},
      {{"--averages", "3"}, "--averages must be 1, 2, 4, 8, 16 or 32, not '3'"},
      {{"--averages", "64"}, "--averages must be 1, 2, 4, 8, 16 or 32, not '64'"},
      {{"--window-shape", "hann"}, "--window-shape must be cosine or flat, not 'hann'"},
      {{"--range", "20-20000-30000"}, "--range must be LOW-HIGH in Hz, not '20-20000-30000'"},
  };
  for (const auto& [extra, error] : cases) {
    const CliParseResult r = measureWith(extra);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, error);
    EXPECT_EQ(r.hint, "Try 'sonrake-cli measure --help'.");
  }
}

// Each refusal is one line naming the problem, with a hint at the help of the
// subcommand concerned.
TEST(CliArgs, BadUsageIsReportedInOneLine) {
  const std::string toMain = "Try 'sonrake-cli --help'.";
  const std::string toMeasure = "Try 'sonrake-cli measure --help'.";
  const std::string toCalibrate = "Try 'sonrake-cli calibrate --help'.";
  const std::vector<std::tuple<Args, const char*, std::string>> cases = {
      {{}, "no subcommand given", toMain},
      {{"frobnicate"}, "unknown subcommand 'frobnicate'", toMain},
      {{"help", "frobnicate"}, "unknown subcommand 'frobnicate'", toMain},
      {{"help", "measure", "extra"}, "unexpected argument 'extra'", toMain},
      {{"help", "--in", "x"}, "--in does not apply to help", toMain},
      {{"--in", "x", "measure"}, "--in must come after the subcommand", toMain},
      {{"measure", "--foo=1"}, "unknown option --foo", toMeasure},
      {{"measure", "-x"}, "unknown option -x", toMeasure},
      {{"measure", "--in"}, "--in needs a value", toMeasure},
      {{"measure", "--in", "--out", "o"}, "--in needs a value", toMeasure},
      {{"measure", "--order", "12", "--order=13"}, "--order given twice", toMeasure},
      {{"measure", "--two-channel=yes"}, "--two-channel takes no value", toMeasure},
      {{"measure", "--help=1"}, "--help takes no value", toMeasure},
      {{"measure", "--in", "i", "calibrate"}, "unexpected argument 'calibrate'", toMeasure},
      {{"measure"}, "measure needs --in, --out and --export", toMeasure},
      {{"measure", "--in", "i", "--out", "o"}, "measure needs --export", toMeasure},
      {{"calibrate", "--out", "o"}, "calibrate needs --in", toCalibrate},
      {{"calibrate", "--export", "f"}, "--export does not apply to calibrate", toCalibrate},
      {{"devices", "--in", "x"},
       "--in does not apply to devices",
       "Try 'sonrake-cli devices --help'."},
  };
  for (const auto& [args, error, hint] : cases) {
    const CliParseResult r = parseCliArgs(args);
    EXPECT_FALSE(r.ok || r.helpRequested) << error;
    EXPECT_EQ(r.error, error);
    EXPECT_EQ(r.hint, hint) << error;
  }
}

// -h/--help and "help" give the help of the subcommand named before them;
// parsing stops there, so later mistakes do not matter but earlier ones do.
TEST(CliArgs, HelpIsForTheSubcommandNamedBeforeIt) {
  const std::vector<std::pair<Args, CliCommand>> cases = {
      {{"--help"}, CliCommand::none},
      {{"help"}, CliCommand::none},
      {{"help", "help"}, CliCommand::none},
      {{"-q", "-h", "measure"}, CliCommand::none},
      {{"measure", "--in", "i", "--help", "--bogus"}, CliCommand::measure},
      {{"help", "measure"}, CliCommand::measure},
      {{"help", "calibrate", "-h"}, CliCommand::calibrate},
      {{"calibrate", "-h"}, CliCommand::calibrate},
      {{"devices", "--help"}, CliCommand::devices},
  };
  for (const auto& [args, topic] : cases) {
    const CliParseResult r = parseCliArgs(args);
    EXPECT_TRUE(r.ok && r.helpRequested) << args[0] << ": " << r.error;
    EXPECT_EQ(r.helpText, cliHelpText(topic)) << args[0];
  }
  EXPECT_EQ(parseCliArgs({"measure", "--bogus", "--help"}).error, "unknown option --bogus");
}

// A help text lists exactly the options its subcommand accepts, and says
// where defaults come from and what the exit status means.
TEST(CliArgs, HelpListsTheOptionsEachSubcommandAccepts) {
  const std::vector<Args> options = {
      {"--rate", "48000"},      {"--order", "13"},         {"--mode", "spl"},
      {"--two-channel"},        {"--channel", "2"},        {"--resistor", "10"},
      {"--window", "1000"},     {"--offset", "10"},        {"--smoothing", "1/3"},
      {"--range", "20-20000"},  {"--require-calibration"}, {"--export", "f"},
      {"--mic", "m.txt"},       {"--unsmoothed"},          {"--session", "s.sonrake"},
      {"--export-ir", "i.wav"}, {"--repeats", "4"},        {"--averages", "4"}};
  for (CliCommand c : {CliCommand::devices, CliCommand::calibrate, CliCommand::measure,
                       CliCommand::convert, CliCommand::analyse, CliCommand::excitation}) {
    const std::string help = cliHelpText(c);
    for (const char* text : {"Usage: sonrake-cli ", "  -h, --help ", "  -q, --quiet ",
                             "Exit status: 0 success, 1 failed run, 2 bad usage."}) {
      EXPECT_NE(help.find(text), std::string::npos) << cliCommandName(c) << ": " << text;
    }
    if (c != CliCommand::devices && c != CliCommand::convert) {
      EXPECT_NE(help.find("from sonrake.cfg"), std::string::npos);
    }
    for (const Args& option : options) {
      Args args = {cliCommandName(c)};
      if (c == CliCommand::convert) {
        args.insert(args.end(), {"in.frd", "out.csv"});
      } else if (c == CliCommand::analyse || c == CliCommand::excitation) {
        args.push_back("file.wav");
      } else if (c != CliCommand::devices) {
        args.insert(args.end(), {"--in", "i", "--out", "o"});
      }
      args.insert(args.end(), option.begin(), option.end());
      const std::string error = parseCliArgs(args).error;
      const bool accepted = error.find(" does not apply to ") == std::string::npos;
      const bool listed = help.find("  " + option[0] + " ") != std::string::npos;
      EXPECT_EQ(listed, accepted) << cliCommandName(c) << " " << option[0] << ": " << error;
    }
  }
  const std::string main = cliHelpText(CliCommand::none);
  for (const char* text :
       {"  devices ", "  calibrate ", "  measure ", "  convert ", "  excitation ", "  analyse ",
        "  help [SUBCOMMAND] ", "Exit status: 0 success, 1 failed run, 2 bad usage."}) {
    EXPECT_NE(main.find(text), std::string::npos) << text;
  }
}

// convert takes its two files in order, and its own few options; --mic and
// --unsmoothed belong to measure.
TEST(CliArgs, ConvertTakesTwoFilesAndMeasureTakesAMicFile) {
  CliParseResult r = parseCliArgs({"convert", "a.frd", "--mode", "impedance", "b.zma"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.args.command, CliCommand::convert);
  EXPECT_EQ(r.args.inputPath, "a.frd");
  EXPECT_EQ(r.args.outputPath, "b.zma");
  EXPECT_EQ(r.args.settings.impedanceMode, 1);

  r = parseCliArgs({"convert", "a.frd"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "convert needs OUT");
  EXPECT_EQ(r.hint, "Try 'sonrake-cli convert --help'.");
  r = parseCliArgs({"convert"});
  EXPECT_EQ(r.error, "convert needs IN and OUT");
  r = parseCliArgs({"convert", "a", "b", "c"});
  EXPECT_EQ(r.error, "unexpected argument 'c'");
  r = parseCliArgs({"convert", "a", "b", "--in", "x"});
  EXPECT_EQ(r.error, "--in does not apply to convert");
  r = parseCliArgs({"measure", "extra"});
  EXPECT_EQ(r.error, "unexpected argument 'extra'");

  r = parseCliArgs({"measure", "--in", "i", "--out", "o", "--export", "e.frd", "--mic", "m.txt", "--unsmoothed"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.args.micPath, "m.txt");
  EXPECT_TRUE(r.args.unsmoothed);
  r = parseCliArgs({"calibrate", "--in", "i", "--out", "o", "--mic", "m.txt"});
  EXPECT_EQ(r.error, "--mic does not apply to calibrate");
}

// analyse takes the recording and measure's settings but no devices;
// excitation its file, the sequence and --repeats; --export-ir alone is an
// output of measure.
TEST(CliArgs, AnalyseAndExcitationTakeTheirWavFiles) {
  CliParseResult r = parseCliArgs(
      {"analyse", "rec.wav", "--averages", "4", "--two-channel", "--export-ir", "ir.wav"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.args.command, CliCommand::analyse);
  EXPECT_EQ(r.args.inputPath, "rec.wav");
  EXPECT_EQ(r.args.settings.averages, 4);
  EXPECT_EQ(r.args.settings.twoChannel, true);
  EXPECT_EQ(r.args.impulseWavPath, "ir.wav");
  EXPECT_FALSE(r.args.exportPath);
  EXPECT_EQ(parseCliArgs({"analyse"}).error, "analyse needs REC.wav");
  EXPECT_EQ(parseCliArgs({"analyse", "a.wav", "b.wav"}).error, "unexpected argument 'b.wav'");
  EXPECT_EQ(parseCliArgs({"analyse", "a.wav", "--out", "o"}).error,
            "--out does not apply to analyse");

  r = parseCliArgs({"excitation", "--order", "15", "mls.wav", "--repeats=32"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.args.inputPath, "mls.wav");
  EXPECT_EQ(r.args.settings.mlsOrder, 15);
  EXPECT_EQ(r.args.repeats, 32);
  EXPECT_EQ(parseCliArgs({"excitation"}).error, "excitation needs FILE.wav");
  EXPECT_EQ(parseCliArgs({"excitation", "e.wav", "--repeats", "257"}).error,
            "--repeats must be a whole number from 1 to 256, not '257'");
  EXPECT_EQ(parseCliArgs({"excitation", "e.wav", "--mode", "spl"}).error,
            "--mode does not apply to excitation");

  r = parseCliArgs({"measure", "--in", "i", "--out", "o", "--export-ir", "ir.wav"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.args.impulseWavPath, "ir.wav");
}
