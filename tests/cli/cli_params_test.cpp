// The driver parameters on the command line: measure --params and the params
// subcommand on the simulated jigs' exports, against the simulated driver's
// model (Re 6 ohm, Le 0.4 mH, fs 45 Hz, Qms 3.5, Qes 0.45, Mms 20 g, Sd
// 220 cm^2), the JSON form, the rules of the options, and curves that hold
// no driver.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli_process.h"

#ifndef SONRAKE_CLI_PATH
#error "SONRAKE_CLI_PATH must name the sonrake-cli binary"
#endif

namespace {

namespace fs = std::filesystem;
constexpr double kPi = 3.14159265358979323846;
const char* const kSimOutput = "Simulator output";
const char* const kJig = "Simulator: impedance jig 12 ohm";
const char* const kJigMass = "Simulator: impedance jig 12 ohm, 10 g added";

// "key value [unit]" lines into key -> value; a line of any other shape fails.
std::map<std::string, double> readLines(const std::string& text) {
  std::map<std::string, double> values;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string key, unit, extra;
    double value = 0.0;
    EXPECT_TRUE(static_cast<bool>(words >> key >> value)) << line;
    words >> unit;
    EXPECT_FALSE(static_cast<bool>(words >> extra)) << line;
    EXPECT_TRUE(std::isfinite(value)) << line;
    values[key] = value;
  }
  return values;
}

// An export file as the program writes it, from a formula.
template <typename ZOf>
void writeExport(const fs::path& file, ZOf zOf, double lowHz, double highHz) {
  std::ofstream out(file, std::ios::binary);
  out << "   Freq \t     Mag \t   Phase\r\n";
  char line[80];
  for (int i = 0; i < 1000; ++i) {
    const double f = 5.0 * std::pow(10.0, 4.0 * i / 999.0);
    if (f < lowHz || f > highHz) continue;
    const std::complex<double> z = zOf(f);
    std::snprintf(line, sizeof line, "%8.2f \t%8.1f \t%8.1f\r\n", f, std::abs(z),
                  std::arg(z) * 180.0 / kPi);
    out << line;
  }
}

class CliParams : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sonrake-cli-params-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }
  CliResult run(const std::vector<std::string>& args) const {
    return runCliProcess(SONRAKE_CLI_PATH, dir_.string(), args);
  }
  // The jigs at 48 kHz, order 15, exact evaluation, the flat window, after a
  // calibration through the cable.
  std::vector<std::string> measureArgs(const char* input) const {
    return {"measure", "-q", "--mode", "impedance", "--in", input, "--out", kSimOutput, "--rate",
            "48000", "--order", "15", "--exact", "--window-shape", "flat"};
  }
  void calibrate() const {
    const CliResult r = run({"calibrate", "-q", "--in", "Simulator: loopback cable", "--out",
                             kSimOutput, "--rate", "48000", "--order", "15", "--mode", "impedance"});
    ASSERT_TRUE(r.exited(0)) << r.describe();
  }
  fs::path dir_;
};

TEST_F(CliParams, MeasuredAndExportedJigCurvesGiveTheDriversParameters) {
  calibrate();
  const std::string freeFile = (dir_ / "free.txt").string(), massFile = (dir_ / "mass.txt").string();
  std::vector<std::string> args = measureArgs(kJig);
  args.insert(args.end(), {"--params", "--export", freeFile});
  const CliResult measured = run(args);
  ASSERT_TRUE(measured.exited(0)) << measured.describe();
  const std::map<std::string, double> live = readLines(measured.out);
  EXPECT_NEAR(live.at("Re"), 6.0, 0.03);
  EXPECT_NEAR(live.at("fs"), 45.0, 0.135);
  EXPECT_NEAR(live.at("Qms"), 3.5, 0.0525);
  EXPECT_NEAR(live.at("Qes"), 0.45, 0.00675);
  EXPECT_NEAR(live.at("Le"), 0.40, 0.02);  // mH
  EXPECT_EQ(live.count("Mms"), 0u);

  args = measureArgs(kJigMass);
  args.insert(args.end(), {"--export", massFile});
  ASSERT_TRUE(run(args).exited(0));

  // From the exports (0.1 ohm and 0.1 degree steps), with the 10 g curve:
  // Mms, Bl = sqrt(2 pi fs Mms Re / Qes) and Vas = rho c^2 Sd^2 / ((2 pi fs)^2 Mms).
  const CliResult r = run({"params", freeFile, "--added-mass", "10", "--with-mass", massFile, "--sd", "220"});
  ASSERT_TRUE(r.exited(0)) << r.describe();
  const std::map<std::string, double> v = readLines(r.out);
  const double bl = std::sqrt(2 * kPi * 45.0 * 0.020 * 6.0 / 0.45);
  const double vasLitres = 1e3 * 1.18 * 343.0 * 343.0 * 0.022 * 0.022 / (std::pow(2 * kPi * 45.0, 2) * 0.020);
  EXPECT_NEAR(v.at("Mms"), 20.0, 0.6);  // g
  EXPECT_NEAR(v.at("Bl"), bl, 0.03 * bl);
  EXPECT_NEAR(v.at("Vas"), vasLitres, 0.03 * vasLitres);
  EXPECT_EQ(v.at("rho"), 1.18);
  EXPECT_EQ(v.at("c"), 343.0);

  // The same as JSON, with Re (DC) held.
  const CliResult j = run({"params", freeFile, "--re-dc", "6", "--json"});
  ASSERT_TRUE(j.exited(0)) << j.describe();
  const nlohmann::json doc = nlohmann::json::parse(j.out);
  EXPECT_TRUE(doc.at("ok").get<bool>());
  EXPECT_TRUE(doc.at("re_from_dc").get<bool>());
  EXPECT_EQ(doc.at("parameters").at("Re").at("value").get<double>(), 6.0);
  EXPECT_EQ(doc.at("parameters").at("Re").at("unit").get<std::string>(), "ohm");
  EXPECT_NEAR(doc.at("parameters").at("fs").at("value").get<double>(), 45.0, 0.135);

  // The curves the wrong way round: fs is not lower with the mass.
  const CliResult swapped = run({"params", massFile, "--added-mass", "10", "--with-mass", freeFile, "--sd", "220"});
  EXPECT_TRUE(swapped.exited(1)) << swapped.describe();
  EXPECT_NE(swapped.err.find("lower fs"), std::string::npos) << swapped.err;
  EXPECT_EQ(readLines(swapped.out).count("Mms"), 0u);
}

// Nothing that is no driver gets numbers: exit 1, one line on stderr, and
// nothing on stdout.
TEST_F(CliParams, CurvesWithoutADriverFailWithAReason) {
  const fs::path resistor = dir_ / "r.txt", coil = dir_ / "l.txt", open = dir_ / "open.txt",
                 spl = dir_ / "spl.txt", junk = dir_ / "junk.txt";
  writeExport(resistor, [](double) { return std::complex<double>(8.2, 0.0); }, 20, 20000);
  writeExport(coil, [](double f) { return std::complex<double>(8.0, 2 * kPi * f * 0.5e-3); }, 20, 20000);
  writeExport(open, [](double) { return std::complex<double>(11988.0, 0.0); }, 20, 20000);
  // An SPL export: levels in dB, below 0 here.
  std::ofstream(spl, std::ios::binary) << "   Freq \t     Mag \t   Phase\r\n"
                                       << "   20.00 \t    -3.5 \t    12.0\r\n";
  std::ofstream(junk) << "hello\n";
  const std::vector<std::pair<fs::path, const char*>> cases = {
      {resistor, "Flat curve"},     {coil, "No resonance"},
      {open, "Open circuit"},       {spl, "negative magnitude"},
      {junk, "Freq header"},        {dir_ / "missing.txt", "cannot read"}};
  for (const auto& [file, reason] : cases) {
    SCOPED_TRACE(file.string());
    for (bool json : {false, true}) {
      std::vector<std::string> args = {"params", file.string()};
      if (json) args.push_back("--json");
      const CliResult r = run(args);
      EXPECT_TRUE(r.exited(1)) << r.describe();
      EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
      if (json && !r.out.empty()) {
        const nlohmann::json doc = nlohmann::json::parse(r.out);
        EXPECT_FALSE(doc.at("ok").get<bool>());
        EXPECT_TRUE(doc.at("parameters").empty());
      } else {
        EXPECT_EQ(r.out, "");
      }
    }
  }
  // The open jig measured live.
  const CliResult live = run({"measure", "-q", "--mode", "impedance", "--in", "Simulator: loopback cable",
                              "--out", kSimOutput, "--params"});
  EXPECT_TRUE(live.exited(1)) << live.describe();
  EXPECT_NE(live.err.find("Open circuit"), std::string::npos) << live.err;
  EXPECT_EQ(live.out, "");
}

TEST(CliParamsArgs, OptionsBelongTogether) {
  const CliParseResult ok = parseCliArgs(
      {"params", "a.txt", "--added-mass", "10", "--with-mass", "b.txt", "--sd", "220", "--json"});
  ASSERT_TRUE(ok.ok) << ok.error;
  EXPECT_EQ(ok.args.command, CliCommand::params);
  EXPECT_EQ(*ok.args.paramsFile, "a.txt");
  EXPECT_EQ(*ok.args.addedMassG, 10.0);
  EXPECT_EQ(*ok.args.withMassFile, "b.txt");
  EXPECT_EQ(*ok.args.sdCm2, 220.0);
  EXPECT_TRUE(ok.args.json);
  const CliParseResult box = parseCliArgs({"params", "a.txt", "--box-litres", "30", "--in-box", "b.txt"});
  ASSERT_TRUE(box.ok) << box.error;
  EXPECT_EQ(*box.args.boxLitres, 30.0);
  // measure --params needs no export, but impedance mode.
  EXPECT_TRUE(parseCliArgs({"measure", "--in", "a", "--out", "b", "--mode", "impedance", "--params"}).ok);

  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"params"}, "params needs FILE"},
      {{"params", "a", "b"}, "unexpected argument 'b'"},
      {{"params", "a", "--added-mass", "10"}, "--added-mass needs --with-mass and --sd"},
      {{"params", "a", "--added-mass", "10", "--with-mass", "b"}, "--added-mass needs --with-mass and --sd"},
      {{"params", "a", "--box-litres", "10"}, "--box-litres needs --in-box"},
      {{"params", "a", "--added-mass", "10", "--with-mass", "b", "--sd", "2", "--box-litres", "3",
        "--in-box", "c"},
       "--added-mass and --box-litres exclude each other"},
      {{"params", "a", "--sd", "200"}, "--sd needs --added-mass or --box-litres"},
      {{"params", "a", "--re-dc", "0"}, "--re-dc must be 0.01 to 1000 ohm, not 0"},
      {{"params", "a", "--re-dc", "x"}, "--re-dc must be a number of ohm, not 'x'"},
      {{"params", "a", "--added-mass", "-1"}, "--added-mass must be 0.01 to 10000 g, not -1"},
      {{"measure", "--in", "a", "--out", "b", "--params"}, "--params needs --mode impedance"},
      {{"measure", "--in", "a", "--out", "b", "--export", "x", "--json"}, "--json and --re-dc need --params"},
      {{"measure", "--in", "a", "--out", "b", "--mode", "impedance"}, "measure needs --export"},
      {{"params", "a", "--in", "x"}, "--in does not apply to params"},
  };
  for (const auto& [args, error] : bad) {
    const CliParseResult r = parseCliArgs(args);
    EXPECT_FALSE(r.ok) << args[0];
    EXPECT_EQ(r.error, error);
  }
}

}  // namespace
