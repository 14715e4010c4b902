#include "app/update/StandardUserDriver.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstdio>

namespace update {
namespace {

bool hasWidgets() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

QLabel* plainLabel(const QString& text, const char* objectName, QWidget* parent) {
  auto* label = new QLabel(parent);
  // Feed and server texts end up here: shown as they are, never as markup.
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setWordWrap(true);
  label->setObjectName(QLatin1String(objectName));
  return label;
}

}  // namespace

StandardUserDriver::StandardUserDriver(BundleInfo host, QObject* parent)
    : QObject(parent),
      host_(std::move(host)),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

StandardUserDriver::~StandardUserDriver() {
  delete window_.data();
}

QString StandardUserDriver::hostVersion() const {
  return host_.shortVersion.isEmpty() ? host_.version : host_.shortVersion;
}

void StandardUserDriver::replaceWindow(QWidget* window) {
  cancel_ = nullptr;
  if (window_) {
    window_->disconnect(this);
    window_->close();
    window_->deleteLater();
  }
  window_ = window;
  if (!window) return;
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(tr("Software Update"));
  window->show();
  window->raise();
  window->activateWindow();
}

void StandardUserDriver::showCheckingForUpdates(std::function<void()> cancel) {
  if (!hasWidgets()) return;
  auto* dialog = new QDialog;
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(plainLabel(tr("Checking for updates…"), kHeadlineName, dialog));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  replaceWindow(dialog);
  cancel_ = std::move(cancel);
  // Closing the window by any means stops the check.
  connect(dialog, &QDialog::finished, this, [this] {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
  });
}

void StandardUserDriver::dismissCheckingForUpdates() {
  replaceWindow(nullptr);
}

void StandardUserDriver::showUpToDate() {
  present(tr("You’re up to date!"),
          tr("%1 %2 is currently the newest version available.").arg(host_.name, hostVersion()));
}

void StandardUserDriver::showUpdateFound(const AppcastItem& item) {
  present(tr("A new version of %1 is available!").arg(host_.name),
          tr("%1 %2 is now available—you have %3. Install it with your package manager, or "
             "open its download page.")
              .arg(host_.name, item.displayVersion(), hostVersion()),
          item.releaseNotesHTML, item.downloadPage());
}

void StandardUserDriver::showUpdateError(const QString& detail) {
  present(tr("Update Error!"),
          tr("An error occurred in retrieving update information. Please try again later.") +
              QStringLiteral("\n\n") + detail);
}

void StandardUserDriver::showInstalledByPackageManager() {
  present(tr("Updates come from your package manager"),
          tr("This copy of %1 (version %2) was installed by your system's package manager, "
             "which also brings its updates.")
              .arg(host_.name, hostVersion()));
}

void StandardUserDriver::present(const QString& headline, const QString& informative,
                                 const QString& notesHTML, const QUrl& page) {
  if (!hasWidgets()) {
    std::printf("%s\n%s\n", qPrintable(headline), qPrintable(informative));
    if (!page.isEmpty()) std::printf("%s\n", qPrintable(page.toString()));
    std::fflush(stdout);
    return;
  }
  auto* dialog = new QDialog;
  dialog->setObjectName(QLatin1String(kWindowName));
  auto* layout = new QVBoxLayout(dialog);
  QLabel* head = plainLabel(headline, kHeadlineName, dialog);
  QFont bold = head->font();
  bold.setBold(true);
  head->setFont(bold);
  layout->addWidget(head);
  layout->addWidget(plainLabel(informative, kInformativeName, dialog));
  if (!notesHTML.isEmpty()) {
    // A plain text view: it renders the notes' markup but loads nothing they point at.
    auto* notes = new QTextEdit(dialog);
    notes->setObjectName(QLatin1String(kReleaseNotesName));
    notes->setReadOnly(true);
    notes->setHtml(notesHTML);
    notes->setMinimumSize(360, 160);
    layout->addWidget(notes);
  }
  auto* buttons = new QDialogButtonBox(dialog);
  if (page.isEmpty()) {
    buttons->addButton(QDialogButtonBox::Ok);
  } else {
    QPushButton* open = buttons->addButton(tr("Open Download Page"), QDialogButtonBox::AcceptRole);
    open->setObjectName(QLatin1String(kDownloadButtonName));
    buttons->addButton(tr("Not Now"), QDialogButtonBox::RejectRole);
    connect(open, &QPushButton::clicked, dialog, [this, page] {
      if (opener_) opener_(page);
    });
  }
  connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  replaceWindow(dialog);
}

}  // namespace update
