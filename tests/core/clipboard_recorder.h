#pragma once
// The clipboard seam for tests: writes down every picture and text handed
// over, pixel for pixel, or refuses them all as a busy clipboard would.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clipboard.h"

class ClipboardRecorder : public Clipboard {
 public:
  struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // row after row, no padding
  };

  bool setImage(const ClipImage& image) override {
    ++calls;
    if (busy) return false;
    Picture p{image.width, image.height, {}};
    for (int y = 0; y < image.height; ++y) {
      const uint32_t* row = image.pixels + static_cast<size_t>(y) * image.stride;
      p.pixels.insert(p.pixels.end(), row, row + image.width);
    }
    pictures.push_back(std::move(p));
    return true;
  }

  bool setText(const char* utf8) override {
    ++calls;
    if (busy) return false;
    texts.emplace_back(utf8);
    return true;
  }

  std::vector<Picture> pictures;
  std::vector<std::string> texts;
  int calls = 0;
  bool busy = false;  // answer every call as a clipboard that cannot be opened
};
