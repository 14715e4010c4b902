#include "app/telemetry/MatomoTracker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUuid>

#include <cstdio>

#include "app/core/BoundedGet.h"
#include "app/core/UserDefaults.h"
#include "platform/Platform.h"

namespace telemetry {
namespace {

QString orFallback(const QString& value, const QString& fallback) {
  return value.isEmpty() ? fallback : value;
}

// Letters, digits, "-", ".", "_", "~" and ":" stay; every other byte of the UTF-8 form becomes
// "%" and two upper-case hexadecimal digits.
QString encodeValue(const QString& value) {
  return QString::fromLatin1(QUrl::toPercentEncoding(value, ":"));
}

bool doNotTrack() {
  const QByteArray value = qgetenv("DO_NOT_TRACK").trimmed();
  return !value.isEmpty() && value != "0";
}

}  // namespace

MatomoTracker& MatomoTracker::shared() {
  static MatomoTracker* const instance =
      new MatomoTracker(configuredServerURL(), BundleInfo::application(), UserDefaults::standard(),
                        Sources::of(platform::current()));
  return *instance;
}

QString MatomoTracker::configuredServerURL() {
  if (qEnvironmentVariableIsSet(kServerVariable)) return qEnvironmentVariable(kServerVariable);
  return QStringLiteral(FERROLUX_TELEMETRY_URL);
}

MatomoTracker::MatomoTracker(QString serverURL, const BundleInfo& bundle, UserDefaults& defaults,
                             Sources sources, QObject* parent)
    : QObject(parent),
      defaults_(defaults),
      sources_(std::move(sources)),
      serverURL(serverURL.trimmed()),
      endPoint(this->serverURL + QStringLiteral("piwik.php")),
      swVersion(orFallback(bundle.shortVersion, QStringLiteral("0"))),
      appVersion(orFallback(bundle.version, QStringLiteral("0"))),
      appIdentifier(orFallback(bundle.identifier, QStringLiteral("com."))),
      appName(orFallback(orFallback(bundle.displayName, bundle.name), QStringLiteral("com."))) {}

void MatomoTracker::track() {
  if (serverURL.isEmpty() || doNotTrack()) return;
  if (!BoundedGet::isAllowed(QUrl(endPoint))) {
    std::fprintf(stderr, "ferrolux: usage tracking off: %s is not an HTTPS address\n",
                 qPrintable(endPoint));
    return;
  }
  const std::optional<QUrl> url = buildURL();
  if (!url) return;
  BoundedGet::Options options;
  options.timeoutMs = kTimeoutMs;
  options.maxBodyBytes = 64 * 1024;
  // The answer is of no interest: whatever comes back, or fails to, changes nothing.
  if (BoundedGet::start(*url, options, this, [](const BoundedGet::Result&) {})) ++requestsSent_;
}

std::optional<QUrl> MatomoTracker::buildURL() {
  params.clear();
  addEventParameters();
  addTimeParameters();
  addVisitParameters();
  addVisitorParameters();
  const QUrl url(endPoint + QLatin1Char('?') + queryItems(), QUrl::StrictMode);
  if (!url.isValid() || url.isRelative()) return std::nullopt;
  return url;
}

void MatomoTracker::setParam(const QString& key, const QString& value) {
  for (auto& entry : params) {
    if (entry.first == key) {
      entry.second = value;
      return;
    }
  }
  params.append({key, value});
}

void MatomoTracker::removeParam(const QString& key) {
  params.removeIf([&key](const auto& entry) { return entry.first == key; });
}

void MatomoTracker::addEventParameters() {
  setParam(MatomoParameterEventCategory, appIdentifier);
  setParam(MatomoParameterEventAction, QStringLiteral("SW Version"));
  setParam(MatomoParameterEventName, swVersion);
  setParam(MatomoParameterEventValue, QStringLiteral("1"));
  setParam(MatomoParameterURL, QStringLiteral("http://") + appName);
}

void MatomoTracker::addTimeParameters() {
  setParam(MatomoParameterRandomNumber,
           QString::number(QRandomGenerator::global()->bounded(50001)));
  const QDateTime now = sources_.now ? sources_.now() : QDateTime::currentDateTime();
  const QTime local = now.toLocalTime().time();
  setParam(MatomoParameterHours, QString::number(local.isValid() ? local.hour() : 0));
  setParam(MatomoParameterMinutes, QString::number(local.isValid() ? local.minute() : 0));
  setParam(MatomoParameterSeconds, QString::number(local.isValid() ? local.second() : 0));
  setParam(MatomoParameterDateAndTime, now.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void MatomoTracker::addVisitParameters() {
  if (sessionStart) {
    setParam(MatomoParameterSessionStart, QStringLiteral("1"));
    setParam(MatomoParameterTotalNumberOfVisits, QStringLiteral("1"));
    sessionStart = false;
  }
  setParam(MatomoParameterPreviousVisitTimestamp, QStringLiteral("0"));
  buildCustomVariables();
  QJsonObject object;
  for (auto it = visitCustomVariablesParams.cbegin(); it != visitCustomVariablesParams.cend(); ++it)
    object.insert(it.key(), QJsonArray::fromStringList(it.value()));
  const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
  if (json.isEmpty())
    removeParam(MatomoParameterVisitScopeCustomVariables);
  else
    setParam(MatomoParameterVisitScopeCustomVariables, QString::fromUtf8(json));
}

void MatomoTracker::buildCustomVariables() {
  visitCustomVariablesParams.clear();
  const Screens screens = sources_.screens ? sources_.screens() : Screens{};
  visitCustomVariablesParams.insert(
      QStringLiteral("1"),
      {QStringLiteral("Platform"), sources_.hardwareModel ? sources_.hardwareModel() : QString()});
  visitCustomVariablesParams.insert(
      QStringLiteral("2"),
      {QStringLiteral("OS version"), sources_.osVersion ? sources_.osVersion() : QString()});
  visitCustomVariablesParams.insert(QStringLiteral("3"),
                                    {QStringLiteral("App version"), appVersion});
  visitCustomVariablesParams.insert(QStringLiteral("4"),
                                    {QStringLiteral("Monitors"), QString::number(screens.count)});
  visitCustomVariablesParams.insert(QStringLiteral("5"), {QStringLiteral("App version"), appName});
}

void MatomoTracker::addVisitorParameters() {
  setParam(MatomoParameterSiteID, siteID);
  setParam(MatomoParameterRecord, QStringLiteral("1"));
  setParam(MatomoParameterAPIVersion, QStringLiteral("1"));
  const Screens screens = sources_.screens ? sources_.screens() : Screens{};
  setParam(MatomoParameterScreenResolution,
           QString::asprintf("%.0fx%.0f", screens.width * screens.scale,
                             screens.height * screens.scale));
  setParam(MatomoParameterVisitorID, visitorReference());
  setParam(MatomoParameterFirstVisitTimestamp, QStringLiteral("0"));
}

QString MatomoTracker::visitorReference() {
  const std::optional<QString> stored = defaults_.reference();
  if (stored && !stored->isEmpty()) return *stored;
  const QString reference = QUuid::createUuid()
                                .toString(QUuid::WithoutBraces)
                                .remove(QLatin1Char('-'))
                                .left(16)
                                .toLower();
  defaults_.setValue(QLatin1String(defaults::kReference), reference);
  return reference;
}

QString MatomoTracker::queryItems() const {
  QStringList items;
  for (const auto& [key, value] : params)
    items.append(key + QLatin1Char('=') + encodeValue(value));
  return items.join(QLatin1Char('&'));
}

}  // namespace telemetry
