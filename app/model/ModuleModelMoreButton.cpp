#include "app/model/ModuleModelMoreButton.h"

#include "app/core/Dispatch.h"

std::shared_ptr<ModuleModelMoreButton> ModuleModelMoreButton::create() {
  return std::shared_ptr<ModuleModelMoreButton>(new ModuleModelMoreButton());
}

void ModuleModelMoreButton::refresh() {
  dispatch::mainAsync(weak_from_this(), [this] { emit changed(); });
}
