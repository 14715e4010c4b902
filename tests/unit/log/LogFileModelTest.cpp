// The recorder as a state machine over real folders: where each recording goes (chosen folder,
// desktop, home, nowhere), toggling, quitting while recording, and recovering what a dead
// process left behind.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/core/UserDefaults.h"
#include "app/log/LogFileModel.h"
#include "unit/core/Files.h"
#include "unit/core/FullFilesystem.h"
#include "unit/core/QtApp.h"
#include "unit/core/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

using fxtest::readFile;

int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<fs::path> filesIn(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file()) out.push_back(e.path());
  return out;
}

class LogFileModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_FALSE(scratch.path.empty());
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    fs::remove(scratch.path / "d.ini");
    now = 1709647653;  // 2024-03-05 14:07:33 UTC
    watts = 0;
    home = scratch.path / "home";
    state = scratch.path / "state";
    fs::create_directories(home / "Desktop");
    ::setenv("HOME", home.c_str(), 1);
    // No user-dirs.dirs there: the desktop is $HOME/Desktop.
    ::setenv("XDG_CONFIG_HOME", (scratch.path / "config").c_str(), 1);
    defaults = std::make_unique<UserDefaults>(QString::fromStdString(scratch.path / "d.ini"));
    model = std::make_unique<LogFileModel>(*defaults, nullptr, state.string());
    model->setClock([this] { return now; });
    model->setRowSource([this] { return LogRowValues{++watts}; });
  }
  void setFolder(const fs::path& p) {
    defaults->setValue(defaults::kPathFolderLocation, QString::fromStdString(p.string()));
  }
  void record(int rows) {
    for (int i = 0; i < rows; ++i) {
      model->addRow();
      now += 1;
    }
  }
  // Stops logging and waits for the background write; its (path, failure).
  std::pair<std::string, std::string> stop() {
    QSignalSpy written(model.get(), &LogFileModel::logFileWritten);
    model->setIsLogEnabled(false);
    EXPECT_TRUE(fxtest::pumpUntil([&] { return written.count() == 1; }));
    if (written.isEmpty()) return {};
    return {written[0][0].toString().toStdString(), written[0][1].toString().toStdString()};
  }

  fxtest::ScratchDir scratch{"fx-log"};
  fs::path home, state;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<LogFileModel> model;
  double now = 1709647653;  // 2024-03-05 14:07:33 UTC
  double watts = 0;
};

TEST_F(LogFileModelTest, EachRecordingGoesToTheFirstFolderThatTakesIt) {
  struct Case {
    const char* name;
    const char* chosen;     // relative to the scratch folder; "" for none
    const char* changedTo;  // set during the recording; "" for no change
    bool desktop;           // $HOME/Desktop exists
    bool homeExists;
    const char* expectedDir;  // relative to the scratch folder; "" when nothing is written
    std::string failure;      // what the failure says about the folders that did not take it
  };
  const Case cases[] = {
      {"chosen folder", "logs", "", true, true, "logs", ""},
      {"no folder set", "", "", true, true, "home/Desktop", ""},
      {"chosen folder gone", "gone", "", true, true, "home/Desktop", "gone: no such folder"},
      {"chosen folder is a file", "d.ini", "", true, true, "home/Desktop", "d.ini: not a folder"},
      {"no desktop either", "gone", "", false, true, "home", "gone: no such folder"},
      {"folder changed while recording", "logs", "other", true, true, "other", ""},
      {"nothing writable", "gone", "", false, false, "", "gone: no such folder"},
      {"chosen folder full", "full", "", true, true, "home/Desktop",
       "full: " + fxtest::FullFilesystem::noSpaceText()},
      {"full, nothing else writable", "full", "", false, false, "",
       "full: " + fxtest::FullFilesystem::noSpaceText()},
  };
  const fxtest::FullFilesystem full(scratch.path / "full");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.chosen) == "full" && full.path.empty()) continue;
    SetUp();
    fs::create_directories(scratch.path / "logs");
    fs::create_directories(scratch.path / "other");
    if (!c.desktop) fs::remove_all(home / "Desktop");
    if (!c.homeExists) fs::remove_all(home);
    if (*c.chosen) setFolder(scratch.path / c.chosen);

    model->setIsLogEnabled(true);
    record(2);
    if (*c.changedTo) setFolder(scratch.path / c.changedTo);
    const auto [path, failure] = stop();

    const std::string name = "PwrData 2024-03-05 at 14.07.33.csv";
    EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    EXPECT_EQ(failure.empty(), c.failure.empty()) << failure;
    if (*c.expectedDir) {
      EXPECT_EQ(path, (scratch.path / c.expectedDir / name).string()) << failure;
      const std::string text = readFile(path);
      EXPECT_EQ(lineCount(text), 3);
      EXPECT_NE(text.find("\n14:07:34.000, 1.000, 2.000, "), std::string::npos) << text;
      EXPECT_TRUE(filesIn(state).empty());
    } else {
      EXPECT_EQ(path, "");
      // The rows are not lost: the safety copy stays for the next start, complete.
      const auto kept = filesIn(state);
      ASSERT_EQ(kept.size(), 1u);
      EXPECT_EQ(lineCount(readFile(kept[0])), 3);
      fs::remove(kept[0]);
    }
    fs::remove_all(scratch.path / "logs");
    fs::remove_all(scratch.path / "other");
    fs::remove_all(home);
  }
  if (full.path.empty()) GTEST_SKIP() << "the full-disk rows did not run: " << full.skipReason;
}

TEST_F(LogFileModelTest, TogglingTwiceGivesTwoFilesEachWithItsOwnRows) {
  fs::create_directories(scratch.path / "logs");
  setFolder(scratch.path / "logs");
  model->setIsLogEnabled(true);
  record(2);
  model->setIsLogEnabled(true);  // already on: the recording goes on
  EXPECT_EQ(model->rowCount(), 2u);
  // Stop and start at once: the first write owns its rows while the second recording runs.
  QSignalSpy written(model.get(), &LogFileModel::logFileWritten);
  model->setIsLogEnabled(false);
  model->setIsLogEnabled(false);  // already off: no second write
  now += 5;
  model->setIsLogEnabled(true);
  record(1);
  model->setIsLogEnabled(false);
  ASSERT_TRUE(fxtest::pumpUntil([&] { return written.count() == 2; }));
  fxtest::drainEvents();
  EXPECT_EQ(written.count(), 2);
  EXPECT_EQ(lineCount(readFile(scratch.path / "logs/PwrData 2024-03-05 at 14.07.33.csv")), 3);
  EXPECT_EQ(lineCount(readFile(scratch.path / "logs/PwrData 2024-03-05 at 14.07.40.csv")), 2);

  // On and off without a sample: the header alone.
  now += 10;
  model->setIsLogEnabled(true);
  stop();
  EXPECT_EQ(readFile(scratch.path / "logs/PwrData 2024-03-05 at 14.07.51.csv"),
            std::string(logfile::kHeader) + "\n");
  EXPECT_FALSE(model->filenameToUseForSaving());

  // A second recording started in the same second keeps the first one's file.
  model->setIsLogEnabled(true);
  record(1);
  EXPECT_EQ(stop().first, (scratch.path / "logs/PwrData 2024-03-05 at 14.07.51 2.csv").string());
  EXPECT_EQ(lineCount(readFile(scratch.path / "logs/PwrData 2024-03-05 at 14.07.51.csv")), 1);
}

TEST_F(LogFileModelTest, QuittingWritesTheRunningRecordingBeforeReturning) {
  model->setIsLogEnabled(true);
  record(3);
  model->writeBeforeQuit();
  EXPECT_FALSE(model->isLogEnabled());
  EXPECT_EQ(lineCount(readFile(home / "Desktop/PwrData 2024-03-05 at 14.07.33.csv")), 4);
  EXPECT_TRUE(filesIn(state).empty());
}

TEST_F(LogFileModelTest, LeftoversOfADeadRecorderAreSavedOnce) {
  const std::string header = std::string(logfile::kHeader) + "\n";
  const LogFileData row = LogFileData::make(now, 0, {});
  struct Case {
    const char* name;
    std::string text;
    bool lockedByALiveRecorder;
    int recoveredLines;  // 0: no file
    bool leftoverStays;
    bool everyFolderFull;  // the chosen folder full, no desktop, no home
  };
  const Case cases[] = {
      {"whole rows and a cut line", header + row.line() + "\n" + row.line() + "\n14:0", false, 3,
       false, false},
      {"header only", header, false, 0, false, false},
      {"still recording elsewhere", header + row.line() + "\n", true, 0, true, false},
      {"nowhere to save it", header + row.line() + "\n", false, 0, true, true},
  };
  const fxtest::FullFilesystem full(scratch.path / "full");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.everyFolderFull && full.path.empty()) continue;
    SetUp();
    if (c.everyFolderFull) {
      setFolder(full.path);
      fs::remove_all(home);
    }
    LogRecoveryFile live;
    const fs::path leftover = state / "PwrData 2024-03-05 at 14.07.33.csv";
    if (c.lockedByALiveRecorder) {
      ASSERT_TRUE(live.open(state.string(), leftover.stem().string()));
      live.append(row);
      live.flush();
    } else {
      fs::create_directories(state);
      std::ofstream(leftover, std::ios::binary) << c.text;
    }
    model->recoverLeftovers();
    const fs::path recovered = home / "Desktop/PwrData 2024-03-05 at 14.07.33 (recovered).csv";
    if (c.recoveredLines) {
      EXPECT_EQ(lineCount(readFile(recovered)), c.recoveredLines);
      EXPECT_EQ(readFile(recovered).back(), '\n');
    } else {
      EXPECT_FALSE(fs::exists(recovered));
    }
    EXPECT_EQ(fs::exists(leftover), c.leftoverStays);
    live.discard();
    fs::remove_all(state);
    fs::remove_all(home);
  }
  if (full.path.empty()) GTEST_SKIP() << "the full-disk row did not run: " << full.skipReason;
}

}  // namespace
