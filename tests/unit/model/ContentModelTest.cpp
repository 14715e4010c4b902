// The content model's announcements: one per refresh, on the main thread, never after the model
// is gone.
#include "app/model/ContentModel.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include <thread>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "unit/core/QtApp.h"

namespace {

class ContentModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    // A refused processor: the start-up check stops before the helper, so no socket is needed.
    machine = std::move(
        platform::create("sim:" FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-intel.plist")
            .platform);
    ASSERT_TRUE(machine);
    defaults = std::make_unique<UserDefaults>(dir.filePath("d.ini"));
    GeneralModel::Environment env;
    env.platform = machine.get();
    env.defaults = defaults.get();
    model = std::make_unique<GeneralModel>(std::move(env));
  }
  QTemporaryDir dir;
  std::unique_ptr<platform::Platform> machine;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<GeneralModel> model;
};

TEST_F(ContentModelTest, EachRefreshAnnouncesOnceOnTheMainThread) {
  auto content = ContentModel::create(*model);
  std::vector<QThread*> announcedOn;
  QObject::connect(content.get(), &ContentModel::changed,
                   [&] { announcedOn.push_back(QThread::currentThread()); });
  std::thread reader([&] {
    content->refresh();
    content->refresh();
  });
  reader.join();
  EXPECT_TRUE(announcedOn.empty());  // scheduled, not immediate
  fxtest::drainEvents();
  ASSERT_EQ(announcedOn.size(), 2u);
  EXPECT_EQ(announcedOn[0], QCoreApplication::instance()->thread());
}

TEST_F(ContentModelTest, ARefreshForAModelThatIsGoneDoesNothing) {
  auto content = ContentModel::create(*model);
  int announced = 0;
  QObject::connect(content.get(), &ContentModel::changed, [&] { ++announced; });
  content->refresh();
  content.reset();
  fxtest::drainEvents();
  EXPECT_EQ(announced, 0);
}

}  // namespace
