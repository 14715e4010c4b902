// ferrolux-bless as pkexec would run it, into scratch roots: what a good install writes and
// tells the service manager, that every refusal leaves the tree exactly as it was, that the
// units pass systemd's own checks, and that the helper's uninstall takes it all away again.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "helper/Uninstall.h"
#include "packaging/SystemdUnits.h"
#include "shared/codesign/Certificate.h"
#include "shared/codesign/ConfiguredAnchor.h"
#include "shared/codesign/Signer.h"
#include "shared/codesign/Verifier.h"
#include "shared/process/Process.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"
#include "support/TestPki.h"
#include "unit/core/Files.h"
#include "unit/core/ScratchDir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
using fxtest::readFile;
void writeBytes(const fs::path& path, const Bytes& bytes, fs::perms mode = fs::perms(0755)) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  fs::permissions(path, mode);
}

const codesign::SigningIdentity& buildIdentity() {
  static const auto identity = [] {
    std::string error;
    auto id = codesign::loadSigningIdentity(readFile(FERROLUX_SIGNING_CERT_FILE),
                                            readFile(FERROLUX_SIGNING_KEY_FILE), error);
    EXPECT_TRUE(id) << error;
    return std::move(*id);
  }();
  return identity;
}

Bytes resigned(const Bytes& bytes, const std::string& identifier,
               const codesign::SigningIdentity* identity) {
  std::string error;
  auto out = codesign::signBytes(bytes, identifier, identity, error);
  EXPECT_TRUE(out) << error;
  return out ? *out : Bytes{};
}

Bytes unsigned_(const Bytes& bytes) {
  const codesign::MemorySource source(bytes);
  std::uint64_t length = 0;
  std::string error;
  EXPECT_TRUE(codesign::codeLength(source, length, error)) << error;
  return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

// Everything about a tree that an install could change: type, mode, owner, bytes, link target.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  if (!fs::exists(fs::symlink_status(root))) return out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    struct stat st;
    ::lstat(it->path().c_str(), &st);
    std::ostringstream d;
    d << std::oct << st.st_mode << std::dec << " " << st.st_uid << ":" << st.st_gid;
    if (S_ISREG(st.st_mode)) d << " " << readFile(it->path());
    if (S_ISLNK(st.st_mode)) d << " -> " << fs::read_symlink(it->path()).string();
    out[fs::relative(it->path(), root).string()] = d.str();
  }
  return out;
}

proc::Result run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  proc::Spec spec;
  spec.path = FERROLUX_BLESS;
  spec.args = args;
  spec.env = env;
  spec.env.push_back("PATH=/usr/bin:/bin");
  spec.captureStderr = true;
  spec.timeLimit = std::chrono::seconds(60);
  return proc::run(spec);
}

class BlessInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(base.empty());
    root = base / "root";
    fs::create_directory(root);
    fs::permissions(root, fs::perms(0755));
    manager = base / "systemctl";
    calls = base / "calls";
    // Records each call; fails the verb named by a "fail-<verb>" file beside it.
    std::ofstream(manager) << "#!/bin/sh\nd=$(dirname \"$0\")\necho \"$@\" >> \"$d/calls\"\n"
                              "[ -e \"$d/fail-$1\" ] && exit 1\nexit 0\n";
    fs::permissions(manager, fs::perms(0755));
    helper = source("helper", readBytes(FERROLUX_HELPER_EXE));
    sampler = source("sampler", readBytes(FERROLUX_SAMPLER_EXE));
    client = source("client", readBytes(FERROLUX_CLIENT_EXE));
  }

  std::string source(const std::string& name, const Bytes& bytes) {
    const fs::path path = base / "sources" / name;
    writeBytes(path, bytes);
    return path.string();
  }

  std::vector<std::string> args(const std::string& h, const std::string& s, const std::string& c,
                                const std::string& user = "0") const {
    return {"install",
            "--helper",
            h,
            "--sampler",
            s,
            "--client",
            c,
            "--user",
            user,
            "--root",
            root.string(),
            "--service-manager",
            manager.string()};
  }
  std::vector<std::string> args() const { return args(helper, sampler, client); }

  fs::path installed(std::string_view path) const { return root / fs::path(path).relative_path(); }

  fxtest::ScratchDir scratch{"fx-bless"};
  fs::path base = scratch.path, root, manager, calls;
  std::string helper, sampler, client;
};

TEST_F(BlessInstall, InstallsFilesUnitsAndStartsTheSocket) {
  // Run twice: the second run replaces a complete install, as an update does.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    fs::remove(calls);
    const auto r = run(args(helper, sampler, client, "nobody"));
    ASSERT_EQ(r.exitStatus, 0) << r.errorOutput;
    EXPECT_NE(r.output.find("installed com.tarquell.powermetrics"), std::string::npos);

    const auto helperAt = installed(xpc::kInstalledExecutable);
    const auto samplerAt = installed(xpc::kInstalledSampler);
    const auto unitDir = installed(xpc::kUnitDirectory);
    EXPECT_EQ(readBytes(helperAt), readBytes(FERROLUX_HELPER_EXE));
    EXPECT_EQ(readBytes(samplerAt), readBytes(FERROLUX_SAMPLER_EXE));

    const auto jobs = xpc::readEmbeddedList(FERROLUX_HELPER_EXE, xpc::kJobsSection);
    ASSERT_TRUE(jobs);
    const auto units = packaging::generateUnits(
        *jobs, packaging::installedUnitOptions(std::string(xpc::kInstalledToolsDirectory),
                                               std::to_string(65534)));
    ASSERT_TRUE(units);
    EXPECT_EQ(readFile(unitDir / units->socketName), units->socket);
    EXPECT_EQ(readFile(unitDir / units->serviceName), units->service);
    const std::string socketUnit = readFile(unitDir / units->socketName);
    EXPECT_NE(socketUnit.find("\nSocketUser=65534\n"), std::string::npos) << socketUnit;
    EXPECT_NE(socketUnit.find("\nSocketMode=0600\n"), std::string::npos) << socketUnit;
    EXPECT_NE(units->service.find("ExecStart=/usr/local/libexec/ferrolux-helpers/"
                                  "com.tarquell.powermetrics --tools-dir "
                                  "/usr/local/libexec/ferrolux-helpers\n"),
              std::string::npos);

    const std::map<fs::path, unsigned> modes = {{helperAt, 0755},
                                                {samplerAt, 0755},
                                                {unitDir / units->socketName, 0644},
                                                {unitDir / units->serviceName, 0644},
                                                {helperAt.parent_path(), 0755},
                                                {unitDir, 0755}};
    for (const auto& [path, mode] : modes) {
      struct stat st;
      ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
      EXPECT_EQ(st.st_mode & 07777, mode) << path;
      EXPECT_EQ(st.st_uid, ::geteuid()) << path;
    }
    // Nothing left behind under a temporary name.
    for (const auto& dir : {helperAt.parent_path(), unitDir})
      EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << dir;
    EXPECT_EQ(readFile(calls),
              "daemon-reload\n"
              "stop com.tarquell.powermetrics.service\n"
              "enable com.tarquell.powermetrics.socket\n"
              "restart com.tarquell.powermetrics.socket\n");
  }

  // The helper's own uninstall, against the same root, takes every file away again.
  auto paths = helper::installPaths(root.string());
  paths.serviceManager = manager.string();
  int exitStatus = -1;
  fs::remove(calls);
  EXPECT_TRUE(helper::uninstall(paths, [&](int status) { exitStatus = status; }));
  EXPECT_EQ(exitStatus, 0);
  EXPECT_EQ(readFile(calls), "--no-block stop com.tarquell.powermetrics.socket\n");
  for (const auto& entry : fs::recursive_directory_iterator(root))
    EXPECT_TRUE(entry.is_directory()) << entry.path() << " was left behind";
}

// systemd's own checks, against an installed tree (ExecStart must exist there).
TEST_F(BlessInstall, InstalledUnitsPassSystemdsOwnChecks) {
  if (!fs::exists("/usr/bin/systemd-analyze") || !fs::exists("/lib/systemd/system/sysinit.target"))
    GTEST_SKIP() << "systemd-analyze or the system's own units are not installed";
  const auto r = run(args(helper, sampler, client, "nobody"));
  ASSERT_EQ(r.exitStatus, 0) << r.errorOutput;
  fs::create_directories(root / "usr/lib/systemd");
  fs::copy("/lib/systemd/system", root / "usr/lib/systemd/system",
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  proc::Spec verify;
  verify.path = "/usr/bin/systemd-analyze";
  verify.args = {"verify", "--root=" + root.string(),
                 "/etc/systemd/system/com.tarquell.powermetrics.socket",
                 "/etc/systemd/system/com.tarquell.powermetrics.service"};
  verify.env = {"PATH=/usr/bin:/bin", "SYSTEMD_LOG_LEVEL=warning"};
  verify.captureStderr = true;
  verify.timeLimit = std::chrono::seconds(60);
  const auto v = proc::run(verify);
  EXPECT_TRUE(v.succeeded()) << v.errorOutput;
  EXPECT_EQ(v.errorOutput, "");
}

TEST_F(BlessInstall, EveryRefusalChangesNothing) {
  const Bytes genuineHelper = readBytes(FERROLUX_HELPER_EXE);
  const Bytes genuineClient = readBytes(FERROLUX_CLIENT_EXE);
  const Bytes genuineSampler = readBytes(FERROLUX_SAMPLER_EXE);
  const codesign::testpki::TestChain foreign;
  const auto foreignIdentity = foreign.identity();

  Bytes modified = genuineHelper;
  modified[modified.size() / 2] ^= 0x01;

  fs::create_directories(base / "elsewhere");
  fs::create_symlink(FERROLUX_HELPER_EXE, base / "sources" / "helper-link");

  struct Case {
    const char* what;
    std::function<std::vector<std::string>()> prepare;  // returns the arguments
    const char* expected;                               // in the message
    std::vector<std::string> env = {};
  };
  auto withHelper = [&](Bytes b) {
    return [&, b] { return args(source("variant", b), sampler, client); };
  };
  auto withClient = [&](Bytes b) {
    return [&, b] { return args(helper, sampler, source("variant", b)); };
  };
  auto withSampler = [&](Bytes b) {
    return [&, b] { return args(helper, source("variant", b), client); };
  };
  auto withTree = [&](std::function<void()> change) {
    return [&, change] {
      change();
      return args();
    };
  };
  const Case cases[] = {
      {"unsigned helper", withHelper(unsigned_(genuineHelper)), "is not validly signed"},
      {"helper under another identifier",
       withHelper(resigned(genuineHelper, "com.tarquell.Impostor", &buildIdentity())),
       "does not satisfy"},
      {"helper signed under another anchor",
       withHelper(resigned(genuineHelper, "com.tarquell.powermetrics", &foreignIdentity)),
       "is not validly signed"},
      {"helper modified after signing", withHelper(modified), "is not validly signed"},
      {"helper that is a symbolic link",
       [&] { return args((base / "sources" / "helper-link").string(), sampler, client); },
       "not a regular file"},
      {"helper missing", [&] { return args((base / "none").string(), sampler, client); },
       "not a regular file"},
      {"helper that is a directory",
       [&] { return args((base / "elsewhere").string(), sampler, client); }, "not a regular file"},
      {"application under another identifier",
       withClient(resigned(genuineClient, "com.tarquell.Other", &buildIdentity())),
       "is not one of the helper's authorized clients"},
      {"unsigned application", withClient(unsigned_(genuineClient)), "is not validly signed"},
      {"application missing", [&] { return args(helper, sampler, (base / "none").string()); },
       "not a regular file"},
      {"unsigned sampler", withSampler(unsigned_(genuineSampler)), "is not validly signed"},
      {"sampler signed as something else",
       withSampler(resigned(genuineSampler, "com.tarquell.powermetrics", &buildIdentity())),
       "does not satisfy"},
      {"sampler missing", [&] { return args(helper, (base / "none").string(), client); },
       "not a regular file"},
      {"world-writable directory on the way", withTree([&] {
         fs::create_directories(root / "etc");
         fs::permissions(root / "etc", fs::perms(0777));
       }),
       "is writable by every user"},
      {"directory writable by a group", withTree([&] {
         fs::create_directories(root / "usr/local");
         ASSERT_EQ(::chown((root / "usr/local").c_str(), ::geteuid(), 1), 0);
         fs::permissions(root / "usr/local", fs::perms(0775));
       }),
       "is writable by a group"},
      {"symbolic link on the way", withTree([&] {
         fs::create_directories(root / "etc");
         fs::create_directory_symlink(base / "elsewhere", root / "etc/systemd");
       }),
       "is a symbolic link or not a directory"},
      {"a directory where a unit goes", withTree([&] {
         fs::create_directories(installed(xpc::kUnitDirectory) /
                                "com.tarquell.powermetrics.socket");
       }),
       "exists and is not a regular file"},
      {"older than the installed helper", withTree([&] {
         Bytes newer = genuineHelper;
         const std::string from = "<string>1.4</string>", to = "<string>9.4</string>";
         auto at = std::search(newer.begin(), newer.end(), from.begin(), from.end());
         ASSERT_NE(at, newer.end());
         std::copy(to.begin(), to.end(), at);
         writeBytes(installed(xpc::kInstalledExecutable), newer);
       }),
       "has version 1.4, older than the installed helper's version 9.4"},
      {"unknown user", [&] { return args(helper, sampler, client, "no-such-user-anywhere"); },
       "no such user"},
      {"test options through pkexec",
       [&] { return args(); },
       "not accepted through pkexec",
       {"PKEXEC_UID=0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root);
    fs::create_directory(root);
    fs::permissions(root, fs::perms(0755));
    const auto arguments = c.prepare();
    const auto before = snapshot(root);
    const auto r = run(arguments, c.env);
    EXPECT_EQ(r.exitStatus, 2) << r.errorOutput;
    EXPECT_NE(r.errorOutput.find(c.expected), std::string::npos) << r.errorOutput;
    EXPECT_NE(r.errorOutput.find("nothing was changed"), std::string::npos) << r.errorOutput;
    EXPECT_EQ(snapshot(root), before);
    EXPECT_FALSE(fs::exists(calls));
  }
}

TEST_F(BlessInstall, ServiceManagerFailureIsReportedAsAFailedInstall) {
  std::ofstream(base / "fail-restart").put('\n');
  const auto r = run(args());
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_NE(r.errorOutput.find("restart com.tarquell.powermetrics.socket: exit status 1"),
            std::string::npos)
      << r.errorOutput;
  EXPECT_TRUE(fs::exists(installed(xpc::kInstalledExecutable)));
}

// The parsing itself is covered by the unit tests; here only that it maps to status 1.
TEST_F(BlessInstall, MalformedCommandLinesAreUsageErrors) {
  for (const auto& line : {std::vector<std::string>{},
                           {"install", "--helper", helper, "--sampler", sampler, "--client", client,
                            "--root", root.string()}}) {
    const auto r = run(line);
    EXPECT_EQ(r.exitStatus, 1) << r.errorOutput;
    EXPECT_NE(r.errorOutput.find("usage:"), std::string::npos);
  }
}

}  // namespace
