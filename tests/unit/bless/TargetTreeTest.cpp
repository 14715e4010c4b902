// The installer's file handling: private copies that later changes to the source cannot reach,
// and an install that takes back what it added when it cannot finish.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tools/bless/SealedCopy.h"
#include "tools/bless/TargetTree.h"
#include "tools/bless/VersionCheck.h"
#include "unit/core/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

class BlessFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.empty());
    root = dir / "root";
    fs::create_directory(root);
    fs::permissions(root, fs::perms(0755));
  }
  fxtest::ScratchDir scratch{"fx-tree"};
  fs::path dir = scratch.path, root;
};

std::string contents(int fd, size_t size) {
  std::string out(size, '\0');
  EXPECT_EQ(::pread(fd, out.data(), size, 0), static_cast<ssize_t>(size));
  return out;
}

TEST_F(BlessFiles, SealedCopyKeepsTheBytesItWasGiven) {
  const fs::path source = dir / "program";
  std::ofstream(source) << "original";
  std::string error;
  auto copy = bless::SealedCopy::take(source.string(), 1024, error);
  ASSERT_TRUE(copy) << error;
  std::ofstream(source, std::ios::trunc) << "swapped after the copy was taken";
  EXPECT_EQ(copy->size(), 8u);
  EXPECT_EQ(contents(copy->fd(), 8), "original");
  EXPECT_EQ(::pwrite(copy->fd(), "X", 1, 0), -1);  // sealed against writes, by anyone
  EXPECT_NE(::ftruncate(copy->fd(), 0), 0);

  std::ofstream(dir / "big") << std::string(2048, 'x');
  EXPECT_FALSE(bless::SealedCopy::take((dir / "big").string(), 1024, error));
  EXPECT_NE(error.find("larger than"), std::string::npos);
}

// Root opens nothing but a regular file, and its refusal reads the same whatever lies at the
// path. inotify sees every real open, so a FIFO that was opened would report one.
TEST_F(BlessFiles, SealedCopyOpensNothingButARegularFile) {
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "directory");
  std::ofstream(dir / "target") << "program";
  fs::create_symlink(dir / "target", dir / "link");
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, (dir / "fifo").c_str(), IN_OPEN), 0);
  for (const char* name : {"fifo", "directory", "link", "missing"}) {
    SCOPED_TRACE(name);
    std::string error;
    EXPECT_FALSE(bless::SealedCopy::take((dir / name).string(), 1024, error));  // no hang
    EXPECT_EQ(error, (dir / name).string() + ": not a regular file");
  }
  char events[4096];
  EXPECT_EQ(::read(watch, events, sizeof events), -1) << "the FIFO was opened";
  ::close(watch);
}

TEST_F(BlessFiles, AFailedInstallTakesBackWhatItAdded) {
  std::string error;
  auto tree = bless::TargetTree::check(
      root.string(),
      {{"/etc/units/a.socket", 0644, nullptr, "socket"}, {"/usr/tools/helper", 0755, nullptr, "h"}},
      error);
  ASSERT_TRUE(tree) << error;
  // Something appears where the second directory was to be made, after the checks.
  std::ofstream(root / "usr") << "in the way";
  EXPECT_FALSE(tree->install(error));
  EXPECT_NE(error.find("/usr"), std::string::npos) << error;
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(root))
    left.push_back(fs::relative(e.path(), root).string());
  EXPECT_EQ(left, std::vector<std::string>{"usr"});
}

TEST_F(BlessFiles, RefusesTargetsOutsideTheRoot) {
  std::string error;
  for (const char* path : {"/etc/../../escape", "relative/file", "/"}) {
    EXPECT_FALSE(bless::TargetTree::check(root.string(), {{path, 0644, nullptr, "x"}}, error))
        << path;
  }
}

TEST(BlessVersions, ComparesDottedNumbersPartByPart) {
  const struct {
    const char *a, *b;
    std::optional<int> order;
  } rows[] = {{"1.4", "1.4", 0},       {"1.4", "1.4.0", 0},          {"1.9", "1.10", -1},
              {"2", "1.99", 1},        {"1.4.1", "1.4", 1},          {"1.x", "1.4", std::nullopt},
              {"", "1", std::nullopt}, {"1..2", "1.2", std::nullopt}};
  for (const auto& r : rows) {
    auto order = bless::compareVersions(r.a, r.b);
    if (order) *order = (*order > 0) - (*order < 0);
    EXPECT_EQ(order, r.order) << r.a << " vs " << r.b;
  }
}

}  // namespace
