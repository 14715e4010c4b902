#include "app/ui/SettingSaver.h"

#include <QMessageBox>

#include "app/core/UserDefaults.h"

namespace settingsui {

void save(QWidget* parent, UserDefaults& defaults, const QString& key, const QVariant& value) {
  if (defaults.setValue(key, value)) return;
  auto* box = new QMessageBox(
      QMessageBox::Warning, QObject::tr("Settings Not Saved"),
      QObject::tr("Ferrolux could not save its settings to %1. The change holds until Ferrolux "
                  "quits; check that the disk has room and the folder can be written.")
          .arg(defaults.filePath()),
      QMessageBox::Ok, parent);
  box->setObjectName(QStringLiteral("settingsNotSaved"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace settingsui
