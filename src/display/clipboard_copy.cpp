#include "display/clipboard_copy.h"

#include "platform/clipboard.h"
#include "platform/dialogs.h"

ClipCopyResult copyGraphToClipboard(const ClipImage& picture, Clipboard& clipboard,
                                    Dialogs& dialogs) {
  if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0 ||
      picture.stride < picture.width) {
    dialogs.messageBox("Out of memory", "Copy window", MsgIcon::warning, MsgButtons::ok);
    return ClipCopyResult::noImage;
  }
  return clipboard.setImage(picture) ? ClipCopyResult::copied : ClipCopyResult::busy;
}
