#include "store/slots.h"

#include <cstring>

void copySlotFields(const MeasSetup& src, MeasSetup& dst) {
  dst.invertPolarity = src.invertPolarity;
  dst.showChannel = src.showChannel;
  dst.impedanceMode = src.impedanceMode;
  dst.autoscaleOffset = src.autoscaleOffset;
  dst.response = src.response;
  // The rate travels with the response: it decides up to where the curve
  // holds a measurement, whatever the live rate is when it is shown again.
  dst.responseRate = src.responseRate;
  dst.held = src.held;
  dst.fromFile = src.fromFile;
  // A title that lost its terminator is cut rather than read past its end.
  const size_t len = strnlen(src.title, kTitleCapacity - 1);
  std::memmove(dst.title, src.title, len);
  dst.title[len] = '\0';
}
