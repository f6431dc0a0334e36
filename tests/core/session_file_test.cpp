// Session files: every double comes back bit for bit, every slot whole, and
// every kind of bad file is refused with its reason, changing nothing.

#include "store/session_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "app/app_state.h"
#include "app/session_ops.h"
#include "engine/mls.h"
#include "file_test_support.h"

namespace {

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A finite double from random bits: every exponent, subnormals and -0 included.
double randomFinite(std::mt19937_64& rng) {
  for (;;) {
    const double v = std::bit_cast<double>(rng());
    if (std::isfinite(v)) return v;
  }
}

// Every field a session keeps, compared bit for bit.
void expectSameRecord(const MeasSetup& a, const MeasSetup& b, const char* what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(a.twoChannel, b.twoChannel);
  EXPECT_EQ(a.mlsOrder, b.mlsOrder);
  EXPECT_EQ(a.mlsSize, b.mlsSize);
  EXPECT_EQ(a.mlsSizeStereo, b.mlsSizeStereo);
  EXPECT_EQ(a.sampleRate, b.sampleRate);
  EXPECT_EQ(a.sRateIndex, b.sRateIndex);
  EXPECT_EQ(a.delaySamples, b.delaySamples);
  EXPECT_EQ(a.bandSplitLow, b.bandSplitLow);
  EXPECT_EQ(a.bandSplitHigh, b.bandSplitHigh);
  EXPECT_EQ(bits(a.freqLow), bits(b.freqLow));
  EXPECT_EQ(bits(a.freqHigh), bits(b.freqHigh));
  EXPECT_EQ(a.winStart, b.winStart);
  EXPECT_EQ(a.winLength, b.winLength);
  EXPECT_EQ(a.invertPolarity, b.invertPolarity);
  EXPECT_EQ(a.smoothIndex, b.smoothIndex);
  EXPECT_EQ(a.showChannel, b.showChannel);
  EXPECT_EQ(a.impedanceMode, b.impedanceMode);
  EXPECT_EQ(bits(a.seriesR), bits(b.seriesR));
  EXPECT_EQ(a.micDataOff, b.micDataOff);
  EXPECT_EQ(a.phaseHidden, b.phaseHidden);
  EXPECT_EQ(bits(a.autoscaleOffset), bits(b.autoscaleOffset));
  EXPECT_EQ(bits(a.levelScale), bits(b.levelScale));
  EXPECT_EQ(bits(a.displayRange), bits(b.displayRange));
  EXPECT_EQ(bits(a.zMin), bits(b.zMin));
  EXPECT_EQ(bits(a.zMax), bits(b.zMax));
  EXPECT_EQ(a.impedanceSmooth, b.impedanceSmooth);
  EXPECT_EQ(a.exactEvaluation, b.exactEvaluation);
  EXPECT_EQ(a.windowShape, b.windowShape);
  EXPECT_EQ(a.averages, b.averages);
  EXPECT_EQ(a.responseRate, b.responseRate);
  EXPECT_EQ(a.held, b.held);
  EXPECT_EQ(a.fromFile, b.fromFile);
  EXPECT_STREQ(a.title, b.title);
  EXPECT_EQ(a.hasResponse, b.hasResponse);
  EXPECT_EQ(std::memcmp(a.response.data(), b.response.data(), sizeof a.response), 0);
  EXPECT_EQ(std::memcmp(a.freqGrid.data(), b.freqGrid.data(), sizeof a.freqGrid), 0);
}

// A state in which no field is at its default: random responses (every kind
// of finite double), held patterns, titles, rates and flags.
std::unique_ptr<AppState> unusualState() {
  auto s = std::make_unique<AppState>();
  std::mt19937_64 rng(20261208);
  const auto fill = [&](MeasSetup& r, int k) {
    r.twoChannel = k % 2 == 0;
    r.setMlsOrder(k % 4);
    // A custom rate is entered, then selected (as the rate entry does).
    if (k % 3 == 0) r.sampleRate = 12345 + k;
    r.setSampleRate(k % 3 == 0 ? 0 : 1 + k % 10);
    r.freqLow = 5.0 + 0.1 * k;
    r.freqHigh = 20000.0 / 3.0 + k;
    r.winStart = k;
    r.winLength = 1000 + 7 * k;
    r.invertPolarity = k % 3 == 1;
    r.smoothIndex = static_cast<uint8_t>(k % 7);
    r.showChannel = static_cast<uint8_t>(k % 3);
    r.impedanceMode = static_cast<uint8_t>(k % 2);
    r.seriesR = 0.1 + 1.0 / 7.0 * k;
    r.micDataOff = k % 2 == 1;
    r.phaseHidden = k % 4 == 0;
    r.autoscaleOffset = -std::sqrt(2.0) * k;
    r.levelScale = k == 0 ? -0.0 : 1e-300 * k;  // -0 and tiny values keep their bits
    r.displayRange = 5.0 + std::nextafter(k, 100.0);
    r.zMin = 0.1 * (k + 1);
    r.zMax = 1000.0 / 3.0;
    r.impedanceSmooth = k % 2 == 0;
    r.exactEvaluation = k % 3 == 2;
    r.windowShape = static_cast<uint8_t>(k % 2);
    r.averages = averagesTable[static_cast<size_t>(k) % averagesTable.size()];
    r.responseRate = 1000 * k;
    for (Complex& c : r.response) c = {randomFinite(rng), randomFinite(rng)};
    r.response[0] = {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max()};
    r.response[1] = {-std::numeric_limits<double>::max(), -0.0};
    for (int i = 0; i < kGridPoints; ++i) r.held[static_cast<size_t>(i)] = ((i * 7 + k) % 5) != 0;
    r.fromFile = k % 2 == 1;
    r.hasResponse = k != 9;
    char title[64];
    std::snprintf(title, sizeof title, "Slot %d \"quoted\" \\ Ωµ", k);
    setTitleUtf8(r.title, title);
  };
  fill(s->setup, 11);
  for (int k = 0; k < kSlotCount; ++k) fill(s->slots[static_cast<size_t>(k)], k);
  setTitleUtf8(s->slots[4].title, std::string(199, 'x'));
  s->responseValid = true;
  s->overlays.shown[1] = s->overlays.shown[6] = true;
  MergeSetup& m = s->mergeSetup;
  m.transitionFreq = 1234.5678;
  m.baffleFreq = 1.0 / 3.0;
  m.addMode = true;
  m.lowerDelay = -1.25e-4;
  m.lowerGainDb = -0.0;
  m.lowerGain = 0.1;
  m.storedSlot = 6;
  m.upperDelay = 3e-7;
  m.upperGainDb = 2.5;
  m.upperGain = 7.0 / 9.0;
  return s;
}

// A good session text to spoil, one change at a time.
std::string goodText() {
  const auto s = unusualState();
  auto session = std::make_unique<SessionData>();
  sessionFromState(*s, *session);
  return sessionToJson(*session);
}

std::string replaceOnce(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

// The number strings, checked against the C library's own hexadecimal
// reader and writer rather than against the program's.
TEST(SessionFile, HexDoublesRoundTripAndRefuseWhatIsNotAFiniteNumber) {
  double v = 0.0;
  ASSERT_TRUE(parseHexDouble("0x1.8p+1", v));
  EXPECT_EQ(v, 3.0);
  ASSERT_TRUE(parseHexDouble("-0x0p+0", v));
  EXPECT_TRUE(std::signbit(v));
  EXPECT_EQ(v, 0.0);
  ASSERT_TRUE(parseHexDouble("0x1p-1074", v));
  EXPECT_EQ(v, std::numeric_limits<double>::denorm_min());

  std::mt19937_64 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const double x = randomFinite(rng);
    const std::string text = hexDouble(x);
    // strtod reads C99 hexadecimal floats: an independent reader.
    EXPECT_EQ(bits(std::strtod(text.c_str(), nullptr)), bits(x)) << text;
    ASSERT_TRUE(parseHexDouble(text, v)) << text;
    EXPECT_EQ(bits(v), bits(x)) << text;
  }
  for (const char* bad : {"", "nan", "-nan", "inf", "0xinf", "0xnan", "1.5", "0x", "-0x",
                          "0x1p+1 ", " 0x1p+1", "0x1p+99999", "--0x1p0", "0x1p+1x", "+0x1p0"}) {
    v = 42.0;
    EXPECT_FALSE(parseHexDouble(bad, v)) << bad;
    EXPECT_EQ(v, 42.0) << bad;
  }
}

// Save, then open into a fresh state: the live record and every slot come
// back bit for bit, the merge parameters too; the run flags of the state
// that opens stay its own.
TEST(SessionFile, SaveThenOpenRestoresEverySlotBitExactly) {
  TempDir dir;
  const auto saved = unusualState();
  auto session = std::make_unique<SessionData>();
  sessionFromState(*saved, *session);
  std::string error;
  ASSERT_TRUE(writeSessionFile(dir.file("a.sonrake"), *session, error)) << error;

  auto read = std::make_unique<SessionData>();
  ASSERT_TRUE(readSessionFile(dir.file("a.sonrake"), *read, error)) << error;
  auto opened = std::make_unique<AppState>();
  opened->setup.cyclic = true;
  opened->setup.delayedStart = true;
  applySession(*opened, *read);

  for (int k = 0; k < kSlotCount; ++k)
    expectSameRecord(opened->slots[static_cast<size_t>(k)], saved->slots[static_cast<size_t>(k)],
                     ("slot " + std::to_string(k)).c_str());
  MeasSetup live = saved->setup;
  live.hasResponse = false;  // no impulse response goes with it
  live.cyclic = true;
  live.delayedStart = true;
  expectSameRecord(opened->setup, live, "live");
  EXPECT_TRUE(opened->setup.cyclic);
  EXPECT_TRUE(opened->responseValid);
  EXPECT_TRUE(opened->measurementShown);
  // The sequence tables follow the opened length (order 15 here).
  auto tables = std::make_unique<MlsTables>();
  buildMlsTables(saved->setup, *tables);
  EXPECT_EQ(opened->mls.mlsBits, tables->mlsBits);

  const MergeSetup& a = opened->mergeSetup;
  const MergeSetup& b = saved->mergeSetup;
  EXPECT_EQ(bits(a.transitionFreq), bits(b.transitionFreq));
  EXPECT_EQ(bits(a.baffleFreq), bits(b.baffleFreq));
  EXPECT_EQ(a.addMode, b.addMode);
  EXPECT_EQ(bits(a.lowerDelay), bits(b.lowerDelay));
  EXPECT_EQ(bits(a.upperDelay), bits(b.upperDelay));
  EXPECT_EQ(bits(a.lowerGainDb), bits(b.lowerGainDb));
  EXPECT_EQ(bits(a.upperGainDb), bits(b.upperGainDb));
  EXPECT_EQ(a.storedSlot, b.storedSlot);
  // The live record is an impedance one: the factors are kept as entered.
  EXPECT_EQ(bits(a.lowerGain), bits(b.lowerGain));
  EXPECT_EQ(bits(a.upperGain), bits(b.upperGain));

  EXPECT_EQ(opened->overlays.shown, saved->overlays.shown);

  // A session written before overlays existed opens with none.
  ASSERT_TRUE(sessionFromJson(
      replaceOnce(readText(dir.file("a.sonrake")), "\"overlays\"", "\"overlaysOld\""), *read,
      error))
      << error;
  EXPECT_EQ(read->overlays, (std::array<bool, kSessionOverlaySlots>{}));
  ASSERT_TRUE(readSessionFile(dir.file("a.sonrake"), *read, error)) << error;

  // Saved again, the file is the same text.
  sessionFromState(*opened, *session);
  session->live.hasResponse = saved->setup.hasResponse;
  session->live.cyclic = saved->setup.cyclic;
  EXPECT_EQ(sessionToJson(*session), readText(dir.file("a.sonrake")));
}

// The file says what it is, in readable JSON: a check of the layout the
// format page documents, read with plain text searches.
TEST(SessionFile, WritesTheDocumentedLayout) {
  const std::string text = goodText();
  EXPECT_NE(text.find("\"format\": \"sonrake-session\""), std::string::npos);
  EXPECT_NE(text.find("\"version\": 1"), std::string::npos);
  EXPECT_NE(text.find("\"transitionFreq\": \"0x1.34a456d5cfaadp+10\""), std::string::npos)
      << "1234.5678 as Python's float.hex writes it";
  EXPECT_NE(text.find("\"levelScale\": \"-0x0p+0\""), std::string::npos);
  EXPECT_LT(text.size(), kSessionMaxBytes);
}

// Every bad file is refused with a reason and leaves what it was read into
// as it was.
TEST(SessionFile, BadFilesAreRefusedCleanly) {
  TempDir dir;
  const std::string good = goodText();
  std::mt19937_64 rng(99);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(rng());

  struct Case {
    const char* name;
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", "", "empty"},
      {"one byte", "{", "valid JSON object"},
      {"noise", noise, ""},
      {"array", "[1, 2]", "valid JSON object"},
      {"deep", std::string(100000, '[') + std::string(100000, ']'), "nested deeper"},
      {"truncated", good.substr(0, good.size() / 2), "valid JSON object"},
      {"other format", replaceOnce(good, "sonrake-session", "other"), "session.format"},
      {"version 2", replaceOnce(good, "\"version\": 1", "\"version\": 2"), "session.version"},
      {"version text", replaceOnce(good, "\"version\": 1", "\"version\": \"1\""),
       "session.version"},
      {"nan", replaceOnce(good, "\"levelScale\": \"-0x0p+0\"", "\"levelScale\": \"nan\""),
       "levelScale"},
      {"inf point", replaceOnce(good, "\"0x0.0000000000001p-1022\"", "\"0xinf\""), "response[0]"},
      {"1e400", replaceOnce(good, "\"levelScale\": \"-0x0p+0\"", "\"levelScale\": 1e400"), "JSON"},
      {"number for string", replaceOnce(good, "\"levelScale\": \"-0x0p+0\"", "\"levelScale\": 0"),
       "levelScale"},
      {"title type", replaceOnce(good, "\"title\": \"Slot 0", "\"title\": 5, \"x\": \"Slot 0"),
       "title"},
      {"long title",
       replaceOnce(good, "\"title\": \"Slot 0", "\"title\": \"" + std::string(200, 'y')), "title"},
      {"mls order", replaceOnce(good, "\"mlsOrder\": 12", "\"mlsOrder\": 11"), "mlsOrder"},
      {"huge int", replaceOnce(good, "\"mlsOrder\": 12", "\"mlsOrder\": 18446744073709551615"),
       "mlsOrder"},
      {"bool type", replaceOnce(good, "\"twoChannel\": true", "\"twoChannel\": 1"), "twoChannel"},
      {"averages", replaceOnce(good, "\"averages\": 1,", "\"averages\": 3,"), "averages"},
      {"rate mismatch", replaceOnce(good, "\"sampleRate\": 11025", "\"sampleRate\": 11026"),
       "sampleRate"},
      {"held", replaceOnce(good, "\"held\": \"0", "\"held\": \"2"), "held"},
      {"held short", replaceOnce(good, "\"held\": \"0", "\"held\": \""), "held"},
      {"missing", replaceOnce(good, "\"winStart\"", "\"winStartX\""), "winStart: missing"},
      {"stored slot", replaceOnce(good, "\"storedSlot\": 6", "\"storedSlot\": 8"), "storedSlot"},
      {"nine slots", replaceOnce(good, "\"slots\": [", "\"slots\": [], \"old\": ["), "slots"},
      {"nine overlays", replaceOnce(good, "\"overlays\": [", "\"overlays\": [true, "), "overlays"},
      {"overlay type", replaceOnce(good, "\"overlays\": [\n  false", "\"overlays\": [\n  0"),
       "overlays[0]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("bad.sonrake");
    writeText(path, c.text);
    auto out = std::make_unique<SessionData>();
    setTitleUtf8(out->slots[3].title, "untouched");
    std::string error;
    EXPECT_FALSE(readSessionFile(path, *out, error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_STREQ(out->slots[3].title, "untouched");
  }

  // Larger than any session: refused before it is parsed; a folder and a
  // missing file cannot be read.
  writeText(dir.file("huge.sonrake"), std::string(kSessionMaxBytes + 1, ' '));
  auto out = std::make_unique<SessionData>();
  std::string error;
  EXPECT_FALSE(readSessionFile(dir.file("huge.sonrake"), *out, error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
  EXPECT_FALSE(readSessionFile(dir.path(), *out, error));
  EXPECT_FALSE(readSessionFile(dir.file("missing.sonrake"), *out, error));
  EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
}
