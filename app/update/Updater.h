// The update checker: reads the appcast feed, picks the newest release that applies to this
// system, compares it with the running build and has the user driver show the outcome. It only
// informs: on this platform the package manager downloads and installs.
//
// The feed's address is the build's (FERROLUX_UPDATE_FEED_URL, empty unless a packager sets it),
// overridden by the "SUFeedURL" user default, read afresh by every start. With no address at all
// there is nothing to fetch, and the check says where this copy's updates come from instead. An
// address must be HTTPS (plain HTTP only to a loopback address, for tests); anything else makes
// startUpdater fail, so nobody on the network path decides what the window offers.
//
// Threads: main thread only. One check runs at a time; asking again while one runs does nothing.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

#include "app/core/BoundedGet.h"
#include "app/core/BundleInfo.h"
#include "app/update/Appcast.h"
#include "app/update/StandardUserDriver.h"
#include "platform/Platform.h"

class UserDefaults;

namespace update {

// The user default that overrides the build's feed address.
inline constexpr const char* kFeedURLKey = "SUFeedURL";

class Updater : public QObject {
  Q_OBJECT

 public:
  struct Configuration {
    BundleInfo host;                                   // compared by its build version
    QString feedURL;                                   // the build's; empty for none
    UserDefaults* defaults = nullptr;                  // "SUFeedURL"; null to ignore
    std::optional<platform::OSVersion> systemVersion;  // the macOS version stood for, if any
    int timeoutMs = 30000;                             // the whole fetch
    qint64 maxFeedBytes = 4 << 20;
  };

  // The build's feed address.
  static QString builtInFeedURL();

  Updater(Configuration configuration, StandardUserDriver& driver, QObject* parent = nullptr);

  // Takes the current feed address. False, with `error` set, when the address is unusable.
  bool startUpdater(QString* error);
  // Runs one user-visible check with the address of the last successful start.
  void checkForUpdates();
  bool isChecking() const { return fetch_ != nullptr; }

 signals:
  // A check has shown its outcome (any of them, not a cancellation).
  void checkFinished();

 private:
  void feedArrived(const BoundedGet::Result& result);

  Configuration configuration_;
  StandardUserDriver& driver_;
  std::optional<QUrl> feed_;  // set by a successful start; empty URL when there is no feed
  QPointer<BoundedGet> fetch_;
};

}  // namespace update
