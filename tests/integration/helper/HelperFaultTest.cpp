// Bad input and faults: each ends at most the one connection that caused it, loses nothing
// else, and leaves the helper serving.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "helper/XPCServer.h"
#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"
#include "tests/integration/helper/HelperHarness.h"
#include "unit/plist/HostileDocuments.h"

namespace {

using namespace harness;

class HelperFaults : public StandInHelperTest {
 protected:
  void SetUp() override { start(); }
};

// A raw socket past the hello, for sending what no well-behaved client would.
xpc::UniqueFd rawAdmitted(const std::string& path) {
  auto fd = xpc::connectUnix(path);
  timeval tv{20, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  xpc::FrameReader reader(fd.get(), xpc::kMaxFrameToClient);
  std::string body;
  if (reader.next(body) != xpc::FrameReader::Status::Frame) return {};
  return fd;
}

// True when the helper closed the connection (end of file, or a reset).
bool closedByPeer(int fd) {
  char buf[256];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0) return false;  // timed out
  }
}

std::string repeated(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += piece;
  return out;
}

TEST_F(HelperFaults, BadFramesCloseOnlyTheirConnection) {
  Inbox witnessInbox;
  auto witness = xpc::Connection::connect(helper->socket, witnessInbox.handlers());
  EXPECT_TRUE(serving(witness));

  auto bodyOf = [](plist::Dict d) {
    return xpc::frame(plist::write(plist::Value(std::move(d)), plist::Format::Binary));
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool thenHalfClose;
  };
  const Case cases[] = {
      {"oversized", xpc::frame(std::string(xpc::kMaxFrameToHelper + 1, 'a')), false},
      {"length of 4 GiB", std::string("\xff\xff\xff\xff", 4), false},
      {"truncated", xpc::frame(std::string(100, 'a')).substr(0, 30), true},
      {"garbage", xpc::frame("this is not a property list"), false},
      {"empty body", xpc::frame(""), false},
      {"unknown message", bodyOf({{"call", "formatDisk"}}), false},
      {"result sent to the helper", bodyOf({{"call", "powermetricsResult:"}}), false},
      {"interval of the wrong type",
       bodyOf({{"call", "requestPowermetricsWithMsSampling:includeGPU:"},
               {"msSampling", "soon"},
               {"includeGPU", true}}),
       false},
  };
  // Bodies that would make the property-list library expand, recurse or abort; each fits a
  // frame to the helper.
  const Case hostileCases[] = {
      {"shared objects expanding to 2^33 nodes", xpc::frame(hostile::binaryChain(32, 2, 1)), false},
      {"binary nesting 10,000 deep", xpc::frame(hostile::binaryChain(10000, 1, 2, 2)), false},
      {"XML nesting 4,000 deep",
       xpc::frame("<plist>" + repeated("<array>", 4000) + repeated("</array>", 4000) + "</plist>"),
       false},
      {"key with a NUL behind a 16-byte length",
       xpc::frame(hostile::binaryDoc(
           {"\xD1\x01\x02",
            std::string("\x5F\x14", 2) + std::string(15, '\0') + "\x03" + std::string("a\0b", 3),
            "\x09"})),
       false},
  };
  const long baseline = statusKiB(helper->pid, "VmHWM:");
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    auto fd = rawAdmitted(helper->socket);
    ASSERT_TRUE(fd.valid());
    xpc::writeAll(fd.get(), k.bytes);
    if (k.thenHalfClose) ::shutdown(fd.get(), SHUT_WR);
    EXPECT_TRUE(closedByPeer(fd.get()));
    EXPECT_TRUE(serving(witness));
  }
  for (const auto& k : hostileCases) {
    SCOPED_TRACE(k.what);
    auto fd = rawAdmitted(helper->socket);
    ASSERT_TRUE(fd.valid());
    const auto sent = std::chrono::steady_clock::now();
    xpc::writeAll(fd.get(), k.bytes);
    EXPECT_TRUE(closedByPeer(fd.get()));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - sent);
    RecordProperty(k.what, std::to_string(ms.count()) + " ms");
    EXPECT_TRUE(serving(witness));
  }
  // Each was refused before it could grow: the peak stays within 50 MB of where it began.
  const long growth = statusKiB(helper->pid, "VmHWM:") - baseline;
  RecordProperty("peak growth", std::to_string(growth) + " kB");
  EXPECT_LT(growth, 50 * 1024);
  // Results still reach a new connection.
  Inbox inbox;
  auto fresh = xpc::Connection::connect(helper->socket, inbox.handlers());
  EXPECT_TRUE(serving(fresh));
  fresh->requestPowermetrics(1, false);
  const auto r = inbox.nextResult();
  ASSERT_TRUE(r);
  EXPECT_EQ(echoedArgs(*r).size(), 8u);
  EXPECT_EQ(witnessInbox.ending(0ms), "");
}

// Each result goes back on the connection that asked for it and nowhere else: runs that end
// while other clients are connected reach only their own requester, and the result of one that
// has left is dropped.
TEST_F(HelperFaults, ResultsGoOnlyToTheConnectionThatAsked) {
  tools.mode("gate");  // each run ends only once every connection is admitted
  Inbox departed, asking, idle;
  auto a = xpc::Connection::connect(helper->socket, departed.handlers());
  EXPECT_TRUE(serving(a));
  a->requestPowermetrics(300, true);
  a->invalidate();
  auto b = xpc::Connection::connect(helper->socket, asking.handlers());
  auto c = xpc::Connection::connect(helper->socket, idle.handlers());
  EXPECT_TRUE(serving(b));
  EXPECT_TRUE(serving(c));
  b->requestPowermetrics(200, false);
  writeFile(tools.dir / "go-300", "");
  writeFile(tools.dir / "go-200", "");
  const auto r = asking.nextResult();
  ASSERT_TRUE(r);
  EXPECT_EQ(echoedArgs(*r).at(3), "200");
  EXPECT_FALSE(asking.nextResult(500ms)) << "another client's result arrived";
  EXPECT_FALSE(idle.nextResult(0ms));
  EXPECT_FALSE(departed.nextResult(0ms));
  EXPECT_TRUE(serving(c));
}

TEST_F(HelperFaults, HangingOrFloodingSamplerIsCutOff) {
  // Every one of these runs ends only by the cut-off, whatever the grace.
  start({"--sampler-grace-ms", "300"});
  Inbox inbox;
  auto c = xpc::Connection::connect(helper->socket, inbox.handlers());
  EXPECT_TRUE(serving(c));
  for (const char* mode : {"hang", "flood", "stray"}) {
    SCOPED_TRACE(mode);
    tools.mode(mode);
    c->requestPowermetrics(10, false);
    EXPECT_TRUE(serving(c));  // answered while the run is still going
    const auto r = inbox.nextResult();
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->has_value());
    EXPECT_TRUE((*r)->empty());
  }
}

// Two hundred connections from one user at once: the helper checks a few at a time, admits
// the first 32 (the cap for one user), refuses the rest with a log line, and keeps serving.
TEST_F(HelperFaults, TwoHundredConnectionsAtOnce) {
  constexpr int kCount = 200, kPerUser = 32;
  std::vector<std::unique_ptr<Inbox>> inboxes;
  std::vector<std::shared_ptr<xpc::Connection>> conns;
  std::atomic<int> replies{0};
  for (int i = 0; i < kCount; ++i) {
    inboxes.push_back(std::make_unique<Inbox>());
    conns.push_back(xpc::Connection::connect(helper->socket, inboxes.back()->handlers()));
  }
  for (auto& c : conns)
    c->isResponding([&](bool ok) { replies += ok ? 1 : 0; });
  auto refused = [&] {
    int n = 0;
    for (auto& i : inboxes)
      n += i->ending(0ms) == "invalidated" ? 1 : 0;
    return n;
  };
  const auto until = std::chrono::steady_clock::now() + kPatience;
  while ((replies < kPerUser || refused() < kCount - kPerUser) &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(replies.load(), kPerUser);
  EXPECT_EQ(refused(), kCount - kPerUser);
  EXPECT_NE(helper->log().find("already has 32 connections admitted"), std::string::npos);
  conns.clear();
  Inbox inbox;
  auto last = xpc::Connection::connect(helper->socket, inbox.handlers());
  EXPECT_TRUE(serving(last));
  last->requestPowermetrics(1, false);
  EXPECT_TRUE(inbox.nextResult());
}

// In-process server: how refusal and absence look from the client side.
TEST(HelperAdmission, RefusedOrAbsentHelperInvalidates) {
  ScratchDir scratch;
  const std::string path = (scratch.path / "s.sock").string();
  Inbox nobody;
  auto none = xpc::Connection::connect(path, nobody.handlers());
  EXPECT_EQ(nobody.ending(), "invalidated");
  EXPECT_FALSE(none->isResponding([](bool) {}));

  auto listener = xpc::listenUnix(path);
  ASSERT_TRUE(listener.valid());
  std::atomic<int> checks{0};
  helper::ServerConfig config;
  config.admit = [&](const helper::PeerInfo& peer) {
    ++checks;
    EXPECT_EQ(peer.pid, ::getpid());
    EXPECT_EQ(peer.uid, ::getuid());
    return false;
  };
  helper::XPCServer server(config);
  std::thread serving([&] { server.run(listener.get()); });
  Inbox refused;
  auto c = xpc::Connection::connect(path, refused.handlers());
  c->isResponding([](bool) { ADD_FAILURE() << "a refused peer got a reply"; });
  EXPECT_EQ(refused.ending(), "invalidated");
  EXPECT_FALSE(c->helperVersion());
  EXPECT_EQ(checks.load(), 1);
  server.stop();
  serving.join();
}

}  // namespace
