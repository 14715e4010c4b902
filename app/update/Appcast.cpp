#include "app/update/Appcast.h"

#include <QXmlStreamReader>

#include "app/update/VersionComparator.h"

namespace update {
namespace {

QUrl webAddress(const QString& text) {
  const QUrl url(text.trimmed(), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty()) return {};
  if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) return {};
  return url;
}

QString versionText(const platform::OSVersion& v) {
  return QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.patch);
}

bool isSparkle(const QXmlStreamReader& xml) {
  return xml.namespaceUri() == QLatin1String(kSparkleNamespace);
}

void readEnclosure(QXmlStreamReader& xml, AppcastItem& item) {
  const QXmlStreamAttributes attributes = xml.attributes();
  item.enclosureURL = webAddress(attributes.value(QLatin1String("url")).toString());
  // Older feeds carry the versions on the enclosure; the item's own elements win.
  const QString version =
      attributes.value(QLatin1String(kSparkleNamespace), QLatin1String("version")).toString();
  const QString shortVersion =
      attributes.value(QLatin1String(kSparkleNamespace), QLatin1String("shortVersionString"))
          .toString();
  if (item.version.isEmpty()) item.version = version.trimmed();
  if (item.shortVersionString.isEmpty()) item.shortVersionString = shortVersion.trimmed();
  xml.skipCurrentElement();
}

// Reads one <item>; the reader stands on its start and ends on its end.
AppcastItem readItem(QXmlStreamReader& xml) {
  AppcastItem item;
  while (xml.readNextStartElement()) {
    // Copies: the reader's views of the start tag do not survive reading the element's text.
    const QString name = xml.name().toString();
    const bool sparkle = isSparkle(xml);
    const bool plain = xml.namespaceUri().isEmpty();
    if (plain && name == QLatin1String("enclosure")) {
      readEnclosure(xml, item);
      continue;
    }
    const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    if (sparkle) {
      if (name == QLatin1String("version"))
        item.version = text;
      else if (name == QLatin1String("shortVersionString"))
        item.shortVersionString = text;
      else if (name == QLatin1String("minimumSystemVersion"))
        item.minimumSystemVersion = text;
      else if (name == QLatin1String("maximumSystemVersion"))
        item.maximumSystemVersion = text;
      else if (name == QLatin1String("channel"))
        item.channel = text;
      else if (name == QLatin1String("releaseNotesLink") && item.releaseNotesLink.isEmpty())
        item.releaseNotesLink = webAddress(text);
    } else if (plain) {
      if (name == QLatin1String("title"))
        item.title = text;
      else if (name == QLatin1String("link"))
        item.link = webAddress(text);
      else if (name == QLatin1String("description") && item.releaseNotesHTML.isEmpty())
        item.releaseNotesHTML = text;
    }
  }
  return item;
}

}  // namespace

QUrl AppcastItem::downloadPage() const {
  if (!link.isEmpty()) return link;
  return enclosureURL;
}

AppcastParse parseAppcast(const QByteArray& document) {
  AppcastParse parse;
  QXmlStreamReader xml(document);
  if (!xml.readNextStartElement() || xml.name() != QLatin1String("rss")) {
    parse.error =
        xml.hasError() ? xml.errorString() : QStringLiteral("the document is not an RSS feed");
  }
  while (parse.error.isEmpty() && xml.readNextStartElement()) {
    if (xml.name() != QLatin1String("channel")) {
      xml.skipCurrentElement();
      continue;
    }
    while (xml.readNextStartElement()) {
      if (xml.name() != QLatin1String("item") || !xml.namespaceUri().isEmpty()) {
        xml.skipCurrentElement();
        continue;
      }
      AppcastItem item = readItem(xml);
      if (!item.version.isEmpty()) parse.items.append(std::move(item));
    }
  }
  // Whatever follows the root must still be well formed.
  while (parse.error.isEmpty() && !xml.atEnd())
    xml.readNext();
  if (parse.error.isEmpty() && xml.hasError())
    parse.error = QStringLiteral("%1 (line %2)").arg(xml.errorString()).arg(xml.lineNumber());
  if (!parse.error.isEmpty()) parse.items.clear();
  return parse;
}

std::optional<AppcastItem> bestItem(const QList<AppcastItem>& items,
                                    std::optional<platform::OSVersion> systemVersion) {
  const QString system = systemVersion ? versionText(*systemVersion) : QString();
  std::optional<AppcastItem> best;
  for (const AppcastItem& item : items) {
    if (!item.channel.isEmpty()) continue;
    if (systemVersion) {
      if (!item.minimumSystemVersion.isEmpty() &&
          compareVersions(system, item.minimumSystemVersion) < 0)
        continue;
      if (!item.maximumSystemVersion.isEmpty() &&
          compareVersions(system, item.maximumSystemVersion) > 0)
        continue;
    }
    if (!best || compareVersions(item.version, best->version) > 0) best = item;
  }
  return best;
}

}  // namespace update
