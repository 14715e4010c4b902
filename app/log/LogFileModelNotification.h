// The log recorder's desktop notifications, sent to the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Without a session bus or without a
// service on it nothing is shown and nothing else changes: sends are fire-and-forget and their
// errors are ignored.
//
// Threads: used on the main thread.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

class LogFileModelNotification : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kService = "org.freedesktop.Notifications";
  static constexpr const char* kPath = "/org/freedesktop/Notifications";
  static constexpr const char* kInterface = "org.freedesktop.Notifications";

  // On the session bus, connected at the first notification, so a process that never logs
  // never touches the bus.
  explicit LogFileModelNotification(QObject* parent = nullptr);
  // On a given bus (tests use a private one).
  explicit LogFileModelNotification(const QDBusConnection& bus, QObject* parent = nullptr);

  void notifyLoggingStarted();
  void notifyLoggingEnded(const QString& path);
  // Nothing could be written; `reason` says why.
  void notifyLoggingFailed(const QString& reason);
  // A recording left by a process that ended without stopping it was saved at `path`.
  void notifyLoggingRecovered(const QString& path);

  // When set, each send waits (briefly) until the service has it: on the way out of the
  // process a queued message would otherwise be lost with the connection.
  void setWaitForDelivery(bool wait) { waitForDelivery_ = wait; }

 private:
  void post(const QString& title, const QString& body);

  std::optional<QDBusConnection> bus_;
  bool waitForDelivery_ = false;
};
