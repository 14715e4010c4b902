// The window's title: the chip's name with its E- and P-core counts, and under it the GPU's name
// with its core count, both rows left-aligned. Reads the main-title model, which holds facts
// that do not change while the application runs. Main thread only.
#pragma once

#include <QWidget>

class ModuleModelMainTitle;
class QLabel;

class ModuleViewMainTitle : public QWidget {
  Q_OBJECT

 public:
  explicit ModuleViewMainTitle(const ModuleModelMainTitle& model, QWidget* parent = nullptr);

  // The four texts, top row first: chip name, core counts, GPU name, GPU core count.
  QStringList texts() const;

 public slots:
  void refresh();

 private:
  const ModuleModelMainTitle& model_;
  QLabel* chip_;
  QLabel* cores_;
  QLabel* gpu_;
  QLabel* gpuCores_;
};
