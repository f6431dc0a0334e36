#pragma once
// The dialogs seam for tests: every message box is written down and answered
// at once with a preset answer, so no test ever waits on a modal box.

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

  std::vector<Box> boxes;
  MsgResult answer = MsgResult::ok;  // what every box answers
};
