#pragma once
// The dialogs seam: the modal boxes through which the program tells the user
// about a failure. The window implements it with real dialogs (ui/); tests
// substitute a recorder, so that no test ever waits on a modal box. Called on
// the program's thread only.

#include <cstdint>

enum class MsgIcon : uint8_t { none, information, warning, error, question };
enum class MsgButtons : uint8_t { ok, okCancel, yesNo };
enum class MsgResult : uint8_t { ok, cancel, yes, no };

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Modal message box with `text`, the window caption `caption` (may be
  // empty), an icon and a set of buttons. Returns the button the user chose;
  // a box closed without a choice answers cancel (no for yesNo, ok for ok).
  // Both texts are zero-terminated and only read during the call.
  virtual MsgResult messageBox(const char* text, const char* caption, MsgIcon icon,
                               MsgButtons buttons) = 0;
};
