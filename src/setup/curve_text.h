#pragma once
// The tolerant reader of the text files that hold a curve: frequency
// response, impedance and microphone files as other programs write them.
// It reads line by line with fixed buffers, so a file of any size, any line
// length and any bytes is read in one pass without growing memory; what a
// line means (which columns, which values are usable) is the caller's
// business.
//
// A line is blank, a comment (its first non-blank character is '*', '#', ';'
// or '"'), a heading (its first field is not a number, e.g. "Freq,dB,Phase"),
// too long (more than kCurveLineCapacity - 1 characters; skipped whole) or a
// data line (its first field starts with a number). Lines end in LF, CR or
// CR LF.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

inline constexpr int kCurveLineCapacity = 4096;  // NUL included
inline constexpr int kCurveColumns = 3;          // columns kept; further ones are ignored
inline constexpr int kSensitivityTextCapacity = 120;

// How a line is cut into fields.
enum class FieldSplit : uint8_t {
  // Runs of spaces and tabs separate; commas and semicolons are part of a field.
  whitespace,
  // Runs of spaces and tabs separate, and so does a single ',' or ';' (with
  // blanks around it); two of them in a row leave an empty field between.
  // In a line that holds a ';' or a tab, a comma is a decimal comma instead
  // ("100;-1,5;3" and "100\t-1,5\t3" are 100, -1.5, 3).
  tolerant,
};

// The first kCurveColumns fields of a line.
struct TextFields {
  int count = 0;                         // fields found, at most kCurveColumns
  double value[kCurveColumns]{};         // the leading number of each field, 0 where none
  bool numeric[kCurveColumns]{};         // the field starts with a number
};

// The number at the start of [p, end): optional sign, digits with an optional
// decimal point (or, with decimalComma, a comma), an optional exponent
// ("e5", "E-3"; an 'e' without digits ends the number). Whatever follows is
// ignored ("3dB" is 3). Returns false, value 0, when the text does not start
// with such a number; words the C library would read (nan, inf, 0x..) are
// not numbers here. A number beyond a double reads as +-infinity (or 0 for
// tiny ones); one of more than 1000 characters is no number.
bool leadingNumber(const char* p, const char* end, bool decimalComma, double& value);

// The fields of the text [begin, end) cut as `split` says. Never reads
// outside the range.
TextFields splitFields(const char* begin, const char* end, FieldSplit split);

// A sensitivity stated in a comment or heading line.
struct CurveSensitivity {
  bool found = false;
  double levelDb = 0.0;  // the value, dB as written
  double freqHz = 0.0;   // the frequency it is given at; 0 when the line names none
  char text[kSensitivityTextCapacity]{};  // the line as written, without marks and quotes, cut
};

// The sensitivity a line states, if any: "Sens Factor =-1.378dB, SERNO: 7000000"
// (a line that names "sens" followed by '=' or ':' and a number) or
// "*1000Hz -41.0" (a '*' line: a frequency with "Hz", then a level). found
// false otherwise.
CurveSensitivity parseSensitivityLine(const char* begin, const char* end);

class CurveTextReader {
 public:
  // Opens the file at path when it is a regular file (never blocking on a
  // FIFO); isOpen() tells whether it could.
  explicit CurveTextReader(const std::string& path, FieldSplit split = FieldSplit::tolerant);
  ~CurveTextReader();
  CurveTextReader(const CurveTextReader&) = delete;
  CurveTextReader& operator=(const CurveTextReader&) = delete;

  bool isOpen() const { return file_ != nullptr; }

  // The fields of the next data line; false at the end of the file (or when
  // it cannot be read further). Comment and heading lines on the way are
  // looked at for a sensitivity.
  bool nextData(TextFields& fields);
  // The number (from 1) of the line nextData returned last.
  long lineNumber() const { return lineNumber_; }
  // Lines skipped for being too long so far.
  long longLines() const { return longLines_; }
  // The first sensitivity found in a comment or heading line so far.
  const CurveSensitivity& sensitivity() const { return sensitivity_; }

 private:
  bool readLine();
  int nextByte();

  std::FILE* file_ = nullptr;
  FieldSplit split_;
  std::unique_ptr<char[]> line_;
  int length_ = 0;
  bool tooLong_ = false;
  long lineNumber_ = 0;
  long longLines_ = 0;
  int pending_ = -1;  // a byte read ahead after a CR
  CurveSensitivity sensitivity_;
};

// "3 points from 20 Hz to 20000 Hz" (frequencies with up to six digits),
// "1 point at 1000 Hz", "no points".
std::string describePoints(long count, double firstHz, double lastHz);

// "The frequencies in the file do not ascend (line 7)."
std::string notAscendingText(long line);
