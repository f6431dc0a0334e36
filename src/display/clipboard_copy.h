#pragma once
// The "Copy" button: a picture of the frequency graph's frame, with the plot
// and everything shown over the frame, goes to the clipboard.

#include <cstdint>

#include "display/graph_layout.h"

class Clipboard;
class Dialogs;
struct ClipImage;

// The copied area: the frame canvas without its outermost 2 pixels on each
// side, starting at (2, 2) of the frame: 629 x 301 pixels at the window's
// default size, more in a larger window.
inline constexpr int kClipInset = 2;
inline constexpr int kClipWidth = kFrameWidth - 2 * kClipInset;
inline constexpr int kClipHeight = kFrameHeight - 2 * kClipInset;

enum class ClipCopyResult : uint8_t {
  copied,   // the picture is on the clipboard
  noImage,  // no picture could be taken: "Out of memory" was shown
  busy,     // the clipboard could not be opened: dropped without a message
};

// Hands the picture of the frame to the clipboard. A picture without pixels
// or area (it could not be taken) shows "Out of memory" in a warning box
// captioned "Copy window" and leaves the clipboard alone; a busy clipboard
// drops the copy silently.
ClipCopyResult copyGraphToClipboard(const ClipImage& picture, Clipboard& clipboard,
                                    Dialogs& dialogs);
