// The usage tracker: one anonymous event per launch, sent to a tracking server that speaks the
// Matomo HTTP Tracking API. The event carries the application's identifier, version and name,
// the machine's model, the system's version, the screens, the local time and a random visitor
// reference kept in the user defaults. Nothing is read back and a failure changes nothing.
//
// The server is the build's (FERROLUX_TELEMETRY_URL, empty unless a packager sets it), which the
// environment variable FERROLUX_TELEMETRY_URL overrides, even with an empty value. With no
// server, with DO_NOT_TRACK set to anything but "0", or with a server that is not HTTPS (plain
// HTTP only to a loopback address, for tests), track sends nothing and creates no reference.
//
// Threads: main thread only. The request runs on its own, with a 5-second limit on the whole
// exchange, and is dropped at once when the application quits.
#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

#include "app/core/BundleInfo.h"
#include "platform/Platform.h"

class UserDefaults;

namespace telemetry {

class MatomoTracker : public QObject {
  Q_OBJECT

 public:
  // The main screen's size in points, its scale, and how many screens there are.
  struct Screens {
    int count = 0;
    double width = 0;
    double height = 0;
    double scale = 1;
  };
  // Where the machine's facts come from, read each time a request is built.
  struct Sources {
    std::function<QDateTime()> now;
    std::function<QString()> hardwareModel;  // "Platform"
    std::function<QString()> osVersion;      // "OS version"
    std::function<Screens()> screens;
    // The platform's model string, the system's name and version, and the GUI's screens (none
    // without a GUI application).
    static Sources of(platform::Platform& platform);
  };

  static constexpr int kTimeoutMs = 5000;
  static constexpr const char* kServerVariable = "FERROLUX_TELEMETRY_URL";

  // The one tracker of the run, on the configured server, this program's bundle keys, the
  // user's defaults and the current platform. Created on first use, never released.
  static MatomoTracker& shared();
  // $FERROLUX_TELEMETRY_URL when set, else the build's address.
  static QString configuredServerURL();

  MatomoTracker(QString serverURL, const BundleInfo& bundle, UserDefaults& defaults,
                Sources sources, QObject* parent = nullptr);

  // Builds the request and sends it, unless tracking is off (see above).
  void track();
  // The request's URL; none when the text does not parse.
  std::optional<QUrl> buildURL();

  // Requests started so far.
  int requestsSent() const { return requestsSent_; }

  static constexpr const char* MatomoParameterEventCategory = "e_c";
  static constexpr const char* MatomoParameterEventAction = "e_a";
  static constexpr const char* MatomoParameterEventName = "e_n";
  static constexpr const char* MatomoParameterEventValue = "e_v";
  static constexpr const char* MatomoParameterURL = "url";
  static constexpr const char* MatomoParameterRandomNumber = "r";
  static constexpr const char* MatomoParameterHours = "h";
  static constexpr const char* MatomoParameterMinutes = "m";
  static constexpr const char* MatomoParameterSeconds = "s";
  static constexpr const char* MatomoParameterDateAndTime = "cdt";
  static constexpr const char* MatomoParameterVisitScopeCustomVariables = "_cvar";
  static constexpr const char* MatomoParameterSessionStart = "new_visit";
  static constexpr const char* MatomoParameterTotalNumberOfVisits = "_idvc";
  static constexpr const char* MatomoParameterPreviousVisitTimestamp = "_viewts";
  static constexpr const char* MatomoParameterSiteID = "idsite";
  static constexpr const char* MatomoParameterRecord = "rec";
  static constexpr const char* MatomoParameterAPIVersion = "apiv";
  static constexpr const char* MatomoParameterScreenResolution = "res";
  static constexpr const char* MatomoParameterVisitorID = "_id";
  static constexpr const char* MatomoParameterFirstVisitTimestamp = "_idts";

 private:
  void setParam(const QString& key, const QString& value);
  void removeParam(const QString& key);
  void addEventParameters();
  void addTimeParameters();
  void addVisitParameters();
  void buildCustomVariables();
  void addVisitorParameters();
  QString visitorReference();
  QString queryItems() const;

  UserDefaults& defaults_;
  Sources sources_;
  int requestsSent_ = 0;

  int totalNumberOfVisits = 0;  // read by nothing
  bool sessionStart = true;
  const QString serverURL;
  const QString endPoint;
  const QString siteID = QStringLiteral("2");
  const QString swVersion;
  const QString appVersion;
  const QString appIdentifier;
  const QString appName;
  // Kept in the order the steps add them, so requests read the same way every time.
  QList<QPair<QString, QString>> params;
  QMap<QString, QStringList> visitCustomVariablesParams;
};

}  // namespace telemetry
