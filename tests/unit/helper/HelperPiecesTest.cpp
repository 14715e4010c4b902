// The helper's pure pieces: sampler arguments, command line, file URLs, the handed-over socket
// and the journal stream.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "helper/EmbeddedInfo.h"
#include "helper/Log.h"
#include "helper/Options.h"
#include "helper/Sampler.h"
#include "helper/SocketActivation.h"
#include "helper/Uninstall.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"

namespace {

TEST(SamplerArguments, IntervalAndSamplers) {
  struct Case {
    double ms;
    bool gpu;
    const char* interval;
    const char* samplers;
  };
  const Case cases[] = {
      {500, false, "500", "cpu_power"},
      {1000.0, true, "1000", "cpu_power,gpu_power"},
      {1000.9, false, "1000", "cpu_power"},
      {999.99, true, "999", "cpu_power,gpu_power"},
      {0.4, false, "0", "cpu_power"},
      {-2.7, false, "-2", "cpu_power"},  // toward zero, not down
      {9.2e18, false, "9200000000000000000", "cpu_power"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    const auto args = helper::samplerArguments(c.ms, c.gpu);
    ASSERT_TRUE(args);
    EXPECT_EQ(*args,
              (std::vector<std::string>{"-n", "-10", "powermetrics", "-n", "1", "-i", c.interval,
                                        "--samplers", c.samplers, "-f", "plist"}));
  }
}

TEST(SamplerArguments, UnconvertibleIntervalsAreRefused) {
  for (double ms : {std::nan(""), std::numeric_limits<double>::infinity(),
                    -std::numeric_limits<double>::infinity(), 9.3e18, -9.3e18, 1e300}) {
    SCOPED_TRACE(ms);
    EXPECT_FALSE(helper::samplerArguments(ms, false));
    // The run is refused as a launch failure: a nil result, and no process started.
    EXPECT_EQ(helper::runSampler({}, ms, false), std::nullopt);
  }
}

TEST(Options, Parsing) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
  };
  const Case cases[] = {
      {{}, true},
      {{"--listen", "/tmp/s", "--tools-dir", "/t", "--allow-uid", "1000", "--allow-uid", "0"},
       true},
      {{"--sampler-grace-ms", "250", "--nice-path", "/n", "--install-root", "/r",
        "--service-manager", "/m"},
       true},
      {{"--listen"}, false},
      {{"--bogus", "x"}, false},
      {{"--allow-uid", "-1"}, false},
      {{"--allow-uid", "12ab"}, false},
      {{"--allow-uid", ""}, false},
      {{"--allow-uid", "4294967295"}, false},  // the "no user" id
      {{"--sampler-grace-ms", "-5"}, false},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv{const_cast<char*>("helper")};
    for (const char* a : c.args)
      argv.push_back(const_cast<char*>(a));
    std::string error;
    const auto o = helper::parseOptions(static_cast<int>(argv.size()), argv.data(), error);
    EXPECT_EQ(o.has_value(), c.ok) << (c.args.empty() ? "" : c.args[0]) << " " << error;
    EXPECT_EQ(error.empty(), c.ok);
  }
  std::vector<const char*> args{"h", "--allow-uid", "1000", "--allow-uid",
                                "7", "--tools-dir", "/t"};
  std::string error;
  const auto o = helper::parseOptions(7, const_cast<char**>(args.data()), error);
  ASSERT_TRUE(o);
  EXPECT_EQ(o->allowUids, (std::vector<uid_t>{1000, 7}));
  EXPECT_EQ(o->toolsDir, "/t");
}

TEST(Uninstall, PathsAndURLs) {
  const auto p = helper::installPaths("/scratch");
  EXPECT_EQ(p.jobFiles, (std::vector<std::string>{
                            "/scratch/etc/systemd/system/com.tarquell.powermetrics.socket",
                            "/scratch/etc/systemd/system/com.tarquell.powermetrics.service"}));
  EXPECT_EQ(p.executable, "/scratch/usr/local/libexec/ferrolux-helpers/com.tarquell.powermetrics");
  EXPECT_EQ(p.sampler, "/scratch/usr/local/libexec/ferrolux-helpers/powermetrics");
  EXPECT_EQ(helper::fileURL("/a b/c%d/é"), "file:///a%20b/c%25d/%C3%A9");
  EXPECT_EQ(helper::fileURL("/etc/x-y_z.~1"), "file:///etc/x-y_z.~1");
}

// What the helper believes of itself is what the application and the installer read from its
// file: the version it reports, and the job list the units are made from.
TEST(EmbeddedLists, AreTheOnesTheBuiltExecutableCarries) {
  const std::string exe = FERROLUX_BUILD_DIR "/helper/com.tarquell.powermetrics";
  const struct {
    const char* what;
    const plist::Value& own;
    std::string_view section;
  } lists[] = {{"info", helper::infoList(), xpc::kInfoSection},
               {"jobs", helper::jobList(), xpc::kJobsSection}};
  for (const auto& l : lists) {
    SCOPED_TRACE(l.what);
    ASSERT_TRUE(l.own.isDict());
    EXPECT_GT(l.own.size(), 0u);
    const auto fromFile = xpc::readEmbeddedList(exe, l.section);
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(*fromFile, l.own);
  }
}

TEST(SocketActivation, PassedDescriptorCount) {
  const pid_t self = 4242;
  struct Case {
    const char* pid;
    const char* fds;
    int count;
  };
  const Case cases[] = {
      {"4242", "1", 1},
      {"4242", "3", 3},
      {"4242", "0", 0},
      {nullptr, "1", 0},
      {"4242", nullptr, 0},  // either variable missing
      {"4243", "1", 0},
      {"1", "1", 0},  // meant for another process
      {"4242 ", "1", 0},
      {"+4242", "1", 0},
      {"4242", "-1", 0},
      {"4242", "1x", 0},
      {"", "1", 0},
      {"4242", "", 0},
      {"4242", "99999999999999999999", 0},
      {"4242", "100000", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pid ? c.pid : "(unset)") + " " + (c.fds ? c.fds : "(unset)"));
    EXPECT_EQ(helper::passedFdCount(c.pid, c.fds, self), c.count);
  }
}

TEST(SocketActivation, OnlyAListeningUnixStreamSocketIsServed) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("fx-act-" + std::to_string(::getpid()))).string();
  const auto unixSocket = [&](int type, bool bindAndListen) {
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (bindAndListen) {
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      path.copy(addr.sun_path, sizeof addr.sun_path - 1);
      ::unlink(path.c_str());
      EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
      if (type == SOCK_STREAM) {
        EXPECT_EQ(::listen(fd, 1), 0);
      }
    }
    return fd;
  };
  const auto tcpListener = [] {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::listen(fd, 1), 0);
    return fd;
  };
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  struct Case {
    const char* what;
    int fd;
    bool served;
  };
  const Case cases[] = {
      {"listening unix stream", unixSocket(SOCK_STREAM, true), true},
      {"unix stream, not listening", unixSocket(SOCK_STREAM, false), false},
      {"unix datagram", unixSocket(SOCK_DGRAM, true), false},
      {"listening tcp", tcpListener(), false},
      {"pipe", pipeFds[0], false},
      {"closed descriptor", 1000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(helper::isListeningUnixStream(c.fd), c.served);
    if (c.fd != 1000) ::close(c.fd);
  }
  ::close(pipeFds[1]);
  ::unlink(path.c_str());
}

TEST(Log, JournalStreamMustNameTheDescriptor) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("fx-log-" + std::to_string(::getpid()))).string();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  struct stat st;
  ASSERT_EQ(::fstat(fd, &st), 0);
  const std::string dev = std::to_string(st.st_dev), ino = std::to_string(st.st_ino);
  struct Case {
    std::string value;
    bool journal;
  };
  const Case cases[] = {
      {dev + ":" + ino, true},
      {dev + ":" + std::to_string(st.st_ino + 1), false},  // output redirected elsewhere
      {std::to_string(st.st_dev + 1) + ":" + ino, false},
      {dev + ":" + ino + "x", false},
      {dev + ino, false},
      {":" + ino, false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(helper::isJournalStream(c.value.c_str(), fd), c.journal);
  }
  EXPECT_FALSE(helper::isJournalStream(nullptr, fd));
  ::close(fd);
  ::unlink(path.c_str());
}

}  // namespace
