#include "app/ui/DesktopAppearance.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "app/ui/Style.h"

DesktopAppearance::DesktopAppearance(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), started_(QApplication::palette()) {
  if (!bus_.isConnected()) return;
  // The bus finds the slot's parameter types by name, and Qt names QDBusVariant only once it is
  // registered: without this the connection is refused and no change ever arrives.
  qRegisterMetaType<QDBusVariant>();
  // Any sender of the portal's signal on its path: matching by the service's name would lose the
  // signal until its owner is looked up, and a portal that restarts has a new one.
  const bool listening =
      bus_.connect(QString(), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                   QStringLiteral("SettingChanged"), this,
                   // SLOT() spelled out, normalized: the bus looks the slot up by this exact text.
                   "1settingChanged(QString,QString,QDBusVariant)");
  if (!listening)
    qWarning("Ferrolux: cannot listen for the desktop's light or dark preference changing");
  QDBusMessage read =
      QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                     QString::fromLatin1(kInterface), QStringLiteral("Read"));
  read << QString::fromLatin1(kNamespace) << QString::fromLatin1(kKey);
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(read), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *call;
    // No portal, or one without the key: Qt's palette stays in charge.
    if (reply.isError()) return;
    apply(schemeOf(reply.value().variant()));
  });
}

DesktopAppearance::Scheme DesktopAppearance::schemeOf(const QVariant& value) {
  QVariant v = value;
  for (int depth = 0; depth < 4 && v.canConvert<QDBusVariant>() &&
                      v.metaType() == QMetaType::fromType<QDBusVariant>();
       ++depth)
    v = v.value<QDBusVariant>().variant();
  if (v.metaType() != QMetaType::fromType<uint>()) return Scheme::NoPreference;
  const uint n = v.toUInt();
  if (n == 1) return Scheme::Dark;
  if (n == 2) return Scheme::Light;
  return Scheme::NoPreference;
}

void DesktopAppearance::settingChanged(const QString& nameSpace, const QString& key,
                                       const QDBusVariant& value) {
  if (nameSpace != QLatin1String(kNamespace) || key != QLatin1String(kKey)) return;
  apply(schemeOf(value.variant()));
}

void DesktopAppearance::apply(Scheme scheme) {
  if (scheme == scheme_) return;
  scheme_ = scheme;
  // Views resolve their named colours from the palette when they paint, so setting it repaints
  // every window in the new appearance.
  QApplication::setPalette(
      scheme == Scheme::NoPreference ? started_ : Style::windowPalette(scheme == Scheme::Dark));
  emit schemeChanged(scheme);
}
