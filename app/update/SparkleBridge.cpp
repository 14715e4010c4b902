#include "app/update/SparkleBridge.h"

#include <cstdio>

SparkleBridge::SparkleBridge(update::Updater::Configuration configuration, QObject* parent)
    : QObject(parent) {
  userDriver_ = std::make_unique<update::StandardUserDriver>(configuration.host);
  updater_ = std::make_unique<update::Updater>(std::move(configuration), *userDriver_);
}

SparkleBridge::~SparkleBridge() {
  // The updater's check reports to the driver, so it goes first.
  updater_.reset();
}

void SparkleBridge::checkForUpdates() {
  if (!updater_) return;
  QString error;
  if (!updater_->startUpdater(&error)) {
    std::printf("error %s\n", qPrintable(error));
    std::fflush(stdout);
    return;
  }
  updater_->checkForUpdates();
}
