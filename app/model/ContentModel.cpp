#include "app/model/ContentModel.h"

#include "app/core/Dispatch.h"
#include "app/model/GeneralModel.h"

std::shared_ptr<ContentModel> ContentModel::create(GeneralModel& model) {
  std::shared_ptr<ContentModel> content(new ContentModel());
  content->checkHelper(model);
  return content;
}

void ContentModel::checkHelper(GeneralModel& model) {
  if (model.processorType() != "ARM") return;
  helperlink::XPCManager& manager = model.xpcmanager();
  manager.setContentModelDelegate(weak_from_this());
  // Any answer leads to the version check; a match authorizes the manager, which notifies its
  // delegates (the sample store starts) and refreshes this model. No answer changes nothing.
  manager.checkHelperAtStartup();
}

void ContentModel::refresh() {
  dispatch::mainAsync(weak_from_this(), [this] { emit changed(); });
}
