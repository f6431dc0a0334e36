#include "setup/curve_text.h"

#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "setup/file_io.h"

namespace {

constexpr int kNumberCapacity = 1001;  // longest number read, NUL included

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDelimiter(char c) { return c == ',' || c == ';'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

const char* skipBlanks(const char* p, const char* end) {
  while (p < end && isBlank(*p)) ++p;
  return p;
}

// Whether [p, end) starts with `word`, case ignored.
bool startsWith(const char* p, const char* end, const char* word) {
  for (; *word != '\0'; ++word, ++p)
    if (p >= end || lower(*p) != *word) return false;
  return true;
}

bool isCommentMark(char c) { return c == '*' || c == '#' || c == ';' || c == '"'; }

// The line's text for showing: without comment marks, quotes and the blanks
// around them, cut to what fits.
void keepText(const char* begin, const char* end, char (&text)[kSensitivityTextCapacity]) {
  while (begin < end && (isBlank(*begin) || isCommentMark(*begin))) ++begin;
  while (end > begin && (isBlank(end[-1]) || end[-1] == '"')) --end;
  size_t n = 0;
  for (const char* p = begin; p < end && n + 1 < sizeof text; ++p)
    text[n++] = (static_cast<unsigned char>(*p) < 0x20) ? ' ' : *p;
  text[n] = '\0';
}

}  // namespace

bool leadingNumber(const char* p, const char* end, bool decimalComma, double& value) {
  value = 0.0;
  const char* q = p;
  if (q < end && (*q == '+' || *q == '-')) ++q;
  int digits = 0;
  while (q < end && isDigit(*q)) ++q, ++digits;
  if (q < end && (*q == '.' || (decimalComma && *q == ','))) {
    ++q;
    while (q < end && isDigit(*q)) ++q, ++digits;
  }
  if (digits == 0) return false;
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* e = q + 1;
    if (e < end && (*e == '+' || *e == '-')) ++e;
    if (e < end && isDigit(*e)) {
      while (e < end && isDigit(*e)) ++e;
      q = e;
    }
  }
  // The number is copied out so that the C library stops where it ends,
  // with a decimal point whatever was written; the front ends keep the C
  // locale for numbers.
  const size_t n = static_cast<size_t>(q - p);
  if (n >= kNumberCapacity) return false;
  char number[kNumberCapacity];
  std::memcpy(number, p, n);
  number[n] = '\0';
  for (size_t i = 0; i < n; ++i)
    if (number[i] == ',') number[i] = '.';
  value = std::strtod(number, nullptr);
  return true;
}

TextFields splitFields(const char* begin, const char* end, FieldSplit split) {
  TextFields f;
  const bool tolerant = split == FieldSplit::tolerant;
  bool decimalComma = false;
  if (tolerant) {
    for (const char* p = begin; p < end && !decimalComma; ++p) decimalComma = *p == ';' || *p == '\t';
  }
  auto separates = [&](char c) {
    if (isBlank(c)) return true;
    if (!tolerant) return false;
    return c == ';' || (c == ',' && !decimalComma);
  };

  const char* p = skipBlanks(begin, end);
  while (p < end && f.count < kCurveColumns) {
    const char* fieldEnd = p;
    while (fieldEnd < end && !separates(*fieldEnd)) ++fieldEnd;
    f.numeric[f.count] = leadingNumber(p, fieldEnd, decimalComma, f.value[f.count]);
    ++f.count;
    p = skipBlanks(fieldEnd, end);
    // One delimiter closes the field; blanks around it belong to neither.
    if (tolerant && p < end && separates(*p)) p = skipBlanks(p + 1, end);
    if (p == end) break;
  }
  return f;
}

CurveSensitivity parseSensitivityLine(const char* begin, const char* end) {
  CurveSensitivity s;
  const char* p = skipBlanks(begin, end);

  // "*1000Hz -41.0": a frequency in Hz, then the level at it.
  if (p < end && *p == '*') {
    const char* q = skipBlanks(p + 1, end);
    double hz = 0.0;
    if (leadingNumber(q, end, false, hz)) {
      while (q < end && (isDigit(*q) || *q == '.' || *q == '+' || *q == '-' || *q == 'e' || *q == 'E')) ++q;
      q = skipBlanks(q, end);
      if (startsWith(q, end, "hz") && hz > 0.0) {
        q = q + 2;
        while (q < end && (isBlank(*q) || isDelimiter(*q) || *q == ':' || *q == '=')) ++q;
        double db = 0.0;
        if (leadingNumber(q, end, false, db)) {
          s.found = true;
          s.freqHz = hz;
          s.levelDb = db;
        }
      }
    }
  }

  // "Sens Factor =-1.378dB": a level after the word and an '=' or ':'.
  for (const char* q = p; !s.found && q + 4 <= end; ++q) {
    if (!startsWith(q, end, "sens")) continue;
    const char* r = q + 4;
    while (r < end && *r != '=' && *r != ':') ++r;
    if (r == end) break;
    r = skipBlanks(r + 1, end);
    double db = 0.0;
    if (leadingNumber(r, end, false, db)) {
      s.found = true;
      s.levelDb = db;
    }
  }
  if (s.found) keepText(begin, end, s.text);
  return s;
}

CurveTextReader::CurveTextReader(const std::string& path, FieldSplit split)
    : split_(split), line_(new char[kCurveLineCapacity]) {
  const int fd = openRegularFile(path);
  if (fd < 0) return;
  file_ = ::fdopen(fd, "rb");
  if (file_ == nullptr) ::close(fd);
}

CurveTextReader::~CurveTextReader() {
  if (file_ != nullptr) std::fclose(file_);
}

int CurveTextReader::nextByte() {
  if (pending_ >= 0) {
    const int c = pending_;
    pending_ = -1;
    return c;
  }
  return getc_unlocked(file_);
}

bool CurveTextReader::readLine() {
  length_ = 0;
  tooLong_ = false;
  int c = nextByte();
  if (c == EOF) return false;
  while (c != EOF && c != '\n' && c != '\r') {
    if (length_ < kCurveLineCapacity - 1) {
      line_[length_++] = static_cast<char>(c);
    } else {
      tooLong_ = true;
    }
    c = nextByte();
  }
  if (c == '\r') {
    const int next = getc_unlocked(file_);
    if (next != '\n' && next != EOF) pending_ = next;
  }
  ++lineNumber_;
  return true;
}

bool CurveTextReader::nextData(TextFields& fields) {
  if (file_ == nullptr) return false;
  while (readLine()) {
    if (tooLong_) {
      ++longLines_;
      continue;
    }
    const char* begin = line_.get();
    const char* end = begin + length_;
    const char* p = skipBlanks(begin, end);
    if (p == end) continue;
    if (!isCommentMark(*p)) {
      fields = splitFields(begin, end, split_);
      if (fields.count > 0 && fields.numeric[0]) return true;
    }
    // A comment or a heading: it may state the sensitivity.
    if (!sensitivity_.found) sensitivity_ = parseSensitivityLine(begin, end);
  }
  return false;
}

std::string describePoints(long count, double firstHz, double lastHz) {
  char text[96];
  if (count <= 0) return "no points";
  if (count == 1) {
    std::snprintf(text, sizeof text, "1 point at %.6g Hz", firstHz);
  } else {
    std::snprintf(text, sizeof text, "%ld points from %.6g Hz to %.6g Hz", count, firstHz, lastHz);
  }
  return text;
}

std::string notAscendingText(long line) {
  return "The frequencies in the file do not ascend (line " + std::to_string(line) + ").";
}
