// WAV files: the excitation and the impulse response written out, and a
// recording of the excitation analysed offline. The recordings here are made
// outside the program: the test passes the exported excitation through the
// simulator's own models (loudspeaker, acoustic delay, the sound card's
// latency, gain, offset and noise), puts silence in front and writes the WAV
// with libsndfile itself; the offline result must equal a live measurement on
// the simulated devices.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/wav_ops.h"
#include "dialog_recorder.h"
#include "engine/mls.h"
#include "fake_wave_audio.h"
#include "file_test_support.h"
#include "platform/sim_audio.h"
#include "platform/sim_models.h"
#include "store/wav_file.h"

namespace {

class QuietObserver final : public AppObserver {
 public:
  void redraw() override { ++redraws; }
  void viewStateChanged() override {}
  void controlsLocked(bool) override {}
  void runEnded(RunOutcome outcome) override {
    ++runsEnded;
    lastOutcome = outcome;
  }
  void showMessage(const char* text, const char*, MsgIcon) override { messages.emplace_back(text); }
  void exitProgram(int) override {}
  int redraws = 0;
  int runsEnded = 0;
  RunOutcome lastOutcome = RunOutcome::failed;
  std::vector<std::string> messages;
};

struct Rig {
  SimAudio sim{SimAudio::Pacing::manual};
  NoticeList notices;
  DialogRecorder dialogs;
  QuietObserver observer;
  Application app{sim, notices, dialogs, observer};

  explicit Rig(int input = SimAudio::kInputLoudspeaker) {
    app.state().inDeviceId = static_cast<int16_t>(input);
    app.state().setup.setMlsOrder(0);  // 4096: quick
    buildMlsTables(app.state().setup, app.state().mls);
  }
  AppState& s() { return app.state(); }
  void measure() {
    ASSERT_EQ(app.startClicked(), StartAction::startNow);
    for (int i = 0; i < 100 && app.runUnderway(); ++i) {
      sim.runUntilIdle();
      const std::vector<WaveNotice> batch = std::move(notices.notices);
      notices.notices.clear();
      for (const WaveNotice& n : batch) app.onNotice(n);
    }
    ASSERT_FALSE(app.runUnderway());
    ASSERT_EQ(observer.lastOutcome, RunOutcome::completed);
  }
};

// The excitation file as libsndfile reads it: 16-bit stereo frames.
std::vector<int16_t> readShorts(const std::string& path, SF_INFO& info) {
  info = SF_INFO{};
  SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(sf, nullptr) << sf_strerror(nullptr);
  if (sf == nullptr) return {};
  std::vector<int16_t> v(static_cast<size_t>(info.frames * info.channels));
  EXPECT_EQ(sf_readf_short(sf, v.data(), info.frames), info.frames);
  sf_close(sf);
  return v;
}

// What the simulated loudspeaker input records while the excitation plays
// (both channels, on the 16-bit scale), after `offset` frames of digital
// silence: input frame n hears output frame n - 480 (the card's latency),
// the microphone also the acoustic delay of 1 ms; the card's gain, offset
// and noise (its fixed seed, restarted as the input opens) and its rounding
// follow, left sample before right as the simulator draws them.
std::vector<int16_t> simulatedRecording(const std::vector<int16_t>& excitation, int rate,
                                        int64_t offset, int64_t tail) {
  LoudspeakerModel speaker;
  speaker.design(rate);
  SoundCardModel card;
  const int64_t latency = SoundCardModel::kLatencyFrames;
  const int64_t acoustic = std::llround(0.001 * rate);
  const int64_t played = static_cast<int64_t>(excitation.size() / 2);
  const auto out = [&](int64_t k, int ch) -> double {
    return k < 0 || k >= played ? 0.0 : excitation[static_cast<size_t>(2 * k + ch)];
  };
  std::vector<int16_t> rec(static_cast<size_t>(2 * offset), 0);
  for (int64_t n = 0; n < played + latency + acoustic + tail; ++n) {
    const int16_t l = card.record(speaker.process(out(n - latency - acoustic, 0)));
    const int16_t r = card.record(out(n - latency, 1));
    rec.push_back(l);
    rec.push_back(r);
  }
  return rec;
}

enum class Kind { pcm24Stereo, pcm24Mono, floatStereo };

// Writes the stereo 16-bit-scale recording as the kind asks, with libsndfile.
void writeRecording(const std::string& path, const std::vector<int16_t>& stereo, int rate,
                    Kind kind) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = kind == Kind::pcm24Mono ? 1 : 2;
  info.format = SF_FORMAT_WAV | (kind == Kind::floatStereo ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
  SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
  const int64_t frames = static_cast<int64_t>(stereo.size() / 2);
  if (kind == Kind::floatStereo) {
    std::vector<float> v(stereo.size());
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(stereo[i]) / 32768.0f;
    EXPECT_EQ(sf_writef_float(sf, v.data(), frames), frames);
  } else {
    // libsndfile takes the top 24 bits of an int: a 16-bit value shifted by 16.
    std::vector<int> v;
    for (int64_t f = 0; f < frames; ++f)
      for (int ch = 0; ch < info.channels; ++ch)
        v.push_back(stereo[static_cast<size_t>(2 * f + ch)] * 65536);
    EXPECT_EQ(sf_writef_int(sf, v.data(), frames), frames);
  }
  sf_close(sf);
}

// The largest level difference in dB between two responses over 20 Hz .. 20 kHz.
double worstDb(const MeasSetup& a, const ComplexCurve& b) {
  double worst = 0.0;
  for (int i = 0; i < kGridPoints; ++i) {
    const double f = a.freqGrid[i];
    if (f < 20.0 || f > 20000.0) continue;
    worst = std::max(worst, std::fabs(20.0 * std::log10(abs(a.response[i]) / abs(b[i]))));
  }
  return worst;
}

}  // namespace

// The live measurement is the second of two, as a user measures: the first
// sets the margin the recordings keep after the sequence.
TEST(WavOffline, RecordingOfTheExportedExcitationAnalysesAsTheLiveMeasurement) {
  TempDir dir;
  for (const bool averaged : {false, true}) {
    Rig live;
    if (averaged) live.s().setup.averages = 4;
    live.measure();
    live.measure();
    const ComplexCurve measured = live.s().setup.response;
    const int rate = live.s().setup.sampleRate;

    std::string error;
    const std::string excitationPath = dir.file("excitation.wav");
    ASSERT_TRUE(live.app.exportExcitationWavTo(excitationPath, averaged ? 4 : 1, error)) << error;
    SF_INFO info;
    const std::vector<int16_t> excitation = readShorts(excitationPath, info);

    for (const Kind kind : {Kind::pcm24Stereo, Kind::pcm24Mono, Kind::floatStereo}) {
      SCOPED_TRACE(testing::Message()
                   << "averaged " << averaged << ", kind " << static_cast<int>(kind));
      const std::string recPath = dir.file("rec.wav");
      // Any start: the float file begins further in than the onset search of
      // a live recording ever looks.
      const int64_t offset = kind == Kind::floatStereo ? 250000 : 12345;
      writeRecording(recPath, simulatedRecording(excitation, rate, offset, rate), rate, kind);

      Rig offline;
      if (averaged) offline.s().setup.averages = 4;
      const int32_t delay = offline.s().setup.delaySamples;
      ASSERT_TRUE(offline.app.analyseWavFrom(recPath, error)) << error;
      EXPECT_EQ(offline.observer.runsEnded, 1);
      EXPECT_EQ(offline.observer.lastOutcome, RunOutcome::completed);
      EXPECT_TRUE(offline.s().responseValid);
      EXPECT_TRUE(offline.s().setup.hasResponse);
      EXPECT_EQ(offline.s().setup.delaySamples, delay);  // the next live run keeps its margin
      const double worst = worstDb(offline.s().setup, measured);
      std::printf("offline vs live, averaged %d, kind %d: worst %.3g dB\n", averaged,
                  static_cast<int>(kind), worst);
      EXPECT_LT(worst, 0.01);
    }
  }
}

TEST(WavExport, ExcitationIsThePlaybackBufferSampleForSample) {
  TempDir dir;
  Rig r;
  const MlsTables& t = r.s().mls;
  const int32_t size = r.s().setup.mlsSize;
  std::string error;
  SF_INFO info;

  ASSERT_TRUE(r.app.exportExcitationWavTo(dir.file("one.wav"), 1, error)) << error;
  std::vector<int16_t> v = readShorts(dir.file("one.wav"), info);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, r.s().setup.sampleRate);
  ASSERT_EQ(info.frames, 2000 + size);
  for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], t.playBuffer[i]) << i;
  // The lead is silent and the sequence at full level on both channels.
  EXPECT_EQ(v[3999], 0);
  EXPECT_EQ(std::abs(v[4000]), 30000);
  EXPECT_EQ(v[4000], v[4001]);

  // 40 averaged periods: more than the program's own buffer holds; it goes on
  // with the same period.
  ASSERT_TRUE(r.app.exportExcitationWavTo(dir.file("forty.wav"), 40, error)) << error;
  v = readShorts(dir.file("forty.wav"), info);
  const int64_t period = size - 1;
  ASSERT_EQ(info.frames, 2000 + 41 * period);
  for (int64_t f = 0; f < info.frames; ++f) {
    const int64_t k = f < 2000 ? f : 2000 + (f - 2000) % period;
    const int16_t expected = f < 2000 ? 0 : t.mlsSamples[static_cast<size_t>(k - 2000)];
    ASSERT_EQ(v[static_cast<size_t>(2 * f)], expected) << f;
    if (f < 2000 + kMaxPlayedPeriods * period) {
      ASSERT_EQ(v[static_cast<size_t>(2 * f)], t.repeatedPlayBuffer[static_cast<size_t>(2 * f)]);
    }
  }

  EXPECT_FALSE(r.app.exportExcitationWavTo(dir.file("none.wav"), 0, error));
  EXPECT_FALSE(
      r.app.exportExcitationWavTo(dir.file("none.wav"), kMaxExcitationAverages + 1, error));
  EXPECT_NE(error.find("between 1 and 256"), std::string::npos) << error;
}

TEST(WavExport, ImpulseReadBackEqualsTheImpulseAndItsCommentNamesTheScaling) {
  TempDir dir;
  Rig r;
  std::string error;
  EXPECT_FALSE(r.app.exportImpulseWavTo(dir.file("ir.wav"), error));
  EXPECT_EQ(error, "There is no impulse response to export: measure first.");

  r.s().setup.twoChannel = true;
  r.measure();
  ASSERT_TRUE(r.app.exportImpulseWavTo(dir.file("ir.wav"), error)) << error;
  SF_INFO info{};
  SNDFILE* sf = sf_open(dir.file("ir.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(sf, nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  ASSERT_EQ(info.channels, 2);
  const int32_t size = r.s().setup.mlsSize;
  ASSERT_EQ(info.frames, size - 1);
  const char* text = sf_get_string(sf, SF_STR_COMMENT);
  ASSERT_NE(text, nullptr);
  const std::string comment = text;
  EXPECT_NE(comment.find("sample = deconvolved value / (30000 x 4096)"), std::string::npos)
      << comment;
  std::vector<float> v(static_cast<size_t>(2 * info.frames));
  ASSERT_EQ(sf_readf_float(sf, v.data(), info.frames), info.frames);
  sf_close(sf);
  const double scale = 30000.0 * 4096.0;
  float peak = 0.0f;
  for (int64_t k = 0; k < info.frames; ++k) {
    for (int ch = 0; ch < 2; ++ch) {
      const float expected =
          static_cast<float>(r.s().impulse.x[ch][static_cast<size_t>(k)] / scale);
      ASSERT_EQ(v[static_cast<size_t>(2 * k + ch)], expected) << k << " " << ch;
    }
    peak = std::max(peak, std::fabs(v[static_cast<size_t>(2 * k + 1)]));
  }
  // The reference channel is the loop cable: the card's gain of 0.9 as one
  // sample of the impulse.
  EXPECT_NEAR(peak, 0.9, 0.01);
  EXPECT_EQ(wavComment(dir.file("ir.wav")), comment);
}

// Each refusal with its words; a refused file leaves the live measurement as it was.
TEST(WavOffline, RefusedRecordingsSayWhyAndChangeNothing) {
  TempDir dir;
  Rig r;
  r.measure();
  const ComplexCurve before = r.s().setup.response;
  const int rate = r.s().setup.sampleRate;
  const int runs = r.observer.runsEnded;
  std::string error;
  const auto refused = [&](const std::string& path) {
    error.clear();
    EXPECT_FALSE(r.app.analyseWavFrom(path, error));
    return error;
  };
  const auto writeBytes = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir.file(name), std::ios::binary) << bytes;
    return dir.file(name);
  };
  const auto writeWav = [&](const std::string& name, int channels, int fileRate,
                            const std::vector<int16_t>& v) {
    SF_INFO info{};
    info.samplerate = fileRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(dir.file(name).c_str(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr);
    sf_writef_short(sf, v.data(), static_cast<sf_count_t>(v.size() / channels));
    sf_close(sf);
    return dir.file(name);
  };

  EXPECT_EQ(refused(dir.file("missing.wav")), "The file cannot be opened.");
  EXPECT_EQ(refused(dir.path()), "The file cannot be opened.");
  for (const std::string& bytes :
       {std::string(), std::string(1, 'R'), std::string("Freq Mag Phase\n100 1 0\n")}) {
    EXPECT_EQ(refused(writeBytes("bad.wav", bytes))
                  .rfind("The file is not a WAV file that can be read", 0),
              0u)
        << error;
  }
  std::string noise(65536, '\0');
  uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  EXPECT_EQ(refused(writeBytes("noise.wav", noise)).rfind("The file is not a WAV file", 0), 0u)
      << error;

  // A header that claims a million frames while 100 follow: the 100 are read.
  Bytes h(44 + 400);
  h.put(0, 0x46464952, 4);  // "RIFF"
  h.put(4, 36 + 4000000, 4);
  h.put(8, 0x45564157, 4);   // "WAVE"
  h.put(12, 0x20746d66, 4);  // "fmt "
  h.put(16, 16, 4);
  h.put(20, 1, 2);  // PCM
  h.put(22, 2, 2);
  h.put(24, static_cast<uint64_t>(rate), 4);
  h.put(28, static_cast<uint64_t>(rate) * 4, 4);
  h.put(32, 4, 2);
  h.put(34, 16, 2);
  h.put(36, 0x61746164, 4);  // "data"
  h.put(40, 4000000, 4);
  for (size_t i = 0; i < 200; ++i) h.i16(44 + 2 * i, static_cast<int16_t>(i % 2 ? 20000 : -20000));
  std::ofstream(dir.file("claims.wav"), std::ios::binary)
      .write(reinterpret_cast<const char*>(h.b.data()), 444);
  WavRecording got;
  const WavRead read = readWavRecording(dir.file("claims.wav"), got);
  ASSERT_EQ(read.result, WavReadResult::loaded);
  EXPECT_EQ(got.frames, 100);
  EXPECT_EQ(got.samples.size(), 200u);
  EXPECT_EQ(refused(dir.file("claims.wav")).rfind("The recording is too short: it holds ", 0), 0u)
      << error;
  EXPECT_NE(error.find("less than one period (4095 frames)"), std::string::npos) << error;

  EXPECT_EQ(refused(writeWav("silence.wav", 1, rate, std::vector<int16_t>(1000000, 0))),
            "No measurement sequence found in the recording: the channel stays below -60 dBFS.");
  EXPECT_EQ(refused(writeWav("rate.wav", 2, 48000 + 1, std::vector<int16_t>(2000, 0))),
            "The recording was made at 48001 Hz; the measurement runs at " + std::to_string(rate) +
                " Hz. Choose the recording's rate and analyse it again.");
  EXPECT_EQ(refused(writeWav("three.wav", 3, rate, std::vector<int16_t>(3000, 0))),
            "The WAV file has 3 channels; a recording has one (mono) or two (stereo).");
  EXPECT_EQ(refused(writeWav("zero.wav", 2, rate, {})), "The WAV file holds no samples.");

  // Half a period of the sequence after its start.
  std::vector<int16_t> half(2 * 3000, 0);
  for (int f = 0; f < 2048; ++f)
    half[static_cast<size_t>(2 * (952 + f))] = r.s().mls.mlsSamples[static_cast<size_t>(f)];
  EXPECT_EQ(refused(writeWav("half.wav", 2, rate, half)),
            "The recording is too short: it holds 2048 frames after the start of the sequence, "
            "less than one "
            "period (4095 frames).");
  r.s().setup.averages = 2;
  EXPECT_NE(refused(dir.file("half.wav"))
                .find("less than the 3 periods an average of 2 needs (12285 frames)"),
            std::string::npos)
      << error;
  r.s().setup.averages = 1;

  r.s().setup.twoChannel = true;
  EXPECT_EQ(refused(writeWav("mono.wav", 1, rate, std::vector<int16_t>(10000, 100))),
            "The recording is mono; a two-channel measurement needs a stereo recording.");
  r.s().setup.twoChannel = false;

  // 8-bit data is refused as such.
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
  SNDFILE* sf = sf_open(dir.file("u8.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(sf, nullptr);
  const std::vector<short> some(100, 1000);
  sf_writef_short(sf, some.data(), 100);
  sf_close(sf);
  EXPECT_EQ(refused(dir.file("u8.wav")),
            "The WAV file holds neither 16, 24 or 32-bit integer samples nor float samples.");

  EXPECT_EQ(r.observer.runsEnded, runs);
  for (int i = 0; i < kGridPoints; ++i) ASSERT_EQ(r.s().setup.response[i], before[i]) << i;
}

// Float samples come on the 16-bit scale rounded half away from zero and
// clipped; a NaN refuses the file.
TEST(WavRead, FloatSamplesAreRoundedAndClippedToTheSixteenBitScale) {
  TempDir dir;
  const auto write = [&](const std::vector<float>& v) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* sf = sf_open(dir.file("f.wav").c_str(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr);
    sf_writef_float(sf, v.data(), static_cast<sf_count_t>(v.size()));
    sf_close(sf);
    return dir.file("f.wav");
  };
  WavRecording rec;
  // 0.5 / 32768 is half an LSB: away from zero; 2.0 and -2.0 clip.
  ASSERT_EQ(readWavRecording(
                write({0.5f / 32768, -0.5f / 32768, 0.25f, 2.0f, -2.0f, 100.4f / 32768}), rec)
                .result,
            WavReadResult::loaded);
  EXPECT_EQ(rec.samples, (std::vector<int16_t>{1, -1, 8192, 32767, -32768, 100}));
  EXPECT_EQ(rec.channels, 1);
  EXPECT_EQ(rec.sampleRate, 48000);
  const WavRead nan = readWavRecording(write({0.0f, std::nanf("")}), rec);
  EXPECT_EQ(nan.result, WavReadResult::badSamples);
  EXPECT_EQ(wavRefusalText(nan), "The WAV file holds samples that are not finite numbers.");
  EXPECT_EQ(rec.samples.size(), 6u);  // the earlier recording stays
}
