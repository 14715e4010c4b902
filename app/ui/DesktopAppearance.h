// Follows the desktop's light or dark preference as the XDG desktop portal's Settings interface
// states it (namespace "org.freedesktop.appearance", key "color-scheme": 0 no preference, 1 dark,
// 2 light), and its SettingChanged signal, so the window switches without a restart. A stated
// preference sets the application's palette to the window's own light or dark one; no
// preference, or no portal at all, leaves Qt's palette (the one the application started with)
// in charge, which is how dark mode was read before.
//
// Threads: main thread only; the portal is asked asynchronously and never blocks start-up.
#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QPalette>

#include <optional>

class DesktopAppearance : public QObject {
  Q_OBJECT

 public:
  enum class Scheme { NoPreference = 0, Dark = 1, Light = 2 };
  Q_ENUM(Scheme)

  static constexpr const char* kService = "org.freedesktop.portal.Desktop";
  static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
  static constexpr const char* kInterface = "org.freedesktop.portal.Settings";
  static constexpr const char* kNamespace = "org.freedesktop.appearance";
  static constexpr const char* kKey = "color-scheme";

  // Asks the portal on `bus` (the session bus in normal use) at once and listens for changes.
  explicit DesktopAppearance(QDBusConnection bus, QObject* parent = nullptr);

  Scheme scheme() const { return scheme_; }
  // What a portal value means; anything but 1 and 2 (other numbers, other types) is no
  // preference. A value may arrive wrapped in variants (the portal's older Read does that).
  static Scheme schemeOf(const QVariant& value);

 signals:
  void schemeChanged(DesktopAppearance::Scheme scheme);

 public slots:
  // The portal's SettingChanged signal; other settings are ignored.
  void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

 private:
  void apply(Scheme scheme);

  QDBusConnection bus_;
  QPalette started_;  // Qt's own palette, for "no preference"
  Scheme scheme_ = Scheme::NoPreference;
};
