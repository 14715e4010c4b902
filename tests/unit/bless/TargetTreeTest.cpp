// The installer's file handling: private copies that later changes to the source cannot reach,
// and an install that takes back what it added when it cannot finish.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tools/bless/SealedCopy.h"
#include "tools/bless/TargetTree.h"
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
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(bless::SealedCopy::take((dir / "fifo").string(), 1024, error));  // no hang
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

}  // namespace
