// Speed of a whole sonrake-cli measurement in process: argument parsing,
// PortAudio and the simulated devices opened, settings and calibration read,
// the MLS played and recorded on the simulated loudspeaker, the analysis and
// the text export written. The sound card is calibrated once, before the
// timed runs, in a data directory of the benchmark's own.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"

namespace {

const char* const kSimOutput = "Simulator output";
// Devices are named in full: a part of a name could also match a real
// device of the machine.
const char* const kLoopInput = "Simulator: loopback cable";
const char* const kSpeakerInput = "Simulator: loudspeaker (mic L, loop R)";
const char* const kRate = "48000";

// A fresh data directory with KALDER pointing at it, calibrated at every
// order the benchmarks measure; removed again when the program ends.
class CalibratedDataDir {
 public:
  CalibratedDataDir() {
    char pattern[] = "/tmp/sonrake_cli_bench_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      error_ = "mkdtemp failed";
      return;
    }
    dir_ = pattern;
    setenv("KALDER", (dir_ + "/").c_str(), 1);
    for (const char* order : {"15", "12"}) {
      std::ostringstream out, err;
      const int rc = runCli({"-q", "calibrate", "--in", kLoopInput, "--out", kSimOutput, "--rate", kRate,
                             "--order", order},
                            out, err);
      if (rc != 0) {
        error_ = "calibration at order " + std::string(order) + " returned " + std::to_string(rc) + ": " +
                 err.str();
        return;
      }
    }
  }
  ~CalibratedDataDir() {
    if (dir_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  CalibratedDataDir(const CalibratedDataDir&) = delete;
  CalibratedDataDir& operator=(const CalibratedDataDir&) = delete;

  const std::string& dir() const { return dir_; }
  const std::string& error() const { return error_; }

 private:
  std::string dir_;
  std::string error_;
};

// Set up on first use, so that a run filtered to other benchmarks pays
// nothing for it.
const CalibratedDataDir& dataDir() {
  static const CalibratedDataDir d;
  return d;
}

void BM_CliMeasure(benchmark::State& st) {
  const CalibratedDataDir& d = dataDir();
  if (!d.error().empty()) {
    st.SkipWithError(d.error().c_str());
    return;
  }
  const std::vector<std::string> args = {"-q",      "measure", "--in",   kSpeakerInput,
                                         "--out",   kSimOutput, "--rate", kRate,
                                         "--order", std::to_string(st.range(0)),
                                         "--export", d.dir() + "/m.txt"};
  std::string failure;
  for (auto _ : st) {
    std::ostringstream out, err;
    const int rc = runCli(args, out, err);
    if (rc != 0) {
      failure = "measure returned " + std::to_string(rc) + ": " + err.str();
      st.SkipWithError(failure.c_str());
      break;
    }
  }
}
BENCHMARK(BM_CliMeasure)
    ->ArgName("order")
    ->Arg(15)
    ->Arg(12)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
