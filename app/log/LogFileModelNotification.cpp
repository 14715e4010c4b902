#include "app/log/LogFileModelNotification.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {
// How long a send may hold up quitting.
constexpr int kDeliveryWaitMs = 2000;
// The service's own default display time.
constexpr int kDefaultTimeout = -1;
}  // namespace

LogFileModelNotification::LogFileModelNotification(QObject* parent) : QObject(parent) {}

LogFileModelNotification::LogFileModelNotification(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

void LogFileModelNotification::notifyLoggingStarted() {
  post(QStringLiteral("Logging started"),
       QStringLiteral("The log file will be written when logging is stopped."));
}

void LogFileModelNotification::notifyLoggingEnded(const QString& path) {
  post(QStringLiteral("Logging ended"), QStringLiteral("Saved at: ") + path);
}

void LogFileModelNotification::notifyLoggingFailed(const QString& reason) {
  post(QStringLiteral("Logging failed"), reason);
}

void LogFileModelNotification::notifyLoggingRecovered(const QString& path) {
  post(QStringLiteral("Logging recovered"), QStringLiteral("Saved at: ") + path);
}

void LogFileModelNotification::post(const QString& title, const QString& body) {
  if (!bus_) bus_ = QDBusConnection::sessionBus();
  if (!bus_->isConnected()) return;
  QDBusMessage call =
      QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                     QString::fromLatin1(kInterface), QStringLiteral("Notify"));
  // The desktop entry lets the service show the application's name and icon.
  const QVariantMap hints{
      {QStringLiteral("desktop-entry"), QStringLiteral("com.tarquell.Ferrolux")}};
  call << QStringLiteral("Ferrolux") << 0u << QString() << title << body << QStringList() << hints
       << kDefaultTimeout;
  if (waitForDelivery_)
    bus_->call(call, QDBus::Block, kDeliveryWaitMs);
  else
    bus_->send(call);
}
