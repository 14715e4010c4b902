// Cost of admitting one connection: both checks against a real connected peer, reading and
// hashing the peer's executable each time (only the helper's own chain is kept).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "PeerHarness.h"
#include "helper/admission/ClientAdmission.h"
#include "shared/codesign/Signer.h"
#include "support/TestPki.h"

namespace {

using namespace codesign;
using namespace codesign::peertest;

struct Setup {
  PeerServer server;
  testpki::TestChain chain;
  std::string genuine, helperSelf;
  Setup() {
    SigningIdentity id = chain.identity();
    std::string error;
    auto put = [&](const char* name, const char* identifier) {
      auto path = server.dir() / name;
      writeExecutable(path, readFile(FERROLUX_TEST_PEER));
      if (!signFile(path.string(), identifier, &id, error)) throw std::runtime_error(error);
      return path.string();
    };
    genuine = put("genuine", "com.tarquell.Ferrolux");
    helperSelf = put("helper", "com.tarquell.powermetrics");
  }
};

void BM_AdmissionCheck(benchmark::State& state) {
  Setup setup;
  auto conn = setup.server.connect(setup.genuine, "stay");
  if (!conn) {
    state.SkipWithError("peer did not connect");
    return;
  }
  auto admit = helper::makeCodesignAdmission([](std::string_view) {},
                                             {setup.chain.trust(), setup.helperSelf});
  for (auto _ : state) {
    if (!admit(conn->info())) {
      state.SkipWithError("genuine peer refused");
      break;
    }
  }
  state.counters["peer_bytes"] = static_cast<double>(readFile(setup.genuine).size());
}
BENCHMARK(BM_AdmissionCheck)->Unit(benchmark::kMicrosecond);

void BM_VerifyOneExecutable(benchmark::State& state) {
  Setup setup;
  int fd = open(setup.genuine.c_str(), O_RDONLY | O_CLOEXEC);
  Anchor anchor = setup.chain.trust();
  for (auto _ : state)
    benchmark::DoNotOptimize(verifyFd(fd, anchor).valid());
  close(fd);
}
BENCHMARK(BM_VerifyOneExecutable)->Unit(benchmark::kMicrosecond);

}  // namespace
