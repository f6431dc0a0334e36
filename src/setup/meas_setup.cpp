#include "setup/meas_setup.h"

#include <cmath>
#include <cstring>

double gridFrequency(int i) {
  const long double step = std::log10(10000.0L) * (1.0L / 999.0L);
  return static_cast<double>(5.0L * std::pow(10.0L, static_cast<long double>(i) * step));
}

void MeasSetup::setDefaults() {
  twoChannel = false;
  setMlsOrder(1);
  setSampleRate(6);
  freqLow = 20.0;
  freqHigh = 20000.0;
  cyclic = false;
  winStart = 0;
  winLength = 8192;
  invertPolarity = false;
  smoothIndex = 0;
  showChannel = 0;
  impedanceMode = 0;
  seriesR = 12.0;
  micDataOff = true;
  phaseHidden = false;
  autoscaleOffset = 0.0;
  levelScale = 0.0;
  displayRange = 40.0;
  zMin = 1.0;
  zMax = 100.0;
  impedanceSmooth = false;
  exactEvaluation = false;
  windowShape = kWindowQuarterCosine;
  averages = 1;
  for (int i = 0; i < kGridPoints; ++i) freqGrid[i] = gridFrequency(i);
  response.fill(Complex(1.0001, 0.0));
  responseRate = 0;
  held.set();
  fromFile = false;
  title[0] = '\0';
  hasResponse = false;
}

void MeasSetup::setSampleRate(int32_t index) {
  if (index > 0) sampleRate = sampleRateTable[index];
  sRateIndex = index;
  bandSplitLow = static_cast<int32_t>(sampleRate * 0.0125 + 0.5);
  bandSplitHigh = static_cast<int32_t>(sampleRate * 0.125 + 0.5);
  delaySamples = static_cast<int32_t>(sampleRate * 0.2);
}

void MeasSetup::setMlsOrder(int32_t index) {
  mlsSize = mlsSizeTable[index];
  mlsSizeStereo = 2 * mlsSize;
  mlsOrder = mlsOrderTable[index];
}

void setTitleUtf8(char (&title)[kTitleCapacity], std::string_view utf8) {
  size_t n = utf8.size() < kTitleCapacity - 1 ? utf8.size() : kTitleCapacity - 1;
  while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
  std::memcpy(title, utf8.data(), n);
  title[n] = '\0';
}
