// The appcast feed: an RSS 2.0 document whose items describe releases with the updater
// namespace's elements (version, short version string, minimum and maximum system version,
// channel, release notes link) and an enclosure. Reading it and choosing the release to offer.
//
// The reader takes untrusted bytes: it follows no external entity or DTD, keeps only the fields
// below, and fails with a message rather than guessing at a broken document.
//
// Pure functions; safe on any thread.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

#include "platform/Platform.h"

namespace update {

inline constexpr const char* kSparkleNamespace =
    "http://www.andymatuschak.org/xml-namespaces/sparkle";

struct AppcastItem {
  QString title;
  QString version;               // compared with the running build version
  QString shortVersionString;    // shown to people; empty when the feed gives none
  QString minimumSystemVersion;  // empty: no lower bound
  QString maximumSystemVersion;  // empty: no upper bound
  QString channel;               // empty: the default channel, the only one this client follows
  QString releaseNotesHTML;      // the item's description
  QUrl releaseNotesLink;
  QUrl link;          // the release's web page
  QUrl enclosureURL;  // the download

  // What people call this version: the short version string, or the version.
  QString displayVersion() const {
    return shortVersionString.isEmpty() ? version : shortVersionString;
  }
  // The page the "download" button opens: the release page, or else the download itself, when
  // it is an http or https address; empty otherwise, and then no button is offered.
  QUrl downloadPage() const;
};

struct AppcastParse {
  QList<AppcastItem> items;  // every item with a version, in document order
  QString error;             // empty when the document was read
};

AppcastParse parseAppcast(const QByteArray& document);

// The newest item that applies to this system: on the default channel, and within its system
// version bounds when `systemVersion` is known. Versions compare as compareVersions does; of
// equal versions the first wins. None when no item applies.
std::optional<AppcastItem> bestItem(const QList<AppcastItem>& items,
                                    std::optional<platform::OSVersion> systemVersion);

}  // namespace update
