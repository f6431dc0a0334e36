#pragma once
// The private "a setting changed" message that the numeric entries send to
// their owner, its codes, and the interface through which the owner receives
// it. Delivery is a direct, synchronous call: the receiver's handler has run
// to its end when the sender continues.

#include <cstdint>

inline constexpr uint32_t msgSettingChanged = 1225;  // the private window message 201 above 1024

// First parameter of msgSettingChanged: what the receiver has to recompute.
// Code 4 is not used.
enum NotifyCode : uint32_t {
  ncDisplay = 0,     // display settings: redraw only
  ncWindow = 1,      // analysis window: recompute the frequency response
  ncMerge = 2,       // merge/add parameters: recompute the weights
  ncMergeApply = 3,  // write the merge/add result into the response
  ncSampleRate = 5,  // a custom sample rate was typed
  ncDriver = 6,      // an input of the driver parameter panel: work them out again
};

// Receiver of the messages of the numeric entries (the main window).
class NotifyTarget {
 public:
  // Handles message msg with its two parameters; runs on the UI thread and
  // may change other controls before it returns.
  virtual void receiveMessage(uint32_t msg, uint32_t wParam, int32_t lParam) = 0;

 protected:
  ~NotifyTarget() = default;
};
