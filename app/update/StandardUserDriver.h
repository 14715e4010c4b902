// The update check's windows: a progress window while the feed is fetched, then one result
// window: up to date, a new version with its release notes and a button to its download page,
// an error, or (with no feed) where this copy's updates come from. A new window replaces the one
// before it; none is modal, so the monitor keeps sampling behind them. Nothing is downloaded:
// the button hands the page to the desktop's browser.
//
// Without a widget application (a headless command) each result is written to standard output.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

#include "app/core/BundleInfo.h"
#include "app/update/Appcast.h"

namespace update {

class StandardUserDriver : public QObject {
  Q_OBJECT

 public:
  // Object names of the result window and its parts.
  static constexpr const char* kWindowName = "updateWindow";
  static constexpr const char* kHeadlineName = "headline";
  static constexpr const char* kInformativeName = "informative";
  static constexpr const char* kReleaseNotesName = "releaseNotes";
  static constexpr const char* kDownloadButtonName = "download";

  using Opener = std::function<bool(const QUrl&)>;

  explicit StandardUserDriver(BundleInfo host, QObject* parent = nullptr);
  ~StandardUserDriver() override;

  // How the download button opens its page; the desktop's URL handler by default.
  void setOpener(Opener opener) { opener_ = std::move(opener); }

  // `cancel` runs when the person closes the progress window before the check ends.
  void showCheckingForUpdates(std::function<void()> cancel);
  void dismissCheckingForUpdates();

  void showUpToDate();
  void showUpdateFound(const AppcastItem& item);
  void showUpdateError(const QString& detail);
  void showInstalledByPackageManager();

  // The window on screen now, if any.
  QWidget* window() const { return window_; }

 private:
  QString hostVersion() const;
  void present(const QString& headline, const QString& informative, const QString& notesHTML = {},
               const QUrl& page = {});
  void replaceWindow(QWidget* window);

  BundleInfo host_;
  Opener opener_;
  QPointer<QWidget> window_;
  std::function<void()> cancel_;
};

}  // namespace update
