// Saving one setting from a settings page, telling the person when the file could not be saved.
#pragma once

#include <QVariant>

class QWidget;
class UserDefaults;

namespace settingsui {

// Stores `value` under `key`; when the file cannot be written, a warning beside `parent` says
// so and where, without blocking the window. The change holds for this run either way.
void save(QWidget* parent, UserDefaults& defaults, const QString& key, const QVariant& value);

}  // namespace settingsui
