// The update check from the person's side: feeds served by a local server end in the window
// they should, the version order holds, and a bad address never reaches the network.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/core/UserDefaults.h"
#include "app/update/SparkleBridge.h"
#include "app/update/VersionComparator.h"
#include "unit/core/LocalHttpServer.h"
#include "unit/core/QtApp.h"

namespace {

using update::StandardUserDriver;

// The windows need a widget application. It is destroyed after the last test, so the font
// configuration it loaded is released too.
class WidgetApp : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[13] = "update-tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const widgetApp =
    ::testing::AddGlobalTestEnvironment(new WidgetApp);

QByteArray feed(const QByteArray& items) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Ferrolux</title>)" +
         items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& extra = {}) {
  return "<item><title>Version " + version + "</title><sparkle:version>" + version +
         "</sparkle:version>" + extra + R"(<link>https://example.org/ferrolux/)" + version +
         R"(</link>
<description><![CDATA[<h2>Changes</h2><ul><li>Faster graphs</li></ul>]]></description>
<enclosure url="https://example.org/Ferrolux-)" +
         version + R"(.zip" length="1" type="application/octet-stream"/></item>)";
}

// `xml` grown to exactly `size` bytes with a comment after its root element.
QByteArray padded(const QByteArray& xml, qsizetype size) {
  const QByteArray open = "\n<!--", close = "-->";
  return xml + open + QByteArray(size - xml.size() - open.size() - close.size(), 'x') + close;
}

struct Check {
  QString headline;
  QString informative;
  QString notes;
  bool hasDownloadButton = false;
};

class UpdateCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<fxtest::LocalHttpServer>();
    defaults = std::make_unique<UserDefaults>(dir.filePath("d.ini"));
    update::Updater::Configuration c;
    c.host = BundleInfo::application();
    c.host.version = c.host.shortVersion = QStringLiteral("1.0.0");
    c.defaults = defaults.get();
    c.timeoutMs = 1500;
    c.systemVersion = platform::OSVersion{13, 4, 1};
    bridge = std::make_unique<SparkleBridge>(c);
    bridge->userDriver().setOpener([this](const QUrl& url) {
      opened.append(url);
      return true;
    });
  }

  // Runs one check and reads the window it ends in.
  Check check() {
    bool finished = false;
    QObject::connect(bridge->updater(), &update::Updater::checkFinished, [&] { finished = true; });
    bridge->checkForUpdates();
    EXPECT_TRUE(fxtest::pumpUntil([&] { return finished; }, 30000));
    Check result;
    QWidget* window = bridge->userDriver().window();
    if (!window) return result;
    EXPECT_TRUE(window->isVisible());
    auto text = [window](const char* name) {
      auto* label = window->findChild<QLabel*>(QLatin1String(name));
      return label ? label->text() : QString();
    };
    result.headline = text(StandardUserDriver::kHeadlineName);
    result.informative = text(StandardUserDriver::kInformativeName);
    if (auto* notes = window->findChild<QWidget*>(StandardUserDriver::kReleaseNotesName))
      result.notes = notes->property("plainText").toString();
    if (auto* button = window->findChild<QPushButton*>(StandardUserDriver::kDownloadButtonName)) {
      result.hasDownloadButton = true;
      button->click();
    }
    return result;
  }

  void TearDown() override {
    bridge.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  QTemporaryDir dir;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<SparkleBridge> bridge;
  QList<QUrl> opened;
  std::unique_ptr<fxtest::LocalHttpServer> server;
};

TEST_F(UpdateCheck, EachServedFeedEndsInItsWindow) {
  const struct {
    const char* name;
    fxtest::LocalHttpServer::Mode mode;
    int status;
    QByteArray body;
    QString headline;
    QString informativeHas;
    QByteArray headers = {};
  } rows[] = {
      // The newest release for this system wins over document order, a beta channel and a
      // release that needs a newer system.
      {"newer", fxtest::LocalHttpServer::Mode::Answer, 200,
       feed(item("1.2") + item("1.10") + item("1.9") +
            item("3.0", "<sparkle:channel>beta</sparkle:channel>") +
            item("2.0", "<sparkle:minimumSystemVersion>14.0</sparkle:minimumSystemVersion>") +
            item("5.0", "<sparkle:maximumSystemVersion>13.4</sparkle:maximumSystemVersion>")),
       "A new version of Ferrolux is available!", "Ferrolux 1.10 is now available—you have 1.0.0"},
      {"same version", fxtest::LocalHttpServer::Mode::Answer, 200, feed(item("1.0") + item("0.9")),
       "You’re up to date!", "Ferrolux 1.0.0 is currently"},
      {"older only", fxtest::LocalHttpServer::Mode::Answer, 200, feed(item("0.9b2")),
       "You’re up to date!", "newest version"},
      {"bad XML", fxtest::LocalHttpServer::Mode::Answer, 200,
       feed(item("2.0")).replace("</channel>", ""), "Update Error!", "not a valid appcast"},
      {"not RSS", fxtest::LocalHttpServer::Mode::Answer, 200, "<html><body>hi</body></html>",
       "Update Error!", "not an RSS feed"},
      {"no usable item", fxtest::LocalHttpServer::Mode::Answer, 200,
       feed(item("3.0", "<sparkle:channel>beta</sparkle:channel>") +
            "<item><title>untitled</title></item>"),
       "Update Error!", "no release for this system"},
      {"server error", fxtest::LocalHttpServer::Mode::Answer, 404, "gone", "Update Error!",
       "could not be read"},
      // Plain HTTP is allowed only to this machine, so the redirect is refused before it is
      // followed: the unreachable host is never asked.
      {"redirect to plain HTTP",
       fxtest::LocalHttpServer::Mode::Answer,
       302,
       {},
       "Update Error!",
       "redirected to http://feed.invalid/appcast.xml, which is not an HTTPS address",
       "Location: http://feed.invalid/appcast.xml\r\n"},
      {"feed at the size cap", fxtest::LocalHttpServer::Mode::Answer, 200,
       padded(feed(item("0.9")), 4 << 20), "You’re up to date!", "newest version"},
      {"feed over the size cap", fxtest::LocalHttpServer::Mode::Answer, 200,
       padded(feed(item("0.9")), (4 << 20) + 1), "Update Error!", "larger than 4194304 bytes"},
      {"slower than the time-out",
       fxtest::LocalHttpServer::Mode::Trickle,
       200,
       {},
       "Update Error!",
       "within 1.5 seconds"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    server->answer(row.status, row.body, row.headers);
    server->mode = row.mode;
    opened.clear();
    defaults->setValue(QLatin1String(update::kFeedURLKey), server->url("/appcast.xml"));
    const Check c = check();
    EXPECT_EQ(c.headline.toStdString(), row.headline.toStdString());
    EXPECT_TRUE(c.informative.contains(row.informativeHas)) << c.informative.toStdString();
    const bool offered = row.headline.startsWith(QLatin1String("A new"));
    EXPECT_EQ(c.hasDownloadButton, offered);
    if (offered) {
      EXPECT_TRUE(c.notes.contains(QLatin1String("Faster graphs")));
      EXPECT_EQ(opened, QList<QUrl>{QUrl("https://example.org/ferrolux/1.10")});
    }
  }
  EXPECT_EQ(server->requestLines.size(), 11);
  EXPECT_TRUE(server->requestLines.value(0).startsWith(QLatin1String("GET /appcast.xml ")));
}

TEST_F(UpdateCheck, WithoutAFeedItSaysWhereUpdatesComeFrom) {
  const Check c = check();
  EXPECT_EQ(c.headline.toStdString(), "Updates come from your package manager");
  EXPECT_TRUE(c.informative.contains(QLatin1String("version 1.0.0")));
  EXPECT_EQ(server->connections, 0);
}

TEST_F(UpdateCheck, AFeedAddressThatIsNotHTTPSFailsTheStartAndShowsNothing) {
  for (const QString& address :
       {QStringLiteral("http://example.org/appcast.xml"),
        QStringLiteral("ftp://127.0.0.1/appcast.xml"), QStringLiteral("not a url")}) {
    SCOPED_TRACE(address.toStdString());
    defaults->setValue(QLatin1String(update::kFeedURLKey), address);
    testing::internal::CaptureStdout();
    bridge->checkForUpdates();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("error ", 0), 0u) << out;
    EXPECT_FALSE(bridge->updater()->isChecking());
    EXPECT_EQ(bridge->userDriver().window(), nullptr);
  }
}

TEST(VersionComparator, OrdersVersionsAsFeedsExpect) {
  // Each pair once; the test also checks the reverse order.
  const struct {
    const char* a;
    const char* b;
    int order;
  } rows[] = {
      {"1.0", "1.1", -1},
      {"1.9", "1.10", -1},
      {"1.0", "1.0.0", 0},
      {"1", "1.0.0", 0},
      {"1.0", "1.0.1", -1},
      {"1.0b1", "1.0", -1},
      {"1.0a1", "1.0b1", -1},
      {"1.0b9", "1.0b10", -1},
      {"1.0b5", "1.0rc1", -1},
      {"2.0", "1.99.99", 1},
      {"010", "10", 0},
      {"1.0.0b", "1.0", -1},
      {"1.0.0.1", "1.0", 1},
      {"1.0.1", "1.0a", 1},
      {"", "1", -1},
      {"", "0", 0},
      {"1.0 (42)", "1.0 (43)", -1},
      {"99999999999999999999", "100000000000000000000", -1},
      {"2.0-beta", "2.0", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
    EXPECT_EQ(update::compareVersions(row.a, row.b), row.order);
    EXPECT_EQ(update::compareVersions(row.b, row.a), -row.order);
  }
}

}  // namespace
