#include "app/update/Updater.h"

#include "app/core/UserDefaults.h"
#include "app/update/VersionComparator.h"

namespace update {

QString Updater::builtInFeedURL() {
  return QStringLiteral(FERROLUX_UPDATE_FEED_URL);
}

Updater::Updater(Configuration configuration, StandardUserDriver& driver, QObject* parent)
    : QObject(parent), configuration_(std::move(configuration)), driver_(driver) {}

bool Updater::startUpdater(QString* error) {
  QString address = configuration_.feedURL;
  if (configuration_.defaults) {
    if (auto fromDefaults = configuration_.defaults->string(QLatin1String(kFeedURLKey)))
      address = *fromDefaults;
  }
  address = address.trimmed();
  if (address.isEmpty()) {
    feed_ = QUrl();
    return true;
  }
  const QUrl url(address, QUrl::StrictMode);
  if (!BoundedGet::isAllowed(url)) {
    if (error) *error = tr("The update feed address \"%1\" is not an HTTPS address.").arg(address);
    feed_.reset();
    return false;
  }
  feed_ = url;
  return true;
}

void Updater::checkForUpdates() {
  if (!feed_ || fetch_) return;
  if (feed_->isEmpty()) {
    driver_.showInstalledByPackageManager();
    emit checkFinished();
    return;
  }
  BoundedGet::Options options;
  options.timeoutMs = configuration_.timeoutMs;
  options.maxBodyBytes = configuration_.maxFeedBytes;
  fetch_ = BoundedGet::start(*feed_, options, this,
                             [this](const BoundedGet::Result& result) { feedArrived(result); });
  driver_.showCheckingForUpdates([this] {
    BoundedGet* fetch = fetch_;
    fetch_ = nullptr;
    if (fetch) fetch->abort();
  });
}

void Updater::feedArrived(const BoundedGet::Result& result) {
  fetch_ = nullptr;
  driver_.dismissCheckingForUpdates();
  if (!result.ok) {
    driver_.showUpdateError(tr("The update feed could not be read: %1").arg(result.error));
  } else if (const AppcastParse parse = parseAppcast(result.body); !parse.error.isEmpty()) {
    driver_.showUpdateError(tr("The update feed is not a valid appcast: %1").arg(parse.error));
  } else if (const auto item = bestItem(parse.items, configuration_.systemVersion); !item) {
    driver_.showUpdateError(tr("The update feed lists no release for this system."));
  } else if (compareVersions(item->version, configuration_.host.version) > 0) {
    driver_.showUpdateFound(*item);
  } else {
    driver_.showUpToDate();
  }
  emit checkFinished();
}

}  // namespace update
