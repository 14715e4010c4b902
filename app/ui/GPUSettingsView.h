// The settings window's "Extra" tab: the optional series. Each switch shows its user-defaults
// key as it reads now and writes it only when the person flips it.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

class QCheckBox;
class UserDefaults;

class GPUSettingsView : public QWidget {
  Q_OBJECT

 public:
  explicit GPUSettingsView(UserDefaults& defaults, QWidget* parent = nullptr);

  QCheckBox* gpuUtilization() const { return gpuUtilization_; }
  QCheckBox* showEPUtilization() const { return showEPUtilization_; }
  QCheckBox* gpuFrequency() const { return gpuFrequency_; }

 private:
  QCheckBox* addSwitch(const QString& title, const char* key);
  void refresh();

  UserDefaults& defaults_;
  QCheckBox* gpuUtilization_;
  QCheckBox* showEPUtilization_;
  QCheckBox* gpuFrequency_;
};
