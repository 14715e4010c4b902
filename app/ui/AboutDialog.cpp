#include "app/ui/AboutDialog.h"

#include <QMessageBox>

#include "app/core/BundleInfo.h"
#include "app/model/Links.h"

namespace {

QString link(std::string_view url, std::string_view shown) {
  return QStringLiteral("<a href=\"%1\">%2</a>")
      .arg(QString::fromUtf8(url.data(), qsizetype(url.size())).toHtmlEscaped(),
           QString::fromUtf8(shown.data(), qsizetype(shown.size())).toHtmlEscaped());
}

}  // namespace

QString AboutDialog::text() {
  const BundleInfo info = BundleInfo::application();
  const std::string mail = links::contactDeveloper();
  return QStringLiteral(
             "<h3>Ferrolux %1</h3>"
             "<p>Live power, frequency, temperature and utilization of your "
             "computer's chip.</p>"
             "<p>Copyright Tarquell. Proprietary licence: all rights reserved.</p>"
             "<p>%2<br>%3</p>")
      .arg(info.shortVersion.toHtmlEscaped(), link(links::kHomepage, links::kHomepage),
           link(mail, links::kSupportAddress));
}

void AboutDialog::show(QWidget* parent) {
  QMessageBox::about(parent, QObject::tr("About Ferrolux"), text());
}
