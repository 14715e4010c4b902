#include "app/core/UserDefaults.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <thread>

#include "app/core/NotificationCenter.h"
#include "unit/core/QtApp.h"

namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_TRUE(dir.isValid());
  }
  QString file(const char* name = "defaults.ini") const { return dir.filePath(name); }
  QTemporaryDir dir;
};

TEST_F(UserDefaultsTest, AbsentKeysGiveTheirDefaults) {
  UserDefaults d(file());
  EXPECT_FALSE(d.pathFolderLocation().has_value());
  EXPECT_EQ(d.temperatureUnit(), 0);
  EXPECT_FALSE(d.gpuUtilization());
  EXPECT_FALSE(d.showEPUtilization());
  EXPECT_FALSE(d.gpuFrequency());
  EXPECT_EQ(d.samplingResolution(), 0.0);
  EXPECT_FALSE(d.reference().has_value());
}

// Text found in the file (written by hand or by an older version) and what the typed reads give.
struct StoredText {
  const char* line;
  const char* key;
  double asReal;
  int64_t asInteger;
  bool asBool;
};

TEST_F(UserDefaultsTest, TypedReadsOfStoredText) {
  const std::vector<StoredText> cases = {
      {"samplingResolution=250", "samplingResolution", 250, 250, true},
      {"samplingResolution=abc", "samplingResolution", 0, 0, false},
      {"samplingResolution=-50.5", "samplingResolution", -50.5, -50, true},
      {"temperatureUnit=1.0", "temperatureUnit", 1, 1, true},
      {"gpuFrequency=true", "gpuFrequency", 0, 0, true},
      {"gpuFrequency=false", "gpuFrequency", 0, 0, false},
      {"gpuFrequency=0", "gpuFrequency", 0, 0, false},
      {"gpuFrequency=", "gpuFrequency", 0, 0, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    // A fresh file per case: settings files are cached per path within the process, and a
    // rewrite within the same second can go unnoticed.
    QFile f(file(QString("case%1.ini").arg(n++).toUtf8().constData()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[General]\n");
    f.write(c.line);
    f.write("\n");
    f.close();
    UserDefaults d(f.fileName());
    EXPECT_TRUE(d.contains(c.key));
    EXPECT_DOUBLE_EQ(d.real(c.key), c.asReal);
    EXPECT_EQ(d.integer(c.key), c.asInteger);
    EXPECT_EQ(d.boolean(c.key), c.asBool);
  }
}

TEST_F(UserDefaultsTest, WritesPersistAcrossInstances) {
  {
    UserDefaults d(file());
    d.setValue(defaults::kPathFolderLocation, QStringLiteral("/tmp/logs with space"));
    d.setValue(defaults::kTemperatureUnit, 1);
    d.setValue(defaults::kGPUFrequency, true);
    d.setValue(defaults::kSamplingResolution, 1000.0);
    d.setValue(defaults::kReference, QStringLiteral("abc123"));
    d.remove(defaults::kReference);
  }
  UserDefaults again(file());
  EXPECT_EQ(again.pathFolderLocation(), QStringLiteral("/tmp/logs with space"));
  EXPECT_EQ(again.temperatureUnit(), 1);
  EXPECT_TRUE(again.gpuFrequency());
  EXPECT_FALSE(again.gpuUtilization());
  EXPECT_EQ(again.samplingResolution(), 1000.0);
  EXPECT_FALSE(again.reference().has_value());
}

TEST_F(UserDefaultsTest, EachWritePostsTheChangeOnTheWritingThreadAfterStoring) {
  UserDefaults d(file());
  int posts = 0;
  double seenInHandler = -1;
  std::thread::id postedOn;
  const auto token =
      NotificationCenter::defaultCenter().addObserver(notifications::kUserDefaultsDidChange, [&] {
        ++posts;
        seenInHandler = d.samplingResolution();
        postedOn = std::this_thread::get_id();
      });
  std::thread::id writer;
  std::thread worker([&] {
    writer = std::this_thread::get_id();
    d.setValue(defaults::kSamplingResolution, 250.0);
  });
  worker.join();
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(seenInHandler, 250.0);
  EXPECT_EQ(postedOn, writer);
  d.setValue(defaults::kSamplingResolution, 250.0);  // an unchanged value still counts as a write
  d.remove(defaults::kSamplingResolution);
  EXPECT_EQ(posts, 3);
  EXPECT_EQ(seenInHandler, 0.0);
  NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(UserDefaultsTest, FileComesFromTheEnvironmentWhenSet) {
  const QByteArray saved = qgetenv(UserDefaults::kFileVariable);
  qputenv(UserDefaults::kFileVariable, file("env.ini").toUtf8());
  EXPECT_EQ(UserDefaults::defaultFilePath(), file("env.ini"));
  qputenv(UserDefaults::kFileVariable, QByteArray());
  EXPECT_TRUE(UserDefaults::defaultFilePath().endsWith(QStringLiteral("/Ferrolux/ferrolux.ini")));
  qputenv(UserDefaults::kFileVariable, saved);
}

}  // namespace
