#include "store/session_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "setup/file_io.h"
#include "setup/setting_limits.h"

using nlohmann::json;

std::string hexDouble(double v) {
  char buf[64];
  const bool negative = std::signbit(v);
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::hex);
  std::string out = negative ? "-0x" : "0x";
  out.append(buf, r.ptr);
  return out;
}

bool parseHexDouble(const std::string& text, double& v) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && text[pos] == '-') {
    negative = true;
    ++pos;
  }
  if (text.compare(pos, 2, "0x") != 0) return false;
  pos += 2;
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  // from_chars would take "inf" and "nan" too; only digits are a number here.
  if (first == last || !std::isxdigit(static_cast<unsigned char>(*first))) return false;
  double value = 0.0;
  const auto r = std::from_chars(first, last, value, std::chars_format::hex);
  if (r.ec != std::errc() || r.ptr != last || !std::isfinite(value)) return false;
  v = negative ? -value : value;
  return true;
}

namespace {

// The reader's faults travel as this exception inside the reader only; the
// public functions turn it into their false and message.
struct SessionFault {
  std::string text;
};

[[noreturn]] void fault(const std::string& where, const char* what) {
  throw SessionFault{where + ": " + what};
}

const json& member(const json& obj, const std::string& where, const char* key) {
  const auto it = obj.find(key);
  if (it == obj.end()) fault(where + "." + key, "missing");
  return *it;
}

bool getBool(const json& obj, const std::string& where, const char* key) {
  const json& j = member(obj, where, key);
  if (!j.is_boolean()) fault(where + "." + key, "not true or false");
  return j.get<bool>();
}

int32_t getInt(const json& obj, const std::string& where, const char* key, int64_t lo, int64_t hi) {
  const json& j = member(obj, where, key);
  if (!j.is_number_integer()) fault(where + "." + key, "not a whole number");
  // A number above the signed range is parsed as unsigned; it is out of range too.
  if (j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(hi))
    fault(where + "." + key, "out of range");
  const int64_t v = j.get<int64_t>();
  if (v < lo || v > hi) fault(where + "." + key, "out of range");
  return static_cast<int32_t>(v);
}

double numberOf(const json& j, const std::string& where) {
  double v = 0.0;
  if (!j.is_string() || !parseHexDouble(j.get_ref<const std::string&>(), v))
    fault(where, "not a finite number written as a hexadecimal string");
  return v;
}

double getDouble(const json& obj, const std::string& where, const char* key, SettingRange range) {
  const double v = numberOf(member(obj, where, key), where + "." + key);
  if (v < range.min || v > range.max) fault(where + "." + key, "out of range");
  return v;
}

constexpr SettingRange kAnyFinite{-1.7976931348623157e308, 1.7976931348623157e308};
constexpr SettingRange kPositive{0.0, 1.7976931348623157e308};

json recordToJson(const MeasSetup& r) {
  json j;
  j["twoChannel"] = r.twoChannel;
  j["mlsOrder"] = r.mlsOrder;
  j["sampleRate"] = r.sampleRate;
  j["sRateIndex"] = r.sRateIndex;
  j["freqLow"] = hexDouble(r.freqLow);
  j["freqHigh"] = hexDouble(r.freqHigh);
  j["winStart"] = r.winStart;
  j["winLength"] = r.winLength;
  j["invertPolarity"] = r.invertPolarity;
  j["smoothIndex"] = r.smoothIndex;
  j["showChannel"] = r.showChannel;
  j["impedanceMode"] = r.impedanceMode;
  j["seriesR"] = hexDouble(r.seriesR);
  j["micDataOff"] = r.micDataOff;
  j["phaseHidden"] = r.phaseHidden;
  j["autoscaleOffset"] = hexDouble(r.autoscaleOffset);
  j["levelScale"] = hexDouble(r.levelScale);
  j["displayRange"] = hexDouble(r.displayRange);
  j["zMin"] = hexDouble(r.zMin);
  j["zMax"] = hexDouble(r.zMax);
  j["impedanceSmooth"] = r.impedanceSmooth;
  j["exactEvaluation"] = r.exactEvaluation;
  j["windowShape"] = r.windowShape;
  j["averages"] = r.averages;
  j["responseRate"] = r.responseRate;
  j["fromFile"] = r.fromFile;
  j["hasResponse"] = r.hasResponse;
  j["title"] = std::string(r.title, strnlen(r.title, kTitleCapacity - 1));
  std::string held(kGridPoints, '0');
  for (int i = 0; i < kGridPoints; ++i)
    if (r.held[static_cast<size_t>(i)]) held[static_cast<size_t>(i)] = '1';
  j["held"] = held;
  json response = json::array();
  for (const Complex& c : r.response) response.push_back(json::array({hexDouble(c.re), hexDouble(c.im)}));
  j["response"] = std::move(response);
  return j;
}

void recordFromJson(const json& j, const std::string& where, MeasSetup& r) {
  if (!j.is_object()) fault(where, "not an object");
  r.setDefaults();
  r.twoChannel = getBool(j, where, "twoChannel");
  const int32_t order = getInt(j, where, "mlsOrder", mlsOrderTable.front(), mlsOrderTable.back());
  r.setMlsOrder(order - mlsOrderTable.front());
  const int32_t index = getInt(j, where, "sRateIndex", 0, kSampleRateCount - 1);
  const int32_t rate = getInt(j, where, "sampleRate", static_cast<int64_t>(kCustomRateRange.min),
                              static_cast<int64_t>(kCustomRateRange.max));
  if (index != 0 && rate != sampleRateTable[static_cast<size_t>(index)])
    fault(where + ".sampleRate", "does not match sRateIndex");
  r.sampleRate = rate;
  r.setSampleRate(index);
  r.freqLow = getDouble(j, where, "freqLow", kFreqLowRange);
  r.freqHigh = getDouble(j, where, "freqHigh", kFreqHighRange);
  r.winStart = getInt(j, where, "winStart", static_cast<int64_t>(kWinStartRange.min),
                      static_cast<int64_t>(kWinStartRange.max));
  r.winLength = getInt(j, where, "winLength", static_cast<int64_t>(kWinLengthRange.min),
                       static_cast<int64_t>(kWinLengthRange.max));
  r.invertPolarity = getBool(j, where, "invertPolarity");
  r.smoothIndex = static_cast<uint8_t>(getInt(j, where, "smoothIndex", 0, 6));
  r.showChannel = static_cast<uint8_t>(getInt(j, where, "showChannel", 0, 2));
  r.impedanceMode = static_cast<uint8_t>(getInt(j, where, "impedanceMode", 0, 1));
  r.seriesR = getDouble(j, where, "seriesR", kSeriesRRange);
  r.micDataOff = getBool(j, where, "micDataOff");
  r.phaseHidden = getBool(j, where, "phaseHidden");
  r.autoscaleOffset = getDouble(j, where, "autoscaleOffset", kAutoscaleOffsetRange);
  r.levelScale = getDouble(j, where, "levelScale", kLevelScaleRange);
  r.displayRange = getDouble(j, where, "displayRange", kDisplayRangeRange);
  r.zMin = getDouble(j, where, "zMin", kPositive);
  r.zMax = getDouble(j, where, "zMax", kPositive);
  if (!(r.zMin < r.zMax)) fault(where + ".zMax", "not above zMin");
  r.impedanceSmooth = getBool(j, where, "impedanceSmooth");
  r.exactEvaluation = getBool(j, where, "exactEvaluation");
  r.windowShape = static_cast<uint8_t>(getInt(j, where, "windowShape", 0, 1));
  r.averages = getInt(j, where, "averages", 1, kMaxAverages);
  bool known = false;
  for (int32_t a : averagesTable) known = known || a == r.averages;
  if (!known) fault(where + ".averages", "not one of 1, 2, 4, 8, 16, 32");
  r.responseRate = getInt(j, where, "responseRate", 0, static_cast<int64_t>(kCustomRateRange.max));
  r.fromFile = getBool(j, where, "fromFile");
  r.hasResponse = getBool(j, where, "hasResponse");

  const json& title = member(j, where, "title");
  if (!title.is_string()) fault(where + ".title", "not a string");
  const std::string& t = title.get_ref<const std::string&>();
  if (t.size() > kTitleCapacity - 1 || t.find('\0') != std::string::npos)
    fault(where + ".title", "longer than 199 bytes or holds a NUL");
  std::memset(r.title, 0, sizeof r.title);
  std::memcpy(r.title, t.data(), t.size());

  const json& held = member(j, where, "held");
  if (!held.is_string() || held.get_ref<const std::string&>().size() != kGridPoints)
    fault(where + ".held", "not a string of 1000 digits 0 and 1");
  const std::string& h = held.get_ref<const std::string&>();
  r.held.reset();
  for (size_t i = 0; i < kGridPoints; ++i) {
    if (h[i] != '0' && h[i] != '1') fault(where + ".held", "not a string of 1000 digits 0 and 1");
    r.held[i] = h[i] == '1';
  }

  const json& response = member(j, where, "response");
  if (!response.is_array() || response.size() != kGridPoints)
    fault(where + ".response", "not an array of 1000 points");
  for (size_t i = 0; i < kGridPoints; ++i) {
    const std::string at = where + ".response[" + std::to_string(i) + "]";
    const json& p = response[i];
    if (!p.is_array() || p.size() != 2) fault(at, "not a pair of numbers");
    r.response[i].re = numberOf(p[0], at);
    r.response[i].im = numberOf(p[1], at);
  }
}

json mergeToJson(const MergeSetup& m) {
  json j;
  j["transitionFreq"] = hexDouble(m.transitionFreq);
  j["baffleFreq"] = hexDouble(m.baffleFreq);
  j["addMode"] = m.addMode;
  j["lowerDelay"] = hexDouble(m.lowerDelay);
  j["lowerGainDb"] = hexDouble(m.lowerGainDb);
  j["lowerGain"] = hexDouble(m.lowerGain);
  j["storedSlot"] = m.storedSlot;
  j["upperDelay"] = hexDouble(m.upperDelay);
  j["upperGainDb"] = hexDouble(m.upperGainDb);
  j["upperGain"] = hexDouble(m.upperGain);
  return j;
}

void mergeFromJson(const json& j, MergeSetup& m) {
  const std::string where = "merge";
  if (!j.is_object()) fault(where, "not an object");
  m.transitionFreq = getDouble(j, where, "transitionFreq", kPositive);
  m.baffleFreq = getDouble(j, where, "baffleFreq", kPositive);
  m.addMode = getBool(j, where, "addMode");
  m.lowerDelay = getDouble(j, where, "lowerDelay", kAnyFinite);
  m.lowerGainDb = getDouble(j, where, "lowerGainDb", kAnyFinite);
  m.lowerGain = getDouble(j, where, "lowerGain", kAnyFinite);
  m.storedSlot = getInt(j, where, "storedSlot", -1, 7);
  m.upperDelay = getDouble(j, where, "upperDelay", kAnyFinite);
  m.upperGainDb = getDouble(j, where, "upperGainDb", kAnyFinite);
  m.upperGain = getDouble(j, where, "upperGain", kAnyFinite);
}

// Deepest nesting of arrays and objects outside strings; the parser is never
// given a file nested deeper than a session is.
int nestingDepth(const std::string& text) {
  int depth = 0, deepest = 0;
  bool inString = false, escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

std::string sessionToJson(const SessionData& session) {
  json j;
  j["format"] = kSessionFormatName;
  j["version"] = kSessionVersion;
  json live = recordToJson(session.live);
  live["measured"] = session.liveMeasured;
  j["live"] = std::move(live);
  json slots = json::array();
  for (const MeasSetup& s : session.slots) slots.push_back(recordToJson(s));
  j["slots"] = std::move(slots);
  j["merge"] = mergeToJson(session.merge);
  j["overlays"] = session.overlays;
  // A title cut from a file name may hold bytes that are not UTF-8; they are
  // written as U+FFFD rather than making the whole session unwritable.
  return j.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool sessionFromJson(const std::string& text, SessionData& out, std::string& error) {
  if (text.empty()) {
    error = "The file is empty.";
    return false;
  }
  if (nestingDepth(text) > 8) {
    error = "The file is not a session: it is nested deeper than a session is.";
    return false;
  }
  const json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "The file is not a session: it is not a valid JSON object.";
    return false;
  }
  try {
    const json& format = member(j, "session", "format");
    if (!format.is_string() || format.get_ref<const std::string&>() != kSessionFormatName)
      fault("session.format", "not \"sonrake-session\"");
    const json& version = member(j, "session", "version");
    if (!version.is_number_integer() || version.get<int64_t>() != kSessionVersion)
      fault("session.version", "not a version this program reads (1)");
    recordFromJson(member(j, "session", "live"), "live", out.live);
    out.liveMeasured = getBool(member(j, "session", "live"), "live", "measured");
    const json& slots = member(j, "session", "slots");
    if (!slots.is_array() || slots.size() != kSessionSlotCount)
      fault("slots", "not an array of 10 records");
    for (size_t i = 0; i < kSessionSlotCount; ++i)
      recordFromJson(slots[i], "slots[" + std::to_string(i) + "]", out.slots[i]);
    mergeFromJson(member(j, "session", "merge"), out.merge);
    // Sessions written before overlays existed have none.
    out.overlays.fill(false);
    if (const auto it = j.find("overlays"); it != j.end()) {
      if (!it->is_array() || it->size() != kSessionOverlaySlots)
        fault("overlays", "not an array of 8 booleans");
      for (size_t i = 0; i < kSessionOverlaySlots; ++i) {
        if (!(*it)[i].is_boolean())
          fault("overlays[" + std::to_string(i) + "]", "not true or false");
        out.overlays[i] = (*it)[i].get<bool>();
      }
    }
  } catch (const SessionFault& f) {
    error = "The session file is refused: " + f.text + ".";
    return false;
  } catch (const json::exception& e) {
    error = std::string("The session file is refused: ") + e.what();
    return false;
  }
  return true;
}

bool writeSessionFile(const std::string& path, const SessionData& session, std::string& error) {
  const std::string text = sessionToJson(session);
  if (!writeFileAtomically(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    error = "The session could not be written to " + path + ".";
    return false;
  }
  return true;
}

bool readSessionFile(const std::string& path, SessionData& out, std::string& error) {
  std::vector<uint8_t> bytes(kSessionMaxBytes + 1);
  const long n = readFileBytes(path, bytes.data(), bytes.size());
  if (n < 0) {
    error = "The session file " + path + " cannot be read.";
    return false;
  }
  if (static_cast<size_t>(n) > kSessionMaxBytes) {
    error = "The file is larger than a session can be (8 MB).";
    return false;
  }
  const std::string text(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(n));
  auto scratch = std::make_unique<SessionData>();
  if (!sessionFromJson(text, *scratch, error)) return false;
  out = *scratch;
  return true;
}
