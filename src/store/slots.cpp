#include "store/slots.h"

#include <cstring>

void copySlotFields(const MeasSetup& src, MeasSetup& dst) {
  dst.invertPolarity = src.invertPolarity;
  dst.showChannel = src.showChannel;
  dst.impedanceMode = src.impedanceMode;
  dst.autoscaleOffset = src.autoscaleOffset;
  dst.response = src.response;
  // A title that lost its terminator is cut rather than read past its end.
  const size_t len = strnlen(src.title, kTitleCapacity - 1);
  std::memmove(dst.title, src.title, len);
  dst.title[len] = '\0';
}
