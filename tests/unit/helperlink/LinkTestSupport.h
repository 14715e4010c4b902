// Pieces shared by the helper link's unit and integration tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/NotificationCenter.h"
#include "app/core/UserDefaults.h"
#include "app/helperlink/HelperInstaller.h"
#include "app/helperlink/Refreshable.h"
#include "app/helperlink/XPCClient.h"
#include "app/helperlink/XPCManager.h"
#include "app/metrics/SGPowerMetrics.h"
#include "unit/core/Files.h"
#include "unit/core/PostCounter.h"
#include "unit/core/QtApp.h"

namespace linktest {

using Clock = std::chrono::steady_clock;
using fxtest::PostCounter;

// The helper the build produced; its embedded information list says "1.4".
inline const std::string kHelperExe = FERROLUX_BUILD_DIR "/helper/com.tarquell.powermetrics";

using fxtest::readFile;

// A copy of the helper with every copy of a run of bytes of its information list replaced by
// another of the same length, so the copy still runs. Empty when `from` is not found.
inline std::string patchedHelper(const std::string& dir, const std::string& name,
                                 const std::string& from, const std::string& to) {
  std::string bytes = readFile(kHelperExe);
  if (from.size() != to.size() || bytes.find(from) == std::string::npos) return {};
  for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1))
    bytes.replace(at, from.size(), to);
  const std::string path = dir + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), 0755);
  return path;
}

// The same-length edits that make a helper report another version.
struct VersionPatch {
  std::string from, to;
};
inline VersionPatch reportsVersion13() {
  return {"<string>1.4</string>", "<string>1.3</string>"};
}
inline VersionPatch reportsVersion140() {
  return {"<string>1.4</string>\n\t<key>", "<string>1.4.0</string><key>"};
}
// Without the key the helper reports "0".
inline VersionPatch lacksVersionKey() {
  return {"<key>CFBundleShortVersionString</key>", "<key>CFBundleShortVersionStrinX</key>"};
}

// Points the link (and everything else in this process) at another helper endpoint.
class EndpointOverride {
 public:
  explicit EndpointOverride(const std::string& path) { ::setenv(kName, path.c_str(), 1); }
  ~EndpointOverride() { ::unsetenv(kName); }

 private:
  static constexpr const char* kName = "FERROLUX_HELPER_ENDPOINT";
};

// An installer that answers as told and records when it was asked.
class FakeInstaller : public helperlink::HelperInstaller {
 public:
  struct Script {
    int authorizeStatus = 0;
    bool blessResult = true;
    std::function<void()> onBless;  // runs before bless answers (e.g. starts a helper)
  };
  struct Record {
    std::atomic<int> authorizeCalls{0};
    std::atomic<int> blessCalls{0};
    std::mutex m;
    std::vector<Clock::time_point> authorizeTimes;
  };

  FakeInstaller(Script script, std::shared_ptr<Record> record)
      : script_(std::move(script)), record_(std::move(record)) {}
  int authorize() override {
    {
      std::lock_guard l(record_->m);
      record_->authorizeTimes.push_back(Clock::now());
    }
    ++record_->authorizeCalls;
    return script_.authorizeStatus;
  }
  bool bless() override {
    ++record_->blessCalls;
    if (script_.onBless) script_.onBless();
    return script_.blessResult;
  }

 private:
  Script script_;
  std::shared_ptr<Record> record_;
};

class CountingModel : public helperlink::Refreshable {
 public:
  void refresh() override { ++refreshes; }
  std::atomic<int> refreshes{0};
};

// Counts connection endings once their handlers have returned, so a test that reads what a
// handler printed waits for all of it.
class EndingWatch {
 public:
  helperlink::XPCClient::Connector connector() const {
    return [ended = ended_](const std::string& path, xpc::Connection::Handlers h) {
      auto counted = [ended](std::function<void()> handler) {
        return [ended, handler = std::move(handler)] {
          handler();
          ++*ended;
        };
      };
      h.invalidated = counted(std::move(h.invalidated));
      h.interrupted = counted(std::move(h.interrupted));
      return xpc::Connection::connect(path, std::move(h));
    };
  }
  int ended() const { return ended_->load(); }

 private:
  std::shared_ptr<std::atomic<int>> ended_ = std::make_shared<std::atomic<int>>(0);
};

inline int occurrences(const std::string& text, const std::string& line) {
  int n = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
    ++n;
  return n;
}

// A manager over a sample store and two counting models, with a scripted installer. Each test
// builds its manager with make(); the helper it talks to is the derived fixture's business.
class ManagerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    fxtest::drainEvents();
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<UserDefaults>(dir.filePath("defaults.ini"));
    store = std::make_unique<SGPowerMetrics>(true, *defaults);
  }
  void TearDown() override {
    manager.reset();
    store.reset();
    fxtest::drainEvents();
  }

  helperlink::XPCManager& make(std::string cpu = "ARM", FakeInstaller::Script script = {},
                               std::string copy = kHelperExe) {
    manager = std::make_unique<helperlink::XPCManager>(
        std::move(cpu), std::make_unique<FakeInstaller>(script, installs),
        helperlink::HelperLocations(std::move(copy)));
    manager->setContentModelDelegate(content);
    manager->setMorebuttonModelDelegate(more);
    manager->setPowerMetricsModelDelegate(store.get());
    store->setHelperLink(manager->powerMetricsLink());
    return *manager;
  }

  // The start-up check against a helper that answers with the current version.
  void startAuthorized() {
    ASSERT_TRUE(manager->checkHelperAtStartup());
    ASSERT_TRUE(fxtest::pumpUntil([&] { return manager->isAuthorized() && store->isSampling(); }));
  }

  std::string dirPath() const { return dir.path().toStdString(); }

  QTemporaryDir dir;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<SGPowerMetrics> store;
  std::shared_ptr<CountingModel> content = std::make_shared<CountingModel>();
  std::shared_ptr<CountingModel> more = std::make_shared<CountingModel>();
  std::shared_ptr<FakeInstaller::Record> installs = std::make_shared<FakeInstaller::Record>();
  std::unique_ptr<helperlink::XPCManager> manager;
};

}  // namespace linktest
