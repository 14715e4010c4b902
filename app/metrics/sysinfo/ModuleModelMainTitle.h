// The facts shown in the monitor window's title: chip name and core counts, GPU name and GPU
// core count, and whether the machine has a GPU at all (gpuName is "Unknown" when it has none).
// Read once at construction and never changed.
#pragma once

#include <cstdint>

#include <QObject>
#include <QString>

#include "platform/Platform.h"

class ModuleModelMainTitle : public QObject {
  Q_OBJECT

 public:
  explicit ModuleModelMainTitle(platform::Platform& platform, QObject* parent = nullptr);
  // On the process-wide platform.
  explicit ModuleModelMainTitle(QObject* parent = nullptr);

  const QString& appleSiliconName() const { return appleSiliconName_; }
  const QString& gpuName() const { return gpuName_; }
  int64_t numberOfECore() const { return numberOfECore_; }
  int64_t numberOfPCore() const { return numberOfPCore_; }
  int64_t numberOfGPUCore() const { return numberOfGPUCore_; }
  bool hasGPU() const { return hasGPU_; }

 signals:
  void changed();

 private:
  QString appleSiliconName_;
  QString gpuName_;
  int64_t numberOfECore_ = 0;
  int64_t numberOfPCore_ = 0;
  int64_t numberOfGPUCore_ = -1;
  bool hasGPU_ = false;
};
