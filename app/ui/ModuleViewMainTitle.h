// The window's title: the chip's name with its E- and P-core counts ("(8 Cores)" on a machine
// without efficiency cores), and under it the GPU's name with its core count, both rows
// left-aligned. A count that is not known is left out, and so is the GPU row of a machine without
// a GPU. Reads the main-title model, which holds facts that do not change while the application
// runs. Main thread only.
#pragma once

#include <cstdint>

#include <QWidget>

class ModuleModelMainTitle;
class QLabel;

class ModuleViewMainTitle : public QWidget {
  Q_OBJECT

 public:
  explicit ModuleViewMainTitle(const ModuleModelMainTitle& model, QWidget* parent = nullptr);

  // The four texts, top row first: chip name, core counts, GPU name, GPU core count; a text
  // left out is empty.
  QStringList texts() const;
  static QString coresText(int64_t eCores, int64_t pCores);
  static QString gpuCoresText(int64_t gpuCores);

 public slots:
  void refresh();

 private:
  const ModuleModelMainTitle& model_;
  QLabel* chip_;
  QLabel* cores_;
  QLabel* gpu_;
  QLabel* gpuCores_;
};
