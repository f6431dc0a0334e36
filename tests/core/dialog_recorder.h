#pragma once
// The dialogs seam for tests: every message box and file dialog is written
// down and answered at once with a preset answer, so no test ever waits on a
// modal box.

#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

class DialogRecorder : public Dialogs {
 public:
  struct Box {
    std::string text;
    std::string caption;
    MsgIcon icon;
    MsgButtons buttons;
  };

  MsgResult messageBox(const char* text, const char* caption, MsgIcon icon,
                       MsgButtons buttons) override {
    boxes.push_back({text, caption, icon, buttons});
    return answer;
  }

  struct FileDialog {
    bool save;  // a save dialog, else an open dialog
    std::string defaultExt;
    std::string filter;
    std::string fileName;  // the name it started with
  };

  bool openFileDialog(const FileDialogRequest& request, char* path, size_t capacity) override {
    return fileDialog(false, request, path, capacity);
  }
  bool saveFileDialog(const FileDialogRequest& request, char* path, size_t capacity) override {
    return fileDialog(true, request, path, capacity);
  }

  std::vector<Box> boxes;
  MsgResult answer = MsgResult::ok;  // what every box answers

  std::vector<FileDialog> fileDialogs;
  // The answers of the file dialogs in turn: a path, or nullopt for a cancel.
  // With none left a dialog is cancelled.
  std::deque<std::optional<std::string>> fileAnswers;

 private:
  bool fileDialog(bool save, const FileDialogRequest& r, char* path, size_t capacity) {
    fileDialogs.push_back({save, r.defaultExt ? r.defaultExt : "", r.filter ? r.filter : "",
                           r.fileName ? r.fileName : ""});
    if (fileAnswers.empty()) return false;
    const std::optional<std::string> a = fileAnswers.front();
    fileAnswers.pop_front();
    if (!a || a->size() >= capacity) return false;
    std::memcpy(path, a->c_str(), a->size() + 1);
    return true;
  }
};
