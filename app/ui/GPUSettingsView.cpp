#include "app/ui/GPUSettingsView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/core/NotificationCenter.h"
#include "app/core/UserDefaults.h"
#include "app/ui/SettingSaver.h"

namespace {
constexpr int kSwitchIndent = 15;
}

GPUSettingsView::GPUSettingsView(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), defaults_(defaults) {
  auto* form = new QVBoxLayout(this);
  form->addWidget(new QLabel(tr("Utilization:")));
  gpuUtilization_ = addSwitch(tr("Show GPU"), defaults::kGPUUtilization);
  showEPUtilization_ = addSwitch(tr("Show E-Core/P-Core"), defaults::kShowEPUtilization);
  form->addSpacing(6);
  form->addWidget(new QLabel(tr("Frequency:")));
  gpuFrequency_ = addSwitch(tr("Show GPU"), defaults::kGPUFrequency);
  form->addStretch(1);

  NotificationCenter::defaultCenter().addObserver(notifications::kUserDefaultsDidChange, this,
                                                  [this] { refresh(); });
  refresh();
}

QCheckBox* GPUSettingsView::addSwitch(const QString& title, const char* key) {
  auto* box = new QCheckBox(title, this);
  auto* row = new QHBoxLayout;
  row->addSpacing(kSwitchIndent);
  row->addWidget(box, 1);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
  // `clicked` comes only from the person, never from refresh().
  connect(box, &QCheckBox::clicked, this, [this, key](bool on) {
    settingsui::save(this, defaults_, QString::fromLatin1(key), on);
  });
  return box;
}

void GPUSettingsView::refresh() {
  const std::pair<QCheckBox*, bool> states[] = {
      {gpuUtilization_, defaults_.gpuUtilization()},
      {showEPUtilization_, defaults_.showEPUtilization()},
      {gpuFrequency_, defaults_.gpuFrequency()},
  };
  for (const auto& [box, on] : states) {
    const QSignalBlocker quiet(box);
    box->setChecked(on);
  }
}
