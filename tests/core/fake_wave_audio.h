#pragma once
// A wave audio backend that only writes down what it is asked to do, with
// results that a test can set, and a window stand-in for the sound card.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/sound_card.h"
#include "platform/wave_audio.h"

enum class Op { openOutput, openInput, prepare, unprepare, addBuffer, start, write, reset, close };

struct Call {
  Op op;
  WaveHandle handle = kNoWaveHandle;  // the handle used, or returned by an open
  const WaveHeader* header = nullptr;
  uint32_t lengthBytes = 0;  // the header's length at the time of the call
  const int16_t* data = nullptr;
  int deviceId = -1;
  bool withNotifier = false;
  WaveFormat format{};
};

class FakeWaveAudio : public WaveAudio {
 public:
  static constexpr WaveHandle kOut = 11;
  static constexpr WaveHandle kIn = 22;

  FakeWaveAudio() { calls.reserve(1000); }

  // Results to return. prepareFailAt counts prepare calls from 0 (-1: never).
  WaveResult primingOpenResult = kWaveOk;
  WaveResult outputOpenResult = kWaveOk;
  WaveResult inputOpenResult = kWaveOk;
  WaveResult addResult = kWaveOk;
  WaveResult startResult = kWaveOk;
  WaveResult writeResult = kWaveOk;
  int prepareFailAt = -1;
  WaveResult prepareFailResult = 7;

  std::vector<Call> calls;
  int prepares = 0;

  std::vector<Op> ops() const {
    std::vector<Op> v;
    for (const Call& c : calls) v.push_back(c.op);
    return v;
  }
  int count(Op op) const {
    int n = 0;
    for (const Call& c : calls) n += c.op == op;
    return n;
  }

  int outCount = 0;  // devices the fake lists, named "out 0", "in 0", ...
  int inCount = 0;

  int deviceCount(WaveDirection dir) const override {
    return dir == WaveDirection::output ? outCount : inCount;
  }
  void deviceName(WaveDirection dir, int id, char* text, size_t capacity) const override {
    std::snprintf(text, capacity, "%s %d", dir == WaveDirection::output ? "out" : "in", id);
  }
  WaveResult openOutput(int id, const WaveFormat& f, WaveNotifier* n, WaveHandle& h) override {
    const WaveResult r = n == nullptr ? primingOpenResult : outputOpenResult;
    h = r == kWaveOk ? kOut : kNoWaveHandle;
    calls.push_back({Op::openOutput, h, nullptr, 0, nullptr, id, n != nullptr, f});
    return r;
  }
  WaveResult openInput(int id, const WaveFormat& f, WaveNotifier* n, WaveHandle& h) override {
    h = inputOpenResult == kWaveOk ? kIn : kNoWaveHandle;
    calls.push_back({Op::openInput, h, nullptr, 0, nullptr, id, n != nullptr, f});
    return inputOpenResult;
  }
  WaveResult prepare(WaveHandle h, WaveHeader& hdr) override {
    record(Op::prepare, h, &hdr);
    return prepares++ == prepareFailAt ? prepareFailResult : kWaveOk;
  }
  WaveResult unprepare(WaveHandle h, WaveHeader& hdr) override {
    record(Op::unprepare, h, &hdr);
    return kWaveOk;
  }
  WaveResult addBuffer(WaveHandle h, WaveHeader& hdr) override {
    record(Op::addBuffer, h, &hdr);
    return addResult;
  }
  WaveResult start(WaveHandle h) override {
    record(Op::start, h, nullptr);
    return startResult;
  }
  WaveResult write(WaveHandle h, WaveHeader& hdr) override {
    record(Op::write, h, &hdr);
    return writeResult;
  }
  WaveResult reset(WaveHandle h) override {
    record(Op::reset, h, nullptr);
    return kWaveOk;
  }
  WaveResult close(WaveHandle h) override {
    record(Op::close, h, nullptr);
    return kWaveOk;
  }
  void errorText(WaveResult code, char* text, size_t capacity) const override {
    std::snprintf(text, capacity, "device error %d", static_cast<int>(code));
  }

 private:
  void record(Op op, WaveHandle h, const WaveHeader* hdr) {
    Call c{op, h, hdr};
    if (hdr != nullptr) {
      c.lengthBytes = hdr->lengthBytes;
      c.data = hdr->data;
    }
    calls.push_back(c);
  }
};

// Keeps the notices it is given, as the window's queue would.
class NoticeList : public WaveNotifier {
 public:
  void post(const WaveNotice& n) override { notices.push_back(n); }
  std::vector<WaveNotice> notices;
};

// The window's side: writes each request down as a line of text.
class FakeHost : public SoundCardHost {
 public:
  FakeHost() { events.reserve(100); }
  void showWarning(const char* text) override { events.push_back(std::string("warning:") + text); }
  void setControlsEnabled(bool e) override { events.push_back(e ? "controls:on" : "controls:off"); }
  void setBusyCursor(bool b) override { events.push_back(b ? "cursor:busy" : "cursor:normal"); }
  void processRecording() override {
    ++processed;
    if (onProcess) onProcess();
  }
  void exitProgram(int code) override { events.push_back("exit:" + std::to_string(code)); }

  std::vector<std::string> events;
  int processed = 0;
  std::function<void()> onProcess;
};
