// The driver parameter panel's operations.

#include "app/application.h"
#include "platform/clipboard.h"
#include "store/driver_params_text.h"

void Application::driverInputsChanged(const DriverInputs& inputs) {
  state_->driverInputs = inputs;
  updateDriverParams(*state_);
  observer_.redraw();
}

bool Application::copyDriverParamsClicked(Clipboard& clipboard) {
  const std::string text = driverParamsText(state_->driverParams);
  if (text.empty()) return false;
  return clipboard.setText(text.c_str());
}
