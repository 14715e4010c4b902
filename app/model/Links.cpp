#include "app/model/Links.h"

#include <QDesktopServices>

namespace links {

std::string contactDeveloper() {
  return "mailto:" + std::string(kSupportAddress);
}

std::string otherProductPage() {
  return std::string(kStoreHost) + "/app/id" + std::string(kOtherProductStoreNumber) +
         "?ls=1&mt=12";
}

std::string twitterProfile() {
  return std::string(kTwitterProfile);
}

std::string mastodonProfile() {
  return std::string(kMastodonProfile);
}

std::string donation(int euros) {
  // The payment service reads the keys in this order; the account's "@" is percent-encoded.
  const QByteArray account = QUrl::toPercentEncoding(
      QString::fromUtf8(kDonationAccount.data(), static_cast<qsizetype>(kDonationAccount.size())));
  return std::string(kDonationHost) + "/donate/?business=" + account.toStdString() +
         "&amount=" + std::to_string(euros) +
         "&no_recurring=1&item_name=Thanks+for+your+support+to+Ferrolux&currency_code=EUR";
}

bool openLink(std::string_view url, const Opener& opener) {
  const QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())),
                    QUrl::StrictMode);
  if (!parsed.isValid() || parsed.isRelative() || !opener) return false;
  opener(parsed);
  return true;
}

bool openLink(std::string_view url) {
  return openLink(url, [](const QUrl& u) { return QDesktopServices::openUrl(u); });
}

}  // namespace links
