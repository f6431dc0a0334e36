#pragma once
// The clipboard seam on the system clipboard: the picture goes there as an
// image, the text as plain text.

#include "platform/clipboard.h"

class TQtClipboard final : public Clipboard {
 public:
  // Puts a deep copy of the picture on the application's clipboard. Qt's
  // clipboard reports no failure, so this always answers true.
  bool setImage(const ClipImage& image) override;
  bool setText(const char* utf8) override;
};
