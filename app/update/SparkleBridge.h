// The updater bridge: the application's one door to the update checker. It makes the updater
// and its user driver when it is created and, each time the person chooses to check for updates,
// starts the updater again (so a changed feed address is taken up) and runs a visible check. A
// start that fails writes "error " and the reason to standard output and shows nothing; the next
// choice tries again.
//
// Threads: created and used on the main thread.
#pragma once

#include <QObject>

#include <memory>

#include "app/update/StandardUserDriver.h"
#include "app/update/Updater.h"

class SparkleBridge : public QObject {
  Q_OBJECT

 public:
  explicit SparkleBridge(update::Updater::Configuration configuration, QObject* parent = nullptr);
  ~SparkleBridge() override;

  void checkForUpdates();

  update::Updater* updater() const { return updater_.get(); }
  update::StandardUserDriver& userDriver() const { return *userDriver_; }

 private:
  std::unique_ptr<update::StandardUserDriver> userDriver_;
  std::unique_ptr<update::Updater> updater_;  // set once at creation
};
