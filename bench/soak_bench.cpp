// A soak: 1000 cyclic measurements on the simulator, back to back, through
// the application as the window drives it. Reports the resident memory and
// the open descriptors after the first cycle, after the last one and at
// their highest, so that a leak of either shows as a rise. Long (about half
// a minute): run it by name, --benchmark_filter=Soak.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "../tests/core/dialog_recorder.h"
#include "../tests/core/fake_wave_audio.h"
#include "app/application.h"
#include "engine/mls.h"
#include "platform/sim_audio.h"

namespace {

class CountingObserver final : public AppObserver {
 public:
  void redraw() override { ++redraws; }
  void viewStateChanged() override {}
  void controlsLocked(bool) override {}
  void runEnded(RunOutcome outcome) override { ended = true, last = outcome; }
  void showMessage(const char*, const char*, MsgIcon) override { ++messages; }
  void exitProgram(int) override {}
  long redraws = 0;
  long messages = 0;
  bool ended = false;
  RunOutcome last = RunOutcome::failed;
};

double residentMiB() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0.0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int openDescriptors() {
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  int n = 0;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n - 3;  // ".", ".." and the directory's own descriptor
}

void BM_SoakCyclicMeasurements(benchmark::State& st) {
  constexpr long kCycles = 1000;
  for (auto _ : st) {
    SimAudio sim{SimAudio::Pacing::manual};
    NoticeList notices;
    DialogRecorder dialogs;
    CountingObserver observer;
    auto app = std::make_unique<Application>(sim, notices, dialogs, observer);
    AppState& s = app->state();
    s.inDeviceId = SimAudio::kInputLoudspeaker;
    buildMlsTables(s.setup, s.mls);  // the default sequence, 8192
    app->cyclicChanged(true);
    if (app->startClicked() != StartAction::startCyclic) {
      st.SkipWithError("the cyclic measurement did not start");
      return;
    }
    double rssFirst = 0, rssMax = 0;
    int fdFirst = 0, fdMax = 0;
    long cycles = 0;
    for (long guard = 0; app->runUnderway() && guard < 100 * kCycles; ++guard) {
      sim.runUntilIdle();
      std::vector<WaveNotice> batch = std::move(notices.notices);
      notices.notices.clear();
      for (const WaveNotice& n : batch) app->onNotice(n);
      if (observer.redraws == cycles) continue;
      cycles = observer.redraws;
      const double rss = residentMiB();
      const int fds = openDescriptors();
      if (cycles == 1) rssFirst = rss, fdFirst = fds;
      rssMax = std::max(rssMax, rss);
      fdMax = std::max(fdMax, fds);
      if (cycles >= kCycles) app->cyclicChanged(false);
    }
    st.counters["cycles"] = static_cast<double>(cycles);
    st.counters["rss_first_MiB"] = rssFirst;
    st.counters["rss_last_MiB"] = residentMiB();
    st.counters["rss_max_MiB"] = rssMax;
    st.counters["fd_first"] = fdFirst;
    st.counters["fd_last"] = openDescriptors();
    st.counters["fd_max"] = fdMax;
    st.counters["messages"] = static_cast<double>(observer.messages);
  }
}
BENCHMARK(BM_SoakCyclicMeasurements)->Name("Soak/CyclicMeasurements1000")->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
