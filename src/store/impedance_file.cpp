#include "store/impedance_file.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <system_error>

#include "setup/file_io.h"

namespace {

constexpr size_t kMaxFileBytes = 8u << 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The next whitespace-separated word of line from pos; empty at the end.
std::string_view nextWord(std::string_view line, size_t& pos) {
  while (pos < line.size() && isSpace(line[pos])) ++pos;
  const size_t start = pos;
  while (pos < line.size() && !isSpace(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

bool readNumber(std::string_view word, double& out) {
  if (word.empty()) return false;
  const auto r = std::from_chars(word.data(), word.data() + word.size(), out, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == word.data() + word.size() && std::isfinite(out);
}

ImpedanceFile failed(size_t lineNo, const std::string& what) {
  ImpedanceFile f;
  f.error = lineNo == 0 ? what : "line " + std::to_string(lineNo) + ": " + what;
  return f;
}

}  // namespace

ImpedanceFile parseImpedanceText(std::string_view text) {
  ImpedanceFile out;
  size_t lineNo = 0;
  bool header = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    size_t pos = 0;
    const std::string_view first = nextWord(line, pos);
    if (first.empty()) continue;
    if (!header) {
      if (first != "Freq") return failed(lineNo, "not a curve exported by this program (no Freq header)");
      header = true;
      continue;
    }
    double v[3];
    std::string_view words[3] = {first, nextWord(line, pos), nextWord(line, pos)};
    for (int i = 0; i < 3; ++i)
      if (!readNumber(words[i], v[i])) return failed(lineNo, "expected frequency, magnitude and phase");
    if (!nextWord(line, pos).empty()) return failed(lineNo, "more than three numbers");
    if (!(v[0] > 0.0) || (!out.freqHz.empty() && !(v[0] > out.freqHz.back())))
      return failed(lineNo, "frequencies must be positive and rise from line to line");
    if (v[1] < 0.0) return failed(lineNo, "a negative magnitude: not an impedance curve");
    if (out.freqHz.size() >= kMaxImpedanceLines) return failed(lineNo, "too many lines");
    const double rad = v[2] * std::numbers::pi / 180.0;
    out.freqHz.push_back(v[0]);
    out.z.emplace_back(v[1] * std::cos(rad), v[1] * std::sin(rad));
  }
  if (!header) return failed(0, "an empty file");
  out.ok = true;
  return out;
}

ImpedanceFile readImpedanceFile(const std::string& path) {
  std::string bytes(kMaxFileBytes + 1, '\0');
  const long n = readFileBytes(path, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
  ImpedanceFile f;
  if (n < 0) {
    f.error = "cannot read " + path;
    return f;
  }
  if (static_cast<size_t>(n) > kMaxFileBytes) {
    f.error = path + " is too large for a curve";
    return f;
  }
  bytes.resize(static_cast<size_t>(n));
  f = parseImpedanceText(bytes);
  if (!f.ok) f.error = path + ": " + f.error;
  return f;
}
