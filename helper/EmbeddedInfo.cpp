#include "helper/EmbeddedInfo.h"

namespace helper {
namespace {

// Both lists go into named sections of the executable, so other programs can read them from
// the file alone (xpc::readEmbeddedList). `used` keeps the linker from dropping them.
__attribute__((section(".ferrolux.info"), used)) const char kInfoList[] =
    R"plist(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>com.tarquell.powermetrics</string>
	<key>CFBundleInfoDictionaryVersion</key>
	<string>6.0</string>
	<key>CFBundleShortVersionString</key>
	<string>1.4</string>
	<key>CFBundleVersion</key>
	<string>20230402</string>
	<key>CFBundleSupportedPlatforms</key>
	<array>
		<string>MacOSX</string>
	</array>
	<key>LSMinimumSystemVersion</key>
	<string>11.5</string>
	<key>SMAuthorizedClients</key>
	<array>
		<string>identifier "com.tarquell.Ferrolux" and anchor apple generic and certificate leaf[subject.CN] = "Developer ID Application: Tarquell (QZ4K8WD2RM)"</string>
	</array>
</dict>
</plist>
)plist";

__attribute__((section(".ferrolux.jobs"), used)) const char kJobList[] =
    R"plist(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Label</key>
	<string>com.tarquell.powermetrics</string>
	<key>MachServices</key>
	<dict>
		<key>com.tarquell.powermetrics</key>
		<true/>
	</dict>
	<key>ProcessType</key>
	<string>Interactive</string>
	<key>Nice</key>
	<integer>-10</integer>
	<key>LowPriorityIO</key>
	<false/>
</dict>
</plist>
)plist";

plist::Value parsed(std::string_view text) {
  auto r = plist::parse(text);
  return r.ok() ? std::move(*r.value) : plist::Value();
}

}  // namespace

std::string_view infoListText() {
  return {kInfoList, sizeof kInfoList - 1};
}
std::string_view jobListText() {
  return {kJobList, sizeof kJobList - 1};
}

const plist::Value& infoList() {
  static const plist::Value value = parsed(infoListText());
  return value;
}

const plist::Value& jobList() {
  static const plist::Value value = parsed(jobListText());
  return value;
}

}  // namespace helper
