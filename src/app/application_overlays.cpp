#include "app/application.h"
#include "app/overlays.h"

bool Application::overlayChanged(int n, bool shown) {
  if (!slotInRange(n)) return false;
  state_->overlays.shown[static_cast<size_t>(n - 1)] = shown;
  observer_.redraw();
  return true;
}

bool Application::overlayShown(int n) const {
  return slotInRange(n) && state_->overlays.shown[static_cast<size_t>(n - 1)];
}
