// A stand-in for the desktop's notification service on a private bus: it takes every Notify
// call and keeps its title and text.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <utility>
#include <vector>

class NotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  std::vector<std::pair<QString, QString>> received;  // (title, text)

  bool registerOn(QDBusConnection& bus) {
    return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
  }

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap&, int) {
    received.emplace_back(summary, body);
    return static_cast<uint>(received.size());
  }
};
