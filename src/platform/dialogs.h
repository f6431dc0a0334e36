#pragma once
// The dialogs seam: the modal boxes through which the program tells the user
// about a failure and asks for a file to read or write. The window implements
// it with real dialogs (ui/); tests substitute a recorder, so that no test ever
// waits on a modal box. Called on the program's thread only.

#include <cstddef>
#include <cstdint>

enum class MsgIcon : uint8_t { none, information, warning, error, question };
enum class MsgButtons : uint8_t { ok, okCancel, yesNo };
enum class MsgResult : uint8_t { ok, cancel, yes, no };

// What a file dialog offers. All texts are zero-terminated and only read
// during the call.
struct FileDialogRequest {
  // Appended (after a dot) to a chosen name that has no extension, e.g. "txt".
  const char* defaultExt;
  // Choices of the file type as description|pattern pairs, for example
  // "Text files (*.txt)|*.TXT|All files (*.*)|*.*"; the first one is chosen.
  const char* filter;
  // The name the dialog starts with; empty for none.
  const char* fileName;
};

// The file type choices of the program's text file dialogs.
inline constexpr const char* kTextFileFilter = "Text files (*.txt)|*.TXT|All files (*.*)|*.*";

// Longest path a file dialog hands back, the NUL included.
inline constexpr size_t kDialogPathCapacity = 260;

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Modal message box with `text`, the window caption `caption` (may be
  // empty), an icon and a set of buttons. Returns the button the user chose;
  // a box closed without a choice answers cancel (no for yesNo, ok for ok).
  // Both texts are zero-terminated and only read during the call.
  virtual MsgResult messageBox(const char* text, const char* caption, MsgIcon icon,
                               MsgButtons buttons) = 0;

  // Modal dialog for choosing an existing file to read. Returns true with the
  // chosen path, NUL-terminated, in path (capacity bytes); false when the user
  // cancels or the path does not fit into capacity, path then unchanged.
  virtual bool openFileDialog(const FileDialogRequest& request, char* path,
                              size_t capacity) = 0;
  // The same for a file to write: the chosen file may or may not exist yet.
  virtual bool saveFileDialog(const FileDialogRequest& request, char* path,
                              size_t capacity) = 0;
};
