// The addresses behind the link actions and the rule that unparseable ones are dropped.
#include "app/model/Links.h"

#include <gtest/gtest.h>

#include <QUrlQuery>

#include <vector>

namespace {

TEST(Links, DonationPagesDifferOnlyInTheAmount) {
  for (int euros : {5, 10, 15, 20}) {
    SCOPED_TRACE(euros);
    const QUrl u(QString::fromStdString(links::donation(euros)), QUrl::StrictMode);
    ASSERT_TRUE(u.isValid());
    EXPECT_EQ(u.path(), "/donate/");
    const auto items = QUrlQuery(u).queryItems(QUrl::FullyDecoded);
    std::vector<std::string> keys;
    for (const auto& [k, v] : items)
      keys.push_back(k.toStdString());
    // The payment service is sensitive to the order of the keys.
    EXPECT_EQ(keys, (std::vector<std::string>{"business", "amount", "no_recurring", "item_name",
                                              "currency_code"}));
    const QUrlQuery q(u);
    EXPECT_EQ(q.queryItemValue("business", QUrl::FullyDecoded), "donate@tarquell.com");
    EXPECT_EQ(q.queryItemValue("amount"), QString::number(euros));
    EXPECT_EQ(q.queryItemValue("no_recurring"), "1");
    EXPECT_EQ(q.queryItemValue("item_name", QUrl::PrettyDecoded),
              "Thanks+for+your+support+to+Ferrolux");
    EXPECT_EQ(q.queryItemValue("currency_code"), "EUR");
  }
}

TEST(Links, OnlyAbsoluteParseableAddressesAreOpened) {
  struct Case {
    std::string url;
    bool opened;
  };
  // Every address of the menus opens as it stands.
  const std::vector<Case> cases = {
      {links::contactDeveloper(), true},
      {links::otherProductPage(), true},
      {links::twitterProfile(), true},
      {links::mastodonProfile(), true},
      {links::donation(5), true},
      {links::donation(20), true},
      {"", false},
      {"not a link", false},             // relative: nothing to open it with
      {"https://exa mple.com/", false},  // a space in the host
      {"http://[::1/", false},           // broken address literal
      {"mailto:someone@example.com", true},
  };
  for (const auto& c : cases) {
    std::vector<QUrl> opened;
    const bool handed = links::openLink(c.url, [&](const QUrl& u) {
      opened.push_back(u);
      return true;
    });
    EXPECT_EQ(handed, c.opened) << c.url;
    EXPECT_EQ(opened.size(), c.opened ? 1u : 0u) << c.url;
    if (c.opened && !opened.empty()) {
      EXPECT_EQ(opened.front().toString().toStdString(), c.url);
    }
  }
}

}  // namespace
