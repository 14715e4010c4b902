// What a command without a window sets up around the root model once its application object
// exists: numbers in the C locale, the shared root model, its helper connection closed when the
// application quits (the helper itself is left running for its other clients), and the
// terminal's stop signals taking that same quit path.
#pragma once

#include <string>

#include "app/model/AppDelegate.h"

class GeneralModel;
class QCoreApplication;

namespace headless {

class HeadlessRuntime {
 public:
  explicit HeadlessRuntime(QCoreApplication& app);
  GeneralModel& model() const { return model_; }

 private:
  GeneralModel& model_;
  AppDelegate delegate_;
};

// One line on standard error, as the commands without a window report.
void say(const std::string& line);

}  // namespace headless
