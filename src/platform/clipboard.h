#pragma once
// The clipboard seam: the program hands the clipboard a picture as plain
// pixels, or plain text. The window implements it with the system clipboard (ui/); tests
// substitute a recorder. Called on the program's thread only.

#include <cstdint>

// A picture of width x height pixels, 0xffRRGGBB each, row after row; a row
// starts `stride` pixels after the one above it (stride >= width).
struct ClipImage {
  const uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

class Clipboard {
 public:
  virtual ~Clipboard() = default;

  // Replaces the clipboard's content with a copy of the picture, which must
  // hold pixels; they are only read during the call. Returns false, leaving
  // the clipboard as it was, when the clipboard cannot be opened.
  virtual bool setImage(const ClipImage& image) = 0;
  // Replaces the clipboard's content with the NUL-terminated UTF-8 text.
  // Returns false, leaving the clipboard as it was, when it cannot be opened.
  virtual bool setText(const char* utf8) = 0;
};
