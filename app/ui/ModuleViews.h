// The measurement modules of the window, top to bottom, each a card bound to its model in the
// root model. Adding a module is one line here: a ModuleView subclass built on its model.
#pragma once

#include <QList>

class GeneralModel;
class ModuleView;
class UserDefaults;

namespace ModuleViews {

// New cards, without a parent, in window order.
QList<ModuleView*> create(GeneralModel& model, UserDefaults& defaults);

}  // namespace ModuleViews
