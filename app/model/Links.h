// Every address the application opens, in one place, and the one way it opens them.
#pragma once

#include <QUrl>

#include <functional>
#include <string>
#include <string_view>

namespace links {

// The maker's accounts and pages. Change them here and nowhere else.
inline constexpr std::string_view kSupportAddress = "support@tarquell.com";
inline constexpr std::string_view kHomepage = "https://tarquell.com/ferrolux";
inline constexpr std::string_view kStoreHost = "https://apps.apple.com";
inline constexpr std::string_view kOtherProductStoreNumber = "6446071562";  // Trayline
inline constexpr std::string_view kTwitterProfile = "https://twitter.com/tarquell";
inline constexpr std::string_view kMastodonProfile = "https://mastodon.social/@tarquell";
inline constexpr std::string_view kDonationHost = "https://www.paypal.com";
inline constexpr std::string_view kDonationAccount = "donate@tarquell.com";

// "mailto:" with the support address.
std::string contactDeveloper();
// The store page of Trayline: "/app/id" + store number, "?ls=1&mt=12".
std::string otherProductPage();
std::string twitterProfile();
std::string mastodonProfile();
// A one-off donation of `euros` (the menu offers 5, 10, 15 and 20).
std::string donation(int euros);

// Hands `url` to `opener` when it parses as an absolute URL; anything else is ignored, since
// there is nobody to tell. Returns whether it was handed on.
using Opener = std::function<bool(const QUrl&)>;
bool openLink(std::string_view url, const Opener& opener);
// The same, through the desktop's URL handler.
bool openLink(std::string_view url);

}  // namespace links
